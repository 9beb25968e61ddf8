#include "base/text.h"

#include <array>

#include "base/codepage_tables.h"

namespace strnum {
namespace {

using ByteMap = std::array<short, 256>;  // -1: no counterpart in the target

constexpr ByteMap makeMap(const char16_t (&from)[128], const char16_t (&to)[128]) {
    ByteMap map{};
    for (int b = 0; b < 128; ++b) map[b] = static_cast<short>(b);
    for (int i = 0; i < 128; ++i) map[128 + i] = static_cast<short>(codepage::byteOf(to, from[i]));
    return map;
}

constexpr ByteMap k866To1251 = makeMap(codepage::kCp866High, codepage::kCp1251High);
constexpr ByteMap k1251To866 = makeMap(codepage::kCp1251High, codepage::kCp866High);

// 866 to 1251 with '?' for what 1251 lacks, one byte for one byte: for the walks that read
// every name of a district file.
constexpr std::array<char, 256> k866To1251Lossy = [] {
    std::array<char, 256> t{};
    for (int b = 0; b < 256; ++b)
        t[static_cast<std::size_t>(b)] = k866To1251[b] < 0 ? '?' : static_cast<char>(k866To1251[b]);
    return t;
}();

std::optional<std::string> mapBytes(const ByteMap& map, std::string_view in, std::size_t* badOffset) {
    std::string out(in.size(), '\0');
    for (std::size_t i = 0; i < in.size(); ++i) {
        const short b = map[static_cast<unsigned char>(in[i])];
        if (b < 0) {
            if (badOffset) *badOffset = i;
            return std::nullopt;
        }
        out[i] = static_cast<char>(b);
    }
    return out;
}

int cp1251ByteOf(char32_t cp) {
    // The upper half is small; a linear scan of 128 entries is cheaper than a map for the
    // short texts that cross the window and file-name boundaries.
    return codepage::byteOf(codepage::kCp1251High, cp);
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

}  // namespace

char16_t cp1251CodePoint(unsigned char b) { return b < 0x80 ? char16_t{b} : codepage::kCp1251High[b - 0x80]; }

std::optional<std::string> cp866To1251(std::string_view in, std::size_t* badOffset) {
    return mapBytes(k866To1251, in, badOffset);
}

std::optional<std::string> cp1251To866(std::string_view in, std::size_t* badOffset) {
    return mapBytes(k1251To866, in, badOffset);
}

std::string cp866To1251Lossy(std::string_view in) {
    std::string out;
    cp866To1251LossyInto(in, out);
    return out;
}

void cp866To1251LossyInto(std::string_view in, std::string& out) {
    out.resize(in.size());
    char* o = out.data();
    for (const char c : in) *o++ = k866To1251Lossy[static_cast<unsigned char>(c)];
}

bool cp866ReadsDistinctly(unsigned char b) { return b != '?' && k866To1251[b] >= 0; }

bool cp1251To866Into(std::string_view in, char* out) {
    // Without a branch per byte: whether all had a byte is known at the end.
    const auto* s = reinterpret_cast<const unsigned char*>(in.data());
    const auto* const end = s + in.size();
    short all = 0;
    for (; s != end; ++s, ++out) {
        const short b = k1251To866[*s];
        all |= b;
        *out = static_cast<char>(b);
    }
    return all >= 0;
}

std::optional<std::string> toCp1251(CodePage from, std::string_view in, std::size_t* badOffset) {
    if (from == CodePage::Cp1251) return std::string(in);
    return cp866To1251(in, badOffset);
}

std::optional<std::string> fromCp1251(CodePage to, std::string_view in, std::size_t* badOffset) {
    if (to == CodePage::Cp1251) return std::string(in);
    return cp1251To866(in, badOffset);
}

std::string cp1251ToUtf8(std::string_view in) {
    std::string out;
    appendCp1251AsUtf8(in, out);
    return out;
}

void appendCp1251AsUtf8(std::string_view in, std::string& out) {
    // Every byte's UTF-8 form (one to three bytes), written whole and stepped over by its
    // length: no branch per byte, which matters for a report of tens of megabytes.
    struct Utf8Of {
        char bytes[3];
        unsigned char length;
    };
    static const std::array<Utf8Of, 256> forms = [] {
        std::array<Utf8Of, 256> f{};
        for (int b = 0; b < 256; ++b) {
            std::string s;
            appendUtf8(s, cp1251CodePoint(static_cast<unsigned char>(b)));
            for (std::size_t i = 0; i < s.size(); ++i) f[static_cast<std::size_t>(b)].bytes[i] = s[i];
            f[static_cast<std::size_t>(b)].length = static_cast<unsigned char>(s.size());
        }
        return f;
    }();
    const std::size_t at = out.size();
    out.resize(at + 3 * in.size());
    char* o = out.data() + at;
    for (const char c : in) {
        const Utf8Of& u = forms[static_cast<unsigned char>(c)];
        o[0] = u.bytes[0];
        o[1] = u.bytes[1];
        o[2] = u.bytes[2];
        o += u.length;
    }
    out.resize(static_cast<std::size_t>(o - out.data()));
}

std::u16string cp1251ToUtf16(std::string_view in) {
    std::u16string out(in.size(), u'\0');
    for (std::size_t i = 0; i < in.size(); ++i) out[i] = cp1251CodePoint(static_cast<unsigned char>(in[i]));
    return out;
}

namespace {

// UTF-8 -> 1251; a character 1251 lacks or a malformed sequence: with `lossy` one '?' for
// it, else nullopt (its offset in *badOffset).
std::optional<std::string> fromUtf8(std::string_view in, std::size_t* badOffset, bool lossy) {
    std::string out;
    out.reserve(in.size());
    std::size_t i = 0;
    while (i < in.size()) {
        const auto b0 = static_cast<unsigned char>(in[i]);
        std::size_t len = b0 < 0x80 ? 1 : (b0 >> 5) == 0x6 ? 2 : (b0 >> 4) == 0xE ? 3 : (b0 >> 3) == 0x1E ? 4 : 0;
        bool bad = len == 0 || i + len > in.size();
        char32_t cp = 0;
        if (!bad) {
            cp = len == 1 ? b0 : (b0 & (0x7F >> len));
            for (std::size_t k = 1; k < len && !bad; ++k) {
                const auto b = static_cast<unsigned char>(in[i + k]);
                bad = (b & 0xC0) != 0x80;
                cp = (cp << 6) | (b & 0x3F);
            }
        }
        // Overlong forms and surrogates are malformed UTF-8, not characters.
        static constexpr char32_t kMinimum[5] = {0, 0, 0x80, 0x800, 0x10000};
        bad = bad || cp < kMinimum[len] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF;
        const int b = bad ? -1 : cp1251ByteOf(cp);
        if (b < 0) {
            if (!lossy) {
                if (badOffset) *badOffset = i;
                return std::nullopt;
            }
            out += '?';
            i += bad ? 1 : len;
            continue;
        }
        out += static_cast<char>(b);
        i += len;
    }
    return out;
}

}  // namespace

std::optional<std::string> utf8To1251(std::string_view in, std::size_t* badOffset) {
    return fromUtf8(in, badOffset, false);
}

std::string utf8To1251Lossy(std::string_view in) { return *fromUtf8(in, nullptr, true); }

std::optional<std::string> utf16To1251(std::u16string_view in, std::size_t* badOffset) {
    std::string out(in.size(), '\0');
    for (std::size_t i = 0; i < in.size(); ++i) {
        const int b = cp1251ByteOf(in[i]);
        if (b < 0) {
            if (badOffset) *badOffset = i;
            return std::nullopt;
        }
        out[i] = static_cast<char>(b);
    }
    return out;
}

std::string pathTo1251(const std::filesystem::path& path) {
    const std::u16string wide = path.u16string();
    std::string out;
    out.reserve(wide.size());
    for (char16_t c : wide) {
        const int b = cp1251ByteOf(c);
        out += b < 0 ? '?' : static_cast<char>(b);
    }
    return out;
}

std::filesystem::path pathFrom1251(std::string_view cp1251) { return std::filesystem::path(cp1251ToUtf16(cp1251)); }

std::string pathToUtf8(const std::filesystem::path& path) {
    const std::u8string s = path.u8string();
    return std::string(s.begin(), s.end());
}

std::filesystem::path pathFromUtf8(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

}  // namespace strnum
