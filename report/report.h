// The report: what every operation writes and the report window shows, prints and saves.
//
// An ordered list of lines of 1251 text in which every character has a colour, either
// the default (the system's window-text colour) or an RGB value.  Operations clear it,
// append plain lines and append coloured runs to the last line.
//
// Storage is built for reports of hundreds of thousands of lines: all characters live in
// one buffer (that grows without copying where the system allows), a line is an offset
// into it, and colour is kept as a list of the positions where it changes, so plain lines
// cost one offset each.  Lines are read back as views into the buffer; a view stays valid
// until the report is changed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "system/large_memory.h"

namespace strnum {

// A colour as the report window notes it: blue, green, red bytes from high to low
// (red is 0x0000FF), or the default colour.
class Colour {
public:
    constexpr Colour() = default;  // the default colour
    static constexpr Colour bgr(std::uint32_t value) { return Colour(value & 0xFFFFFF); }
    static constexpr Colour rgb(int r, int g, int b) {
        return Colour(static_cast<std::uint32_t>((b & 0xFF) << 16 | (g & 0xFF) << 8 | (r & 0xFF)));
    }

    constexpr bool isDefault() const { return value_ == kDefault; }
    constexpr std::uint32_t bgrValue() const { return value_; }  // meaningful unless isDefault()
    constexpr int red() const { return static_cast<int>(value_ & 0xFF); }
    constexpr int green() const { return static_cast<int>((value_ >> 8) & 0xFF); }
    constexpr int blue() const { return static_cast<int>((value_ >> 16) & 0xFF); }

    friend constexpr bool operator==(Colour, Colour) = default;

private:
    static constexpr std::uint32_t kDefault = 0xFF000000u;
    constexpr explicit Colour(std::uint32_t v) : value_(v) {}
    std::uint32_t value_ = kDefault;
};

inline constexpr Colour kRed = Colour::bgr(0x0000FF);
inline constexpr Colour kBlue = Colour::bgr(0xFF0000);

// A stretch of one line in one colour.
struct Run {
    std::string_view text;
    Colour colour;
};

// Where report lines are written: the report itself, or a part of a district file walked
// on another thread, whose lines are put into the report later in their place.
class ReportSink {
public:
    // Appends a line of default-coloured text (empty lines are allowed).
    virtual void appendLine(std::string_view text) = 0;
    // Starts a new, empty line; the next runs go there.
    virtual void newLine() = 0;
    // Appends text in the given colour at the end of the last line (of a new first line
    // when there is none).
    virtual void appendRun(std::string_view text, Colour colour) = 0;

protected:
    ~ReportSink() = default;
};

class Report final : public ReportSink {
public:
    void clear();
    // Empty, keeping the memory for the lines that come next.
    void clearKeepingRoom() noexcept;

    // Appends a line of default-coloured text (empty lines are allowed).
    void appendLine(std::string_view text) override;
    // Appends lines of default-coloured text at once, as appendLine would one by one: line k
    // is text[begins[k], begins[k + 1]), the last one up to the end of text.  begins: ascending,
    // the first 0.
    void appendLines(std::string_view text, std::span<const std::size_t> begins);
    // Starts a new, empty line; the next runs go there.
    void newLine() override;
    // Appends text in the given colour at the end of the last line (of a new first line
    // when the report is empty).
    void appendRun(std::string_view text, Colour colour) override;
    // The first `lines` lines kept with their colours, the later ones dropped.
    void truncate(std::size_t lines) noexcept;
    // Appends lines [from, to) of another report, with their colours, as new lines.
    void appendFrom(const Report& other, std::size_t from, std::size_t to);

    std::size_t lineCount() const { return lineStarts_.size(); }
    bool empty() const { return lineStarts_.empty(); }
    std::string_view line(std::size_t index) const;
    // The runs of a line in order; an empty line has none.
    std::vector<Run> runs(std::size_t index) const;
    // Calls f(Run) for each run of the line without building a vector.
    template <typename F>
    void forEachRun(std::size_t index, F&& f) const;
    // Whether any character of the report has a colour other than the default.
    bool hasColour() const { return marks_.size() > 0; }
    // Characters in all lines together (line ends not counted).
    std::size_t byteCount() const { return text_.size(); }

private:
    struct Mark {
        std::size_t pos;  // colour from this byte of text_ on
        Colour colour;
    };
    std::size_t lineEnd(std::size_t index) const {
        return index + 1 < lineStarts_.size() ? lineStarts_[index + 1] : text_.size();
    }
    Colour colourAt(std::size_t pos, std::size_t& nextMark) const;
    void setColourFrom(std::size_t pos, Colour colour);

    GrowingBytes text_;
    std::vector<std::size_t> lineStarts_;
    std::vector<Mark> marks_;  // ascending pos; before the first mark the colour is default
};

template <typename F>
void Report::forEachRun(std::size_t index, F&& f) const {
    const std::size_t begin = lineStarts_[index];
    const std::size_t end = lineEnd(index);
    std::size_t next = 0;
    std::size_t pos = begin;
    Colour colour = colourAt(pos, next);
    while (pos < end) {
        const std::size_t stop = next < marks_.size() && marks_[next].pos < end ? marks_[next].pos : end;
        if (stop > pos) f(Run{text_.view().substr(pos, stop - pos), colour});
        if (stop < end) colour = marks_[next++].colour;
        pos = stop;
    }
}

}  // namespace strnum
