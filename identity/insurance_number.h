// The insurance number: a nine-digit body and a two-digit check number, in its three
// forms — the integer body (field NUM of the number directory), the 11-character number
// text written in district files ("%9.9d%2.2d" of body and check number) and the
// 14-character display form of reports ("123-456-789 64").
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace strnum {

// Weighted digit sum modulo 101 (weight 1 for the units digit up to 9 for the ninth
// digit from the right; further digits ignored), 100 counting as 0.  A negative body
// keeps its sign through the arithmetic, so its check number is zero or negative.
int checkNumber(std::int64_t body);

// "%9.9d%2.2d" of the body and its check number: 11 characters for bodies 0..999999999.
std::string numberText(std::int64_t body);
// The same into a buffer kept by the caller.
void numberTextInto(std::int64_t body, std::string& out);

// Three groups of three digits joined by "-", a blank and the two check digits of the
// magnitude; a negative value shows two blanks instead of the check digits.  A value of
// ten or more digits keeps all its leading digits in the first group ("1234-567-890 ..").
std::string displayForm(std::int64_t value);

// A number text taken apart: characters 1-9 as the body, 10-11 as the written check.
struct NumberReading {
    std::optional<std::int32_t> body;     // empty when characters 1-9 do not convert
    std::optional<std::int32_t> written;  // empty when characters 10-11 do not convert
    // Both pieces converted and the written check equals the body's check number.
    bool valid() const { return body && written && *written == checkNumber(*body); }
};
NumberReading readNumberText(std::string_view text);

// Leading zeros lost by a numeric field: 9 characters get "00" in front, 10 get "0";
// every other length is returned unchanged.
std::string completeLeadingZeros(std::string_view text);

}  // namespace strnum
