// The report as rich text (RTF 1.x): code page 1251 declared, Courier New with the
// Cyrillic character set, a colour table of the colours the report uses, and each run in
// its colour (the default colour stays "auto", which readers show as window text).
// Word and LibreOffice open it with the colours intact.
//
// The page is A4 (margins 2 cm left, 1 cm right, 1.5 cm above and below).  A line wider
// than the page is broken by the reader; invisible word joiners (U+2060) after hyphens,
// slashes and the like keep such a reader from breaking inside a word, so that it breaks
// at blanks only.
#pragma once

#include "report/output_file.h"
#include "report/report.h"

namespace strnum {

struct RtfOptions {
    int fontPoints = 9;  // 12 pixels at 96 dots per inch
};

void writeRtf(const Report& report, OutputFile& out, const RtfOptions& options = {});

}  // namespace strnum
