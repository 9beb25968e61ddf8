// Number assignment over a whole region at full size: 50 districts, 1,000,000 district
// records, a 3,000,000-entry number directory.  Times the count-only run and the writing
// run beside `cat` of the same input files, and reports records per second and peak memory.
//
//   bench_assign [DIR] [--districts N] [--people N] [--directory N] [--existing] [--only count|write]
//                [--twice] [--warm] [--journal]
// DIR is made (and kept) when given; otherwise a temporary folder is used and removed.
// --existing runs over the region already in DIR (copy a pristine one before a writing run).
// --twice runs count-only a second time with the directory open: the walk alone.
// --warm opens the directory before the runs are timed.  --journal: the writing run keeps
// its journal in DIR/journal, as the program does (compare runs with and without it).
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "base/error.h"
#include "base/text.h"
#include "bench/bench_region.h"
#include "data/file_descriptions.h"
#include "data/table_object.h"
#include "demo/demo_region.h"
#include "journal/run_journal.h"
#include "operations/assign_numbers.h"
#include "report/report.h"
#include "settings/settings.h"
#include "system/paths.h"
#include "walk/text_host.h"

using namespace strnum;
using strnum::bench::peakRssMb;
using strnum::bench::since;
namespace fs = std::filesystem;

namespace {

// The number directory stays open between runs, as in the main window: the first run
// includes its opening.
double run(const fs::path& dir, bool countOnly, std::int64_t records, TextHost& host, TableObject& tblNUM,
           bool journal = false) {
    Settings settings = loadSettings(dir / kSettingsFileName);
    std::shared_ptr<RunJournal> j;
    const auto started = std::chrono::steady_clock::now();
    if (journal && !countOnly) {
        j = RunJournal::start(dir, {"assign", settings.wayPath, settings.dbPath}, 90);
        settings.engine.journal = j;
    }
    Report report;
    TableObject tblPDL(settings.engine);
    tblNUM.setDirectory(resolveDirectory(settings.dbPath, settings.engine));
    tblNUM.setTableName("NUMS");
    const auto t0 = std::chrono::steady_clock::now();
    AssignRun r{host,
                report,
                tblPDL,
                [&]() -> Table& {
                    if (!tblNUM.isOpen()) {
                        const auto o = std::chrono::steady_clock::now();
                        tblNUM.open();
                        tblNUM.table().setIndexFieldNames("FAM;NAM;OTCH;BIRTH");
                        std::printf("number directory opened with its person order in %.2f s (part of this run)\n",
                                    since(o));
                    }
                    return tblNUM.table();
                },
                settings.engine,
                countOnly,
                {}};
    const bool ok = assignNumbers(r, settings.wayPath);
    if (j) j->finish(ok, assignCounters(r.total), {});
    const double seconds = j ? since(started) : since(t0);
    if (j) std::printf("journal %s: %.1f MB\n", j->path().c_str(), double(fs::file_size(j->path())) / 1e6);
    for (const std::string& e : host.errors) std::fprintf(stderr, "error: %s\n", cp1251ToUtf8(e).c_str());
    host.errors.clear();
    std::printf("%-12s %7.2f s  %10.0f records/s  report %zu lines  peak RSS %ld MB\n  %s\n",
                countOnly ? "count-only" : "writing", seconds, double(records) / seconds, report.lineCount(),
                peakRssMb(), cp1251ToUtf8(host.question).c_str());
    return seconds;
}

}  // namespace

int main(int argc, char** argv) {
    bench::Region region;
    if (!bench::prepareRegion(argc, argv, "strnum-bench-assign", region)) return 1;
    std::string only;
    bool twice = false, warm = false, journal = false;
    for (std::size_t i = 0; i < region.rest.size(); ++i) {
        if (region.rest[i] == "--twice") {
            twice = true;
        } else if (region.rest[i] == "--warm") {
            warm = true;
        } else if (region.rest[i] == "--journal") {
            journal = true;
        } else if (region.rest[i] == "--only" && i + 1 < region.rest.size()) {
            only = region.rest[++i];
        } else {
            std::fprintf(stderr,
                         "usage: bench_assign [DIR] [--districts N] [--people N] [--directory N] [--existing]\n"
                         "                    [--only count|write] [--twice] [--warm] [--journal]\n");
            return 2;
        }
    }
    const fs::path& dir = region.dir;
    const double cat = bench::catSeconds(dir);
    std::printf("cat of the input files: %.2f s\n", cat);
    TextHost host;
    TableObject tblNUM(loadSettings(dir / kSettingsFileName).engine);
    if (warm) {
        const Settings settings = loadSettings(dir / kSettingsFileName);
        tblNUM.setDirectory(resolveDirectory(settings.dbPath, settings.engine));
        tblNUM.setTableName("NUMS");
        tblNUM.open();
        tblNUM.table().setIndexFieldNames("FAM;NAM;OTCH;BIRTH");
    }
    const double countOnly = only == "write" ? 0 : run(dir, true, region.summary.districtRecords, host, tblNUM);
    if (twice && only != "write") run(dir, true, region.summary.districtRecords, host, tblNUM);
    const double writing = only == "count" ? 0 : run(dir, false, region.summary.districtRecords, host, tblNUM, journal);
    std::printf("ratio to cat: count-only %.1f x (target 10), writing %.1f x (target 20)\n", countOnly / cat,
                writing / cat);
    return 0;
}
