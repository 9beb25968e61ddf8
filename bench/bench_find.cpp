// The search over the region of the number-assignment benchmark (50 districts, 1,000,000
// district records): by number and by surname, beside `cat` of the district files.  A
// search reads no directory and changes nothing: it should run close to the speed of
// reading the files.  Target on a 2-core machine: within 3 times cat, in both modes.
//
//   bench_find [DIR] [--districts N] [--people N] [--directory N] [--existing]
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "base/text.h"
#include "bench/bench_region.h"
#include "data/table_object.h"
#include "operations/find_records.h"
#include "report/report.h"
#include "settings/settings.h"
#include "walk/text_host.h"

using namespace strnum;
namespace fs = std::filesystem;

namespace {

double catOfDistrictFiles(const fs::path& dir) {
    const std::string command =
        "find '" + (dir / "ORTAN").string() + "' -iname '*.DBF' -type f -print0 | xargs -0 cat > /dev/null";
    const auto t0 = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) std::fprintf(stderr, "cat failed\n");
    return bench::since(t0);
}

double run(const fs::path& dir, const FindCriteria& criteria, const char* what, std::int64_t records) {
    const Settings settings = loadSettings(dir / kSettingsFileName);
    TextHost host;
    Report report;
    TableObject tblPDL(settings.engine);
    TableObject tblNUM(settings.engine);  // the search reads no number directory
    FindRun r{{host, report, tblPDL, [&]() -> Table& { return tblNUM.table(); }, settings.engine}, criteria, {}};
    const auto t0 = std::chrono::steady_clock::now();
    findRecords(r, settings.wayPath);
    const double seconds = bench::since(t0);
    for (const std::string& e : host.errors) std::fprintf(stderr, "error: %s\n", cp1251ToUtf8(e).c_str());
    std::printf("%-12s %6.3f s  %10.0f records/s  %d found  peak RSS %ld MB\n", what, seconds,
                double(records) / seconds, r.foundCount, bench::peakRssMb());
    return seconds;
}

}  // namespace

int main(int argc, char** argv) {
    bench::Region region;
    if (!bench::prepareRegion(argc, argv, "strnum-bench-find", region)) return 1;
    if (!region.rest.empty()) {
        std::fprintf(stderr, "usage: bench_find [DIR] [--districts N] [--people N] [--directory N] [--existing]\n");
        return 2;
    }
    catOfDistrictFiles(region.dir);  // the files in the cache, as for the runs
    const double cat = catOfDistrictFiles(region.dir);
    std::printf("cat of the district files: %.3f s\n", cat);
    const std::int64_t n = region.summary.districtRecords;
    const double byNumber = run(region.dir, FindCriteria{"123456789", "", "", ""}, "by number", n);
    const double byName = run(region.dir, FindCriteria{"", *utf8To1251("ИВАНОВ"), "", ""}, "by surname", n);
    std::printf("ratio to cat: by number %.1f x, by surname %.1f x (target 3)\n", byNumber / cat, byName / cat);
    return 0;
}
