// The SQL console over the tables of the number-assignment benchmark region, beside SQLite
// on the same rows in its own tables.
//
// The console reads a 1,000,000-record PDL.DBF (the region's district records, repeated to
// a million) and the 3,000,000-entry NUMS.DB in place.  The same rows are imported into an
// in-memory SQLite database with an index on NUM (the import is not timed), and each query
// runs on both:
//   like   a count of the surnames starting with ИВАН (LIKE 'ИВАН%')
//   group  the ten largest groups of equal surnames
//   join   a 20,000-record district file joined with NUMS.DB on the number body (the
//          first nine digits of NPSU = NUM): the module offers SQLite the equality on NUM
//          as a lookup through the directory's in-memory order
// Each query runs --runs times (default 10) on both, alternating; medians are printed.  The
// console keeps NUMS.DB read between statements (as the window does), so its reading is
// timed once, apart: "open NUMS.DB".  Target on a 2-core machine: each query within 2 times
// SQLite's.
//
//   bench_sql [DIR] [--districts N] [--people N] [--directory N] [--existing] [--runs N]
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "base/parallel.h"
#include "base/text.h"
#include "bench/bench_region.h"
#include "console/sql_query.h"
#include "dbase/dbf_create.h"
#include "dbase/dbf_table.h"
#include "paradox/paradox_table.h"
#include "settings/settings.h"
#include "system/paths.h"

using namespace strnum;
namespace fs = std::filesystem;

namespace {

constexpr std::int64_t kBigRecords = 1'000'000;
constexpr std::int64_t kDistrictRecords = 20'000;
const char* const kFields[] = {"NPD", "FM", "IM", "OT", "DTR", "NPSU"};

// PDL.DBF files of `records` records each in dir/SQL (the 1M one) and dir/SQL/D20K, from the
// region's district PDL files, repeated.
void writeTables(const fs::path& dir) {
    const Settings settings = loadSettings(dir / kSettingsFileName);
    std::vector<fs::path> sources;
    for (const auto& e : fs::directory_iterator(dir / "ORTAN"))
        if (auto f = findInDirectory(e.path(), "PDL.DBF")) sources.push_back(*f);
    std::sort(sources.begin(), sources.end());
    auto first = openDbfTable(sources.at(0), settings.engine);
    std::vector<DbfFieldSpec> specs;
    std::vector<FieldId> ids;
    for (const char* name : kFields) {
        const FieldId f = first->fieldByName(name);
        const FieldInfo& i = first->fields()[static_cast<std::size_t>(f)];
        specs.push_back({i.name, i.type, i.length, i.decimals});
        ids.push_back(f);
    }
    fs::create_directories(dir / "SQL" / "D20K");
    const auto write = [&](const fs::path& file, std::int64_t records) {
        DbfWriter out(file, specs, 0x65);
        std::int64_t n = 0;
        std::vector<std::string> values(ids.size());
        while (n < records)
            for (const auto& src : sources) {
                auto t = openDbfTable(src, settings.engine);
                for (t->first(); !t->eof() && n < records; t->next(), ++n) {
                    for (std::size_t k = 0; k < ids.size(); ++k) values[k] = t->text(ids[k]);
                    out.append(values);
                }
                if (n >= records) break;
            }
        out.finish();
    };
    write(dir / "SQL" / "PDL.DBF", kBigRecords);
    write(dir / "SQL" / "D20K" / "PDL.DBF", kDistrictRecords);
}

struct Native {
    sqlite3* db = nullptr;
    ~Native() { sqlite3_close(db); }
    void exec(const std::string& sql) {
        char* err = nullptr;
        if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
            std::fprintf(stderr, "sqlite: %s\n", err);
            std::exit(1);
        }
    }
    // Rows of a table read through the table engine, as text, into a native table.
    void import(const std::string& name, Table& t, const std::vector<std::pair<std::string, bool>>& columns) {
        std::string create = "CREATE TABLE " + name + "(", insert = "INSERT INTO " + name + " VALUES(";
        std::vector<FieldId> ids;
        for (std::size_t k = 0; k < columns.size(); ++k) {
            create += (k ? ", " : "") + columns[k].first + (columns[k].second ? " INTEGER" : " TEXT");
            insert += k ? ", ?" : "?";
            ids.push_back(t.fieldByName(columns[k].first));
        }
        exec(create + ")");
        exec("BEGIN");
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, (insert + ")").c_str(), -1, &st, nullptr);
        for (t.first(); !t.eof(); t.next()) {
            for (std::size_t k = 0; k < ids.size(); ++k) {
                const std::string v = cp1251ToUtf8(t.text(ids[k]));
                if (columns[k].second)
                    sqlite3_bind_int64(st, static_cast<int>(k + 1), std::atoll(v.c_str()));
                else
                    sqlite3_bind_text(st, static_cast<int>(k + 1), v.c_str(), static_cast<int>(v.size()),
                                      SQLITE_TRANSIENT);
            }
            sqlite3_step(st);
            sqlite3_reset(st);
        }
        sqlite3_finalize(st);
        exec("COMMIT");
    }
    // Runs the statement to its end; its rows as text lines, for comparing.
    std::string run(const std::string& sql) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
            std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
            std::exit(1);
        }
        std::string out;
        while (sqlite3_step(st) == SQLITE_ROW) {
            for (int i = 0; i < sqlite3_column_count(st); ++i) out += cp1251ToUtf8(console::cellText(st, i)) + "|";
            out += "\n";
        }
        sqlite3_finalize(st);
        return out;
    }
};

