#include "identity/insurance_number.h"

#include <cstdio>
#include <cstdlib>

#include "base/convert.h"

namespace strnum {

int checkNumber(std::int64_t body) {
    std::int64_t v = body;
    std::int64_t sum = 0;
    for (int k = 1; k <= 9; ++k) {
        sum += k * (v % 10);  // C++ remainders and quotients truncate toward zero
        v /= 10;
    }
    const std::int64_t r = sum % 101;
    return r == 100 ? 0 : static_cast<int>(r);
}

void numberTextInto(std::int64_t body, std::string& out) {
    const int check = checkNumber(body);
    if (body >= 0 && body <= 999999999) {  // the directory's bodies: eleven digits
        out.resize(11);
        std::int64_t v = body;
        for (int i = 8; i >= 0; --i, v /= 10) out[static_cast<std::size_t>(i)] = static_cast<char>('0' + v % 10);
        out[9] = static_cast<char>('0' + check / 10);
        out[10] = static_cast<char>('0' + check % 10);
        return;
    }
    char buf[48];
    std::snprintf(buf, sizeof buf, "%9.9lld%2.2d", static_cast<long long>(body), check);
    out.assign(buf);
}

std::string numberText(std::int64_t body) {
    std::string out;
    numberTextInto(body, out);
    return out;
}

std::string displayForm(std::int64_t value) {
    const std::uint64_t m = value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    char digits[32];
    const int n = std::snprintf(digits, sizeof digits, "%09llu", static_cast<unsigned long long>(m));
    const std::string d(digits, static_cast<std::size_t>(n));
    // The last six digits make the second and third groups; everything before them is
    // the first group, three digits for any body of the directory's nine.
    std::string out = d.substr(0, d.size() - 6) + "-" + d.substr(d.size() - 6, 3) + "-" + d.substr(d.size() - 3) + " ";
    if (value < 0) {
        out += "  ";
    } else {
        const int check = checkNumber(static_cast<std::int64_t>(m));
        out += static_cast<char>('0' + check / 10);
        out += static_cast<char>('0' + check % 10);
    }
    return out;
}

NumberReading readNumberText(std::string_view text) {
    NumberReading r;
    r.body = toInt32(text.substr(0, 9));
    r.written = toInt32(text.size() > 9 ? text.substr(9, 2) : std::string_view());
    return r;
}

std::string completeLeadingZeros(std::string_view text) {
    if (text.size() == 9) return "00" + std::string(text);
    if (text.size() == 10) return "0" + std::string(text);
    return std::string(text);
}

}  // namespace strnum
