#include "batches/scan_csv2.h"

#include "report/dos_table.h"

namespace strnum {

void ScanCSV2::addBare(std::string_view text) {
    if (!line_.empty() && line_.size() < kLineMax) line_ += ',';
    line_ += text.substr(0, kLineMax - line_.size());
}

void ScanCSV2::addText(std::string_view value) {
    std::string quoted = "\"";
    for (const char c : value.substr(0, kTextValueMax)) quoted += c == '"' ? '\'' : c;
    quoted += '"';
    addBare(quoted);
}

void ScanCSV2::addNumber(std::int64_t value) { addBare(std::to_string(value)); }

void ScanCSV2::appendLineTo(std::string& out) const {
    out.reserve(out.size() + line_.size() + 2);
    for (const char c : line_) {
        const auto b = static_cast<unsigned char>(c);
        out += b < 32 ? ' ' : static_cast<char>(b >= 128 ? toUpperDos(b) : b);
    }
    out += "\r\n";
}

}  // namespace strnum
