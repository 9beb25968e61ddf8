// ScanCSV2: the builder of comma-separated lines of the exchange batches, one line at a
// time in a line buffer of 2048 characters.
//
// Fields are separated by commas, without blanks.  A bare field is its text as it is; a
// text field is its value between double quotes, every double quote in the value turned
// into an apostrophe, at most 253 characters of value; a number field is its decimal
// digits.  A line is written with every character from 128 to 255 (code page 1251) through
// the upper-case DOS table (code page 866 capitals), every character below 32 as a blank,
// and CR LF at its end.  Text that does not fit in the buffer is cut.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace strnum {

class ScanCSV2 {
public:
    static constexpr std::size_t kLineMax = 2048;
    static constexpr std::size_t kTextValueMax = 253;

    void clear() { line_.clear(); }
    void addBare(std::string_view text);
    void addText(std::string_view value);
    void addNumber(std::int64_t value);
    // The line as it goes into the file: converted, with its CR LF.
    void appendLineTo(std::string& out) const;
    const std::string& line() const { return line_; }  // before conversion (1251)

private:
    std::string line_;
};

}  // namespace strnum
