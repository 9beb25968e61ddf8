// A calendar date as the tables hold it, with the empty date as a value of its own.
//
// The empty date (a blank or invalid date field) is the zero value: it equals another
// empty date and no real date.  Real dates are days counted from 1 January of year 1
// (that day is 1), so comparisons are plain integer comparisons.
#pragma once

#include <cstdint>
#include <string>

namespace strnum {

class Date {
public:
    constexpr Date() = default;

    // The date of day d, month m, year y, or the empty date when there is no such day
    // (years 1 to 9999 of the proleptic Gregorian calendar).
    static Date fromYmd(int y, int m, int d);
    // Days from 1 January of year 1 (that day is 1); 0 or less gives the empty date.
    static constexpr Date fromSerial(std::int32_t serial) { return Date(serial > 0 ? serial : 0); }

    constexpr bool empty() const { return serial_ == 0; }
    constexpr std::int32_t serial() const { return serial_; }
    void ymd(int& y, int& m, int& d) const;  // 0, 0, 0 for the empty date

    // "dd.mm.yyyy"; the empty date gives the empty text.
    std::string text() const;

    friend constexpr bool operator==(Date a, Date b) { return a.serial_ == b.serial_; }
    friend constexpr auto operator<=>(Date a, Date b) { return a.serial_ <=> b.serial_; }

private:
    constexpr explicit Date(std::int32_t serial) : serial_(serial) {}
    std::int32_t serial_ = 0;
};

}  // namespace strnum
