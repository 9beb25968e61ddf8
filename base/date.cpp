#include "base/date.h"

#include <cstdio>

namespace strnum {
namespace {

// Days from 1 March of year 0 in the proleptic Gregorian calendar (H. Hinnant's
// days_from_civil, shifted so that 1 January of year 1 is day 1).
constexpr std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe);
}

// Constant-initialised: dates made during static initialisation elsewhere rely on it.
constexpr std::int64_t kDayOne = daysFromCivil(1, 1, 1) - 1;

bool isLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysInMonth(int y, int m) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : kDays[m - 1];
}

}  // namespace

Date Date::fromYmd(int y, int m, int d) {
    if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1 || d > daysInMonth(y, m)) return Date();
    return Date(static_cast<std::int32_t>(daysFromCivil(y, static_cast<unsigned>(m), static_cast<unsigned>(d)) - kDayOne));
}

void Date::ymd(int& y, int& m, int& d) const {
    if (empty()) {
        y = m = d = 0;
        return;
    }
    const std::int64_t z = serial_ + kDayOne;  // days from 1 March of year 0
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
}

std::string Date::text() const {
    if (empty()) return {};
    int y, m, d;
    ymd(y, m, d);
    if (y < 0 || y > 9999) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%02d.%02d.%04d", d, m, y);
        return buf;
    }
    // dd.mm.yyyy without printf: it is written for many report lines.
    std::string out = "00.00.0000";
    out[0] = static_cast<char>('0' + d / 10);
    out[1] = static_cast<char>('0' + d % 10);
    out[3] = static_cast<char>('0' + m / 10);
    out[4] = static_cast<char>('0' + m % 10);
    for (int i = 9; i >= 6; --i, y /= 10) out[static_cast<std::size_t>(i)] = static_cast<char>('0' + y % 10);
    return out;
}

}  // namespace strnum
