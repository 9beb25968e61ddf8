#include "UREPORT2/paged_text.h"

#include <string>

#include "UREPORT2/dos_table.h"

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

}  // namespace strnum
