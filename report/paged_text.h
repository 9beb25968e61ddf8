// The paged-text writer: the report as pages of code-page-866 text in capitals, for the
// printer port or a text file.
//
// The first page holds N report lines; every further page starts with a page-number line
// (30 blanks and the number) and an empty line, then holds N - 2 report lines.  A report
// line whose first character is a form feed forces a new page and is not written itself.
// Pages outside [first, last] are counted but not written.  The form feed between pages
// is written whenever the page that ends is written; the final form feed only when
// asked and when the output does not already end with one.  N of 0 or less: no paging.
// Lines are cut at 255 characters and end with CR LF; the report is converted one line
// at a time, never copied as a whole.
//
// wrapAtWords() breaks a report line that is longer than a printed page is wide, for the
// rich-text print.
#pragma once

#include <string_view>
#include <vector>

#include "report/output_file.h"
#include "report/report.h"

namespace strnum {

struct PageOptions {
    int linesPerPage = 62;
    int firstPage = 0;
    int lastPage = 9999;
    bool finalFormFeed = true;
};

inline constexpr std::size_t kPagedLineMax = 255;

// Writes the whole report to out; throws Error(Io) from the output on a failed write,
// leaving what was written.
void writePagedText(const Report& report, OutputFile& out, const PageOptions& options);

// A piece of a report line as printed on one line of a page: bytes [begin, end) of it.
struct LinePiece {
    std::size_t begin = 0;
    std::size_t end = 0;
    friend bool operator==(const LinePiece&, const LinePiece&) = default;
};

// Where a report line is broken when a printed page holds fewer characters a line
// (columns, at least 1) than it has.  Breaks fall between words, at blanks (spaces and
// tabs), which are left out at the break: "указана д/р 27.08.1931" breaks before "д/р" or
// after it, never inside.  Only a word longer than a whole line is cut, at the line's
// end.  The first piece keeps the line's indentation unless the word after it would not
// fit with it; a line that fits, an empty one included, is one piece.
std::vector<LinePiece> wrapAtWords(std::string_view line, std::size_t columns);

}  // namespace strnum
