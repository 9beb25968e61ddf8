#include "identity/coloured_writer.h"

#include <algorithm>

namespace strnum {

namespace {

// Characters from..to (1-based, inclusive) of text, clipped to the text.
std::string_view piece(std::string_view text, long from, long to) {
    from = std::max(from, 1L);
    to = std::min(to, static_cast<long>(text.size()));
    if (to < from) return {};
    return text.substr(static_cast<std::size_t>(from - 1), static_cast<std::size_t>(to - from + 1));
}

}  // namespace

void ColouredWriter::writeOnNewLine(std::string_view text) {
    report_.newLine();
    report_.appendRun(text, Colour());
}

void ColouredWriter::writeWithSpanOnNewLine(int first, int last, std::string_view text) {
    report_.newLine();
    writeWithSpan(first, last, text);
}

void ColouredWriter::writeWithSpan(int first, int last, std::string_view text) {
    const long f = first;
    const long l = std::max(last, first);
    report_.appendRun(piece(text, 1, f - 1), Colour());
    report_.appendRun(piece(text, f, l), highlight_);
    report_.appendRun(piece(text, l + 1, l + static_cast<long>(kAfterSpanMax)), Colour());
}

}  // namespace strnum
