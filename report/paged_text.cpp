#include "report/paged_text.h"

#include <algorithm>
#include <string>

#include "report/dos_table.h"

namespace strnum {

void writePagedText(const Report& report, OutputFile& out, const PageOptions& options) {
    const int n = options.linesPerPage;
    const auto inRange = [&](int page) { return options.firstPage <= page && page <= options.lastPage; };
    int page = 1;
    int lineOnPage = 0;
    bool formFeedLast = false;
    std::string converted;
    for (std::size_t i = 0; i < report.lineCount(); ++i) {
        const std::string_view line = report.line(i).substr(0, kPagedLineMax);
        ++lineOnPage;
        const bool pageBreak = !line.empty() && line[0] == '\f';
        if (pageBreak) lineOnPage = n + 1;
        if (n > 0 && lineOnPage > n) {
            if (inRange(page)) {
                out.write("\f");
                formFeedLast = true;
            }
            ++page;
            if (inRange(page)) {
                formFeedLast = false;
                out.write(std::string(30, ' ') + std::to_string(page) + "\r\n");
                out.write("\r\n");
            }
            lineOnPage = 3;
        }
        if (pageBreak || !inRange(page)) continue;
        converted = toUpperDos(line);
        converted += "\r\n";
        out.write(converted);
    }
    if (options.finalFormFeed && !formFeedLast) out.write("\f");
}

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::vector<LinePiece> wrapAtWords(std::string_view line, std::size_t columns) {
    const std::size_t width = std::max<std::size_t>(columns, 1);
    const std::size_t n = line.size();
    if (n <= width) return {LinePiece{0, n}};
    std::vector<LinePiece> pieces;
    std::size_t pos = 0;
    const auto skipBlanks = [&] {
        while (pos < n && isBlank(line[pos])) ++pos;
    };
    while (pos < n) {
        if (n - pos <= width) {
            pieces.push_back({pos, n});
            break;
        }
        // The last blank that a piece of at most width characters can end before.
        std::size_t blank = pos + width;
        while (blank > pos && !isBlank(line[blank])) --blank;
        if (blank == pos && !isBlank(line[pos])) {
            pieces.push_back({pos, pos + width});  // one word longer than a line
            pos += width;
            continue;
        }
        std::size_t end = blank;
        while (end > pos && isBlank(line[end - 1])) --end;
        if (end > pos) pieces.push_back({pos, end});  // else only indentation: the word goes on alone
        pos = blank;
        skipBlanks();
    }
    if (pieces.empty()) pieces.push_back({0, 0});  // blanks only
    return pieces;
}

}  // namespace strnum
