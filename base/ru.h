// The system's own Russian texts, readable in the source and 1251 bytes at run time.
//
//     using namespace strnum::literals;
//     report.appendLine(std::string("Участок "_cp) + name);
//
// "..."_cp converts the UTF-8 literal at compile time and yields a std::string_view over
// a static array of 1251 bytes.  A character that code page 1251 lacks is a compile
// error, so a text cannot silently lose a letter.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "base/codepage_tables.h"

namespace strnum {
namespace detail {

template <std::size_t N>
struct Utf8Literal {
    char bytes[N]{};
    constexpr Utf8Literal(const char (&s)[N]) {
        for (std::size_t i = 0; i < N; ++i) bytes[i] = s[i];
    }
};

struct Decoded {
    char32_t cp;
    std::size_t length;
};

constexpr Decoded decodeUtf8(const char* s, std::size_t i, std::size_t n) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) return {b0, 1};
    std::size_t len = (b0 >> 5) == 0x6 ? 2 : (b0 >> 4) == 0xE ? 3 : (b0 >> 3) == 0x1E ? 4 : 0;
    if (len == 0 || i + len > n) throw "invalid UTF-8 in a source literal";
    char32_t cp = b0 & (0x7F >> len);
    for (std::size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) throw "invalid UTF-8 in a source literal";
        cp = (cp << 6) | (b & 0x3F);
    }
    return {cp, len};
}

template <Utf8Literal S>
constexpr std::size_t cp1251Length() {
    std::size_t count = 0;
    for (std::size_t i = 0; i + 1 < sizeof(S.bytes); i += decodeUtf8(S.bytes, i, sizeof(S.bytes) - 1).length) ++count;
    return count;
}

template <std::size_t N>
struct Cp1251Array {
    char bytes[N + 1]{};
};

template <Utf8Literal S>
constexpr Cp1251Array<cp1251Length<S>()> toCp1251() {
    Cp1251Array<cp1251Length<S>()> out{};
    std::size_t o = 0;
    for (std::size_t i = 0; i + 1 < sizeof(S.bytes);) {
        const Decoded d = decodeUtf8(S.bytes, i, sizeof(S.bytes) - 1);
        const int b = codepage::byteOf(codepage::kCp1251High, d.cp);
        if (b < 0) throw "a source literal holds a character that code page 1251 lacks";
        out.bytes[o++] = static_cast<char>(static_cast<unsigned char>(b));
        i += d.length;
    }
    return out;
}

template <Utf8Literal S>
inline constexpr auto kCp1251Text = toCp1251<S>();

}  // namespace detail

// Converts a UTF-8 literal once at run time and keeps the result for the program's life.
std::string_view internCp1251(const char* utf8, std::size_t size);

namespace literals {

#if defined(__clang__)
// clang 14 crashes on string-literal operator templates with a class-type parameter
// (it is the compiler of the fuzzing build only): convert at first use instead.  The
// g++ build still checks every text at compile time.
inline std::string_view operator""_cp(const char* utf8, std::size_t size) { return internCp1251(utf8, size); }
#else
template <detail::Utf8Literal S>
constexpr std::string_view operator""_cp() {
    return {detail::kCp1251Text<S>.bytes, detail::cp1251Length<S>()};
}
#endif

}  // namespace literals

// A text as a string of its own, for building messages: str("Участок "_cp) + name.
inline std::string str(std::string_view s) { return std::string(s); }

}  // namespace strnum
