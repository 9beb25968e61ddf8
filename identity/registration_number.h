// The registration number of the office in the personal-accounting system, as its exchange
// batches carry it: NNN-NNN-NNNNNN (digits and two hyphens, 14 characters).
#pragma once

#include <string_view>

namespace strnum {

inline bool isRegNum(std::string_view v) {
    if (v.size() != 14) return false;
    for (std::size_t i = 0; i < v.size(); ++i) {
        const bool dash = i == 3 || i == 7;
        if (dash ? v[i] != '-' : (v[i] < '0' || v[i] > '9')) return false;
    }
    return true;
}

}  // namespace strnum
