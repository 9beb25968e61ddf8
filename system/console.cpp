#include "system/console.h"

#include <iostream>
#include <streambuf>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
// windows.h goes before the headers that need it.
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on
#endif

namespace strnum {

#ifndef _WIN32

std::vector<std::string> programArguments(int argc, char** argv) { return std::vector<std::string>(argv, argv + argc); }

void useUtf8Console() {}

#else

namespace {

std::string utf8Of(const wchar_t* s) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, s, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return {};
    std::string out(static_cast<std::size_t>(n - 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, s, -1, out.data(), n, nullptr, nullptr);
    return out;
}

// UTF-8 shown on a console: whole characters are handed to WriteConsoleW, a character cut
// between two writes waits for its end.  Bytes that are no UTF-8 show as U+FFFD.
class ConsoleBuffer : public std::streambuf {
public:
    explicit ConsoleBuffer(HANDLE console) : console_(console) { setp(buffer_, buffer_ + sizeof buffer_); }

protected:
    int_type overflow(int_type c) override {
        if (sync() != 0) return traits_type::eof();
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(c);
            pbump(1);
        }
        return traits_type::not_eof(c);
    }

    int sync() override {
        const std::size_t n = static_cast<std::size_t>(pptr() - pbase());
        std::size_t whole = n;
        // Back over the last character when it is not complete.
        for (std::size_t k = 1; k <= 3 && k <= n; ++k) {
            const auto b = static_cast<unsigned char>(buffer_[n - k]);
            if ((b & 0xC0) == 0x80) continue;  // a continuation byte
            const std::size_t length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
            if (length > k) whole = n - k;
            break;
        }
        if (whole > 0) {
            const int wideLength = MultiByteToWideChar(CP_UTF8, 0, buffer_, static_cast<int>(whole), wide_,
                                                       static_cast<int>(sizeof buffer_));
            DWORD written = 0;
            if (wideLength > 0 && !WriteConsoleW(console_, wide_, static_cast<DWORD>(wideLength), &written, nullptr))
                return -1;
        }
        const std::size_t rest = n - whole;
        for (std::size_t k = 0; k < rest; ++k) buffer_[k] = buffer_[whole + k];
        setp(buffer_, buffer_ + sizeof buffer_);
        pbump(static_cast<int>(rest));
        return 0;
    }

private:
    HANDLE console_;
    char buffer_[4096];
    wchar_t wide_[4096];
};

// Sets the stream up for its standard handle: the console's wide output, or bytes as they are.
void setUp(std::ostream& stream, DWORD which, FILE* file) {
    const HANDLE h = GetStdHandle(which);
    DWORD mode = 0;
    if (h != nullptr && h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode)) {
        static ConsoleBuffer* buffers[2] = {nullptr, nullptr};
        ConsoleBuffer*& buffer = buffers[which == STD_OUTPUT_HANDLE ? 0 : 1];
        buffer = new ConsoleBuffer(h);  // lives as long as the program
        stream.rdbuf(buffer);
    } else {
        (void)_setmode(_fileno(file), _O_BINARY);
    }
}

}  // namespace

std::vector<std::string> programArguments(int argc, char** argv) {
    int n = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &n);
    if (!wide) return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> args;
    for (int i = 0; i < n; ++i) args.push_back(utf8Of(wide[i]));
    LocalFree(wide);
    return args;
}

void useUtf8Console() {
    setUp(std::cout, STD_OUTPUT_HANDLE, stdout);
    setUp(std::cerr, STD_ERROR_HANDLE, stderr);
}

#endif

}  // namespace strnum
