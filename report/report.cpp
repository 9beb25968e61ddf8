#include "report/report.h"

#include <algorithm>

namespace strnum {

void Report::clear() {
    lineStarts_.clear();
    marks_.clear();
    // Give a large report's memory back: the next run may be a small one.
    text_.release();
    lineStarts_.shrink_to_fit();
    marks_.shrink_to_fit();
}

void Report::clearKeepingRoom() noexcept {
    lineStarts_.clear();
    marks_.clear();
    text_.clear();
}

void Report::truncate(std::size_t lines) noexcept {
    if (lines >= lineStarts_.size()) return;
    const std::size_t end = lineStarts_[lines];
    lineStarts_.resize(lines);
    text_.truncate(end);
    while (!marks_.empty() && marks_.back().pos >= end) marks_.pop_back();
}

void Report::setColourFrom(std::size_t pos, Colour colour) {
    const Colour current = marks_.empty() ? Colour() : marks_.back().colour;
    if (current == colour) return;
    if (!marks_.empty() && marks_.back().pos == pos) {
        // Nothing was written in the previous colour: replace the mark.
        marks_.pop_back();
        const Colour before = marks_.empty() ? Colour() : marks_.back().colour;
        if (before != colour) marks_.push_back({pos, colour});
        return;
    }
    marks_.push_back({pos, colour});
}

void Report::appendLine(std::string_view text) {
    newLine();
    appendRun(text, Colour());
}

void Report::appendLines(std::string_view text, std::span<const std::size_t> begins) {
    if (begins.empty()) return;
    const std::size_t base = text_.size();
    lineStarts_.reserve(lineStarts_.size() + begins.size());
    for (const std::size_t b : begins) lineStarts_.push_back(base + b);
    if (text.empty()) return;
    setColourFrom(base, Colour());
    text_.append(text);
}

void Report::newLine() { lineStarts_.push_back(text_.size()); }

void Report::appendRun(std::string_view text, Colour colour) {
    if (lineStarts_.empty()) newLine();
    if (text.empty()) return;
    setColourFrom(text_.size(), colour);
    text_.append(text);
}

void Report::appendFrom(const Report& other, std::size_t from, std::size_t to) {
    if (from >= to) return;
    const std::size_t begin = other.lineStarts_[from], end = other.lineEnd(to - 1);
    const std::size_t base = text_.size();
    lineStarts_.reserve(lineStarts_.size() + (to - from));
    for (std::size_t k = from; k < to; ++k) lineStarts_.push_back(base + other.lineStarts_[k] - begin);
    if (begin == end) return;
    // The colours: the one at the first byte, then the other's changes up to the end.
    std::size_t next = 0;
    setColourFrom(base, other.colourAt(begin, next));
    for (; next < other.marks_.size() && other.marks_[next].pos < end; ++next)
        setColourFrom(base + other.marks_[next].pos - begin, other.marks_[next].colour);
    text_.append(other.text_.view().substr(begin, end - begin));
}

std::string_view Report::line(std::size_t index) const {
    const std::size_t begin = lineStarts_[index];
    return text_.view().substr(begin, lineEnd(index) - begin);
}

Colour Report::colourAt(std::size_t pos, std::size_t& nextMark) const {
    auto it =
        std::upper_bound(marks_.begin(), marks_.end(), pos, [](std::size_t p, const Mark& m) { return p < m.pos; });
    nextMark = static_cast<std::size_t>(it - marks_.begin());
    return it == marks_.begin() ? Colour() : std::prev(it)->colour;
}

std::vector<Run> Report::runs(std::size_t index) const {
    std::vector<Run> out;
    forEachRun(index, [&](const Run& r) { out.push_back(r); });
    return out;
}

}  // namespace strnum
