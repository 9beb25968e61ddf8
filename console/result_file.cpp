#include "console/result_file.h"

#include <algorithm>

#include "base/error.h"
#include "base/ru.h"
#include "base/text.h"
#include "report/output_file.h"

namespace strnum::console {

using namespace strnum::literals;

namespace {

constexpr std::size_t kLongestCell = 255;
constexpr std::size_t kWriteChunk = 64 * 1024;

}  // namespace

const std::vector<std::string>& initialStatement() {
    static const std::vector<std::string> lines = {
        "SELECT PDL.NPD, PDL.FM, PDL.IM, PDL.OT, PDL.POL, PDL.DTR, PDL.PSR, PDL.PNM, PDL.RES, PDL.NSP,",
        "       Voculc.NAME ULCNAME, PDL.DOM, PDL.KOR, PDL.KVR, PDL.TLF, PDL.PIN, PDL.MST, PDL.TIP,",
        "       PDL.VDP, PDL.POP, PDL.NPSU, PDL.V80, PDL.DPN, VPLT.UZS, VPLT.SVZ, VPLT.DOU, VPLT.DVP,",
        "       VPLT.SBB, VPLT.OSB, VPLT.SPV",
        "FROM \"PDL.DBF\" PDL, \"VPLT.DBF\" VPLT, \"Voculc.DBF\" Voculc",
        "WHERE (PDL.NSP = Voculc.KOD1) AND (PDL.ULC = Voculc.KOD2) AND (PDL.NPD = VPLT.NPD)",
        "ORDER BY PDL.FM",
    };
    return lines;
}

std::string resultCell(std::string_view text, int width) {
    std::string cell;
    if (width > 0) {
        const auto w = static_cast<std::size_t>(width);
        const std::size_t room = std::min(w, kLongestCell);
        if (w > kLongestCell) cell.assign(w - kLongestCell, ' ');
        const std::string_view cut = text.substr(0, room);
        cell += cut;
        cell.append(room - cut.size(), ' ');
    }
    cell += ' ';
    return cell;
}

std::string resultLine(const std::vector<std::string>& cells, const std::vector<ResultColumn>& columns) {
    std::string line;
    for (std::size_t i = 0; i < columns.size(); ++i)
        line += resultCell(i < cells.size() ? std::string_view(cells[i]) : std::string_view(), columns[i].width);
    return line;
}

std::string headerLine(const std::vector<ResultColumn>& columns) {
    std::vector<std::string> labels;
    for (const auto& c : columns) labels.push_back(c.label);
    return resultLine(labels, columns);
}

std::vector<std::string> sqlLines(std::string_view text) {
    std::vector<std::string> lines;
    std::string line;
    bool open = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(std::move(line));
            line.clear();
            open = false;
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            line += c;
            open = true;
        }
    }
    if (open) lines.push_back(std::move(line));
    return lines;
}

namespace {

// Lines gathered and handed on in large pieces.
class Lines {
public:
    Lines(std::function<void(std::string_view)> out, std::string_view end) : out_(std::move(out)), end_(end) {}
    void add(std::string_view line) {
        buffer_ += line;
        buffer_ += end_;
        if (buffer_.size() >= kWriteChunk) flush();
    }
    void flush() {
        if (!buffer_.empty()) out_(buffer_);
        buffer_.clear();
    }

private:
    std::function<void(std::string_view)> out_;
    std::string end_;
    std::string buffer_;
};

// readFailed: set when the rows (not the output) failed.
std::int64_t writeRows(Lines& lines, RowSource& rows, const std::function<std::string(std::string)>& form,
                       const std::function<void(std::int64_t, const std::vector<std::string>&)>& seen,
                       bool& readFailed) {
    const auto next = [&](std::vector<std::string>& cells) {
        try {
            return rows.fetch(cells);
        } catch (...) {
            readFailed = true;
            throw;
        }
    };
    try {
        rows.rewind();
    } catch (...) {
        readFailed = true;
        throw;
    }
    const auto& columns = rows.columns();
    lines.add(form(headerLine(columns)));
    std::vector<std::string> cells;
    std::int64_t n = 0;
    while (next(cells)) {
        if (seen) seen(n, cells);
        lines.add(form(resultLine(cells, columns)));
        ++n;
    }
    return n;
}

[[noreturn]] void closedQuery() {
    throwError(
        ErrorKind::InvalidArgument,
        std::string("Невозможно выполнить операцию над закрытым набором данных: запрос не выполнен или закрыт"_cp));
}

}  // namespace

std::int64_t writeResultFile(const std::filesystem::path& file, const std::vector<std::string>& sql, RowSource* rows,
                             const std::function<void(std::int64_t, const std::vector<std::string>&)>& seen,
                             bool* placed) {
    if (placed) *placed = false;
    OutputFile out(file);
    Lines lines([&](std::string_view bytes) { out.write(bytes); }, "\r\n");
    for (const auto& l : sql) lines.add(l);
    lines.add(kResultSeparator);
    const auto finish = [&] {
        lines.flush();
        out.close();
        if (placed) *placed = true;
    };
    if (!rows) {
        // Nothing to read from: the text and the separator are the file.
        finish();
        closedQuery();
    }
    std::int64_t n = 0;
    bool readFailed = false;
    try {
        n = writeRows(
            lines, *rows, [](std::string s) { return s; }, seen, readFailed);
    } catch (const QueryStopped&) {
        throw;  // stopped: no file, the old one stays (OutputFile)
    } catch (const Error&) {
        // A row that cannot be read: the rows before it are the file.  A failed write
        // leaves the old file as it was (OutputFile).
        if (readFailed) finish();
        throw;
    }
    finish();
    return n;
}

std::int64_t printResult(const std::vector<std::string>& sql, RowSource& rows,
                         const std::function<void(std::string_view)>& out) {
    Lines lines(out, "\n");
    const auto utf8 = [](std::string s) { return cp1251ToUtf8(s); };
    for (const auto& l : sql) lines.add(utf8(l));
    lines.add(kResultSeparator);
    std::int64_t n = 0;
    bool readFailed = false;
    try {
        n = writeRows(lines, rows, utf8, {}, readFailed);
    } catch (...) {
        lines.flush();
        throw;
    }
    lines.flush();
    return n;
}

}  // namespace strnum::console
