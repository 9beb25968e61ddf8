// The console's SQL under any text: the table names rewritten (their places mapped back
// inside the text as written), the statement prepared and read to at most a few rows over
// a small dBASE table and a Paradox one, every refusal an Error, and the tables' folder as it
// was.  The Russian text functions on the same bytes: case folding keeps NOCASE equal, LIKE
// of a text with itself escaped matches, date comparison is antisymmetric.
//
//   build/fuzz/fuzz/fuzz_sql fuzz/corpus_sql -max_total_time=60
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "base/error.h"
#include "base/text.h"
#include "console/sql_functions.h"
#include "console/sql_query.h"
#include "console/sql_text.h"
#include "dbase/dbf_create.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/scratch.h"
#include "paradox/paradox_format.h"
#include "paradox/paradox_writer.h"

namespace {
namespace fs = std::filesystem;

// PDL.DBF (three people) and NUMS.DB (three entries) in a folder of their own.
const fs::path& tables() {
    static const fs::path dir = [] {
        const fs::path d = strnum::fuzz::scratchDir() / "sql";
        std::error_code ec;
        fs::create_directories(d, ec);
        strnum::DbfWriter pdl(d / "PDL.DBF", {{"FM", 'C', 10, 0}, {"DTR", 'D', 8, 0}, {"N", 'N', 5, 0}}, 0x65);
        pdl.append({"IVANOV", "01.02.1950", "1"});
        pdl.append({"\xC8\xC2\xC0\xCD", "", "12"});
        pdl.append({"PETROV", "31.12.1999", ""}, true);
        pdl.finish();
        using strnum::pxtype::Alpha, strnum::pxtype::Long;
        strnum::createParadoxTable(d / "NUMS.DB", {{"NUM", Long, 0}, {"FAM", Alpha, 10}}, {});
        return d;
    }();
    return dir;
}

std::uintmax_t folderStamp(const fs::path& dir) {
    std::uintmax_t s = 0;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec))
        s = s * 31 + e.file_size(ec) + static_cast<std::uintmax_t>(e.last_write_time(ec).time_since_epoch().count());
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace strnum;
    using fuzz::check;
    const std::string text(reinterpret_cast<const char*>(data), size);
    static console::SqlSession session{EngineSettings{}};
    // A statement that would run on and on (a recursive query without end) is stopped.
    static int steps = 0;
    steps = 0;
    session.setInterrupt([] { return ++steps > 200; });
    static const std::uintmax_t stamp = folderStamp(tables());

    const std::string utf8 = cp1251ToUtf8(text);
    try {
        const console::RewrittenSql r = console::rewriteTableNames(utf8, tables(), {});
        for (std::size_t k = 0; k <= r.text.size(); ++k) check(r.writtenOffset(k) <= utf8.size());
        (void)console::placeInText(utf8, r.writtenOffset(r.text.size()));
    } catch (const Error&) {
    }
    try {
        console::SqlQuery q(session, text, pathTo1251(tables()));
        std::vector<std::string> cells;
        for (int k = 0; k < 4 && q.fetch(cells); ++k) check(cells.size() == q.columns().size());
    } catch (const Error&) {
    }
    check(folderStamp(tables()) == stamp);

    const std::string lower = console::utf8Lower(utf8), upper = console::utf8Upper(utf8);
    check(console::compareNoCase(lower, upper) == 0);
    check(console::compareNoCase(utf8, lower) == 0);
    std::string escaped;
    for (char c : utf8) {
        if (c == '%' || c == '_' || c == '!') escaped += '!';
        escaped += c;
    }
    check(console::likeMatches(escaped, utf8, U'!'));
    const std::size_t half = utf8.size() / 2;
    const std::string a = utf8.substr(0, half), b = utf8.substr(half);
    check(console::compareAsDates(a, b) == -console::compareAsDates(b, a));
    check(console::compareNoCase(a, b) == -console::compareNoCase(b, a));
    return 0;
}
