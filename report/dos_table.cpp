#include "report/dos_table.h"

#include <array>

namespace strnum {
namespace {

constexpr std::array<unsigned char, 256> makeTable() {
    std::array<unsigned char, 256> t{};
    for (int b = 0; b < 256; ++b) {
        int out = b;
        if (b >= 128 && b <= 159)
            out = b + 64;  // 128..159 -> 192..223
        else if (b >= 160 && b <= 175)
            out = b + 16;  // 160..175 -> 176..191
        else if (b >= 176 && b <= 191)
            out = b + 64;  // 176..191 -> 240..255
        else if (b >= 192 && b <= 223)
            out = b - 64;  // А..Я -> 128..159
        else if (b >= 224)
            out = b - 96;  // а..я -> 128..159
        t[static_cast<std::size_t>(b)] = static_cast<unsigned char>(out);
    }
    return t;
}

constexpr std::array<unsigned char, 256> kTable = makeTable();

}  // namespace

unsigned char toUpperDos(unsigned char b) { return kTable[b]; }

std::string toUpperDos(std::string_view cp1251) {
    std::string out(cp1251.size(), '\0');
    for (std::size_t i = 0; i < cp1251.size(); ++i)
        out[i] = static_cast<char>(kTable[static_cast<unsigned char>(cp1251[i])]);
    return out;
}

}  // namespace strnum
