// The saved result of the console: REPORT.TXT in the program directory.
//
// Plain text in code page 1251, lines ended by CR LF, in this order: the statement's SQL
// text (one file line per line of the text), the separator "=========================",
// the header line, one line per result row.  A line is its cells one after another; a cell
// is the text cut to, or filled with blanks up to, the column's display width, followed by
// one blank.  A cell holds at most 255 characters: for a width above 255 it is the blanks
// the width exceeds 255 by, then 255 characters.  Width 0: an empty cell and its blank.
//
// The file is written anew beside the old one and put in its place when all of it is
// written (system/replacing_file.h): a save that fails to write, or is stopped, part-way
// leaves the previous REPORT.TXT as it was.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "console/row_source.h"

namespace strnum::console {

inline constexpr std::string_view kResultFileName = "REPORT.TXT";
inline constexpr std::string_view kResultSeparator = "=========================";

// The statement the console holds before its first Run: the district file with its
// payments and the street names, ordered by surname.
const std::vector<std::string>& initialStatement();

// One cell (1251).
std::string resultCell(std::string_view text, int width);
// One line of cells, without its line end.
std::string resultLine(const std::vector<std::string>& cells, const std::vector<ResultColumn>& columns);
// The column labels' line.
std::string headerLine(const std::vector<ResultColumn>& columns);

// The SQL text in its lines (a text's CR LF, CR or LF each end a line; a last empty line
// is no line).
std::vector<std::string> sqlLines(std::string_view text);

// Writes the result file: the SQL lines and the separator, then, from rows rewound to
// their first, the header and every row, one row at a time (nothing held).  rows ==
// nullptr is a query that is not open: the SQL lines and the separator are written and put
// in place, then the closed query is the Error.  Each row read is also handed to
// `seen` (its number from 0), when given.  Returns the rows written.
// Throws Error:
//   - the file cannot be made or written: the old one stays as it was;
//   - a row cannot be read: the file is put in place with the rows before it;
//   - QueryStopped: the walk was stopped at the user's word; the old file stays as it was.
// *placed (when given) says whether the file was put in place.
std::int64_t writeResultFile(const std::filesystem::path& file, const std::vector<std::string>& sql, RowSource* rows,
                             const std::function<void(std::int64_t, const std::vector<std::string>&)>& seen = {},
                             bool* placed = nullptr);

// The same layout as lines for a terminal (UTF-8, LF), written to `out` as it goes.
std::int64_t printResult(const std::vector<std::string>& sql, RowSource& rows,
                         const std::function<void(std::string_view)>& out);

}  // namespace strnum::console