std::string runConsole(console::SqlSession& s, const std::string& sqlUtf8, const fs::path& db) {
    console::SqlQuery q(s, *utf8To1251(sqlUtf8), pathTo1251(db));
    std::string out;
    std::vector<std::string> cells;
    while (q.fetch(cells)) {
        for (const auto& c : cells) out += cp1251ToUtf8(c) + "|";
        out += "\n";
    }
    return out;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    bench::Region region;
    if (!bench::prepareRegion(argc, argv, "strnum-bench-sql", region)) return 1;
    int runs = 10;
    for (std::size_t i = 0; i < region.rest.size(); ++i)
        if (region.rest[i] == "--runs" && i + 1 < region.rest.size()) runs = std::atoi(region.rest[++i].c_str());
    const fs::path dir = region.dir;
    auto t0 = std::chrono::steady_clock::now();
    if (!fs::exists(dir / "SQL" / "PDL.DBF") || !fs::exists(dir / "SQL" / "D20K" / "PDL.DBF")) writeTables(dir);
    std::printf("tables: %.1f s\n", bench::since(t0));

    const Settings settings = loadSettings(dir / kSettingsFileName);
    t0 = std::chrono::steady_clock::now();
    Native native;
    sqlite3_open(":memory:", &native.db);
    {
        auto pdl = openDbfTable(dir / "SQL" / "PDL.DBF", settings.engine);
        native.import("pdl", *pdl, {{"NPD", false}, {"FM", false}, {"IM", false}, {"OT", false}, {"NPSU", false}});
        auto d = openDbfTable(dir / "SQL" / "D20K" / "PDL.DBF", settings.engine);
        native.import("d20k", *d, {{"NPD", false}, {"FM", false}, {"NPSU", false}});
        auto nums = openParadoxTable(dir / "NUMS" / "NUMS.DB", settings.engine);
        native.import("nums", *nums, {{"NUM", true}, {"FAM", false}, {"NAM", false}});
        native.exec("CREATE INDEX nums_num ON nums(NUM)");
        // Sorting threads as the console has them.
        sqlite3_limit(native.db, SQLITE_LIMIT_WORKER_THREADS,
                      std::max(0, static_cast<int>(threadCount(settings.engine.threads)) - 1));
    }
    std::printf("native import (not timed below): %.1f s\n", bench::since(t0));

    console::SqlSession session(settings.engine);
    const fs::path sqlDir = dir / "SQL";
    t0 = std::chrono::steady_clock::now();
    runConsole(session, "select count(*) from \"../NUMS/NUMS.DB\"", sqlDir);
    std::printf("open NUMS.DB (once, kept between statements): %.3f s\n", bench::since(t0));

    struct Query {
        const char* name;
        std::string console, native;
    };
    const std::string body = "cast(substr(p.NPSU, 1, 9) as integer)";
    const std::vector<Query> queries = {
        {"like", "select count(*) from pdl.dbf where fm like 'ИВАН%'",
         "select count(*) from pdl where fm like 'ИВАН%'"},
        {"group", "select fm, count(*) n from pdl.dbf group by fm order by n desc, fm limit 10",
         "select fm, count(*) n from pdl group by fm order by n desc, fm limit 10"},
        {"join",
         "select count(*), sum(n.num % 7) from \"D20K/PDL.DBF\" p join \"../NUMS/NUMS.DB\" n on n.num = " + body,
         "select count(*), sum(n.num % 7) from d20k p join nums n on n.num = " + body},
    };
    bool ok = true;
    for (const Query& q : queries) {
        std::vector<double> ours, theirs;
        std::string a, b;
        for (int r = 0; r < runs; ++r) {
            auto t = std::chrono::steady_clock::now();
            a = runConsole(session, q.console, sqlDir);
            ours.push_back(bench::since(t));
            t = std::chrono::steady_clock::now();
            b = native.run(q.native);
            theirs.push_back(bench::since(t));
        }
        const double mo = median(ours), mt = median(theirs);
        const bool same = a == b;
        ok = ok && same;
        std::printf("%-6s console %7.3f s   sqlite %7.3f s   ratio %5.2f   %s\n", q.name, mo, mt, mo / mt,
                    same ? "same rows" : "ROWS DIFFER");
        if (!same) std::printf("console:\n%s\nsqlite:\n%s\n", a.c_str(), b.c_str());
    }
    std::printf("peak RSS %ld MB (the native copy included)\n", bench::peakRssMb());
    return ok ? 0 : 1;
}
