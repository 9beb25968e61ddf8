// Whole numbers stored as bytes in files of other programs: little-endian (dBASE, Paradox,
// Windows) and big-endian (FoxPro memo blocks).
#pragma once

#include <cstdint>

namespace strnum {

// The n (1 to 4) bytes at p as an unsigned number, lowest byte first.
inline std::uint32_t le(const char* p, int n) {
    std::uint32_t v = 0;
    for (int i = n; i-- > 0;) v = v << 8 | static_cast<unsigned char>(p[i]);
    return v;
}

// The n (1 to 4) bytes at p as an unsigned number, highest byte first.
inline std::uint32_t be(const char* p, int n) {
    std::uint32_t v = 0;
    for (int i = 0; i < n; ++i) v = v << 8 | static_cast<unsigned char>(p[i]);
    return v;
}

}  // namespace strnum
