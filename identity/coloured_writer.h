// The coloured report writers: how a difference is shown.  A text goes into the report
// with its difference span in the highlight colour and the rest in the default colour.
//
// The highlight colour is state of the caller (red from the start of the program; the
// district check turns it blue for a file's header line and back): the writer holds a
// reference to it and reads it at each call, so a change shows from the next text on.
#pragma once

#include <string_view>

#include "report/report.h"

namespace strnum {

class ColouredWriter {
public:
    ColouredWriter(ReportSink& report, const Colour& highlight) : report_(report), highlight_(highlight) {}

    // Begins a new report line (no empty line in between) and writes the text in the
    // default colour.
    void writeOnNewLine(std::string_view text);
    // Begins a new report line, then writes as writeWithSpan.
    void writeWithSpanOnNewLine(int first, int last, std::string_view text);
    // Continues the last line: characters 1..first-1 in the default colour, first..last
    // in the highlight colour, then at most 99 more characters in the default colour.
    // A last below first is taken as first.
    void writeWithSpan(int first, int last, std::string_view text);

    // Characters written after the highlighted stretch, at most.
    static constexpr std::size_t kAfterSpanMax = 99;

private:
    ReportSink& report_;
    const Colour& highlight_;
};

}  // namespace strnum
