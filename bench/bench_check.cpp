// The district check over the region of the number-assignment benchmark (50 districts,
// 1,000,000 district records, a 3,000,000-entry number directory): the plain check and the
// check with the not-found list and the exchange batch, each with the number directory's
// opening, beside `cat` of the same input files; records per second and peak memory.
//
//   bench_check [DIR] [--districts N] [--people N] [--directory N] [--existing] [--only plain|both]
// Targets on a 2-core machine: the plain check within 10 times cat, with both by-products
// within 12 times; memory within the directory's file size plus 200 MB.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "base/text.h"
#include "bench/bench_region.h"
#include "data/table_object.h"
#include "operations/check_numbers.h"
#include "report/report.h"
#include "settings/settings.h"
#include "system/paths.h"
#include "walk/text_host.h"

using namespace strnum;
namespace fs = std::filesystem;

namespace {

// Each run opens the number directory anew, as the first check after the program starts.
double run(const fs::path& dir, bool byProducts, std::int64_t records) {
    const Settings settings = loadSettings(dir / kSettingsFileName);
    TextHost host;
    Report report;
    TableObject tblPDL(settings.engine), tblNUM(settings.engine);
    tblNUM.setDirectory(resolveDirectory(settings.dbPath, settings.engine));
    tblNUM.setTableName("NUMS");
    Colour highlight = kRed;
    const fs::path out = dir / "check-out";
    fs::create_directories(out);
    fs::remove(out / "ANKT.DB");
    fs::remove(out / "ANKT.PX");
    const auto t0 = std::chrono::steady_clock::now();
    CheckRun r{host,
               report,
               tblPDL,
               [&]() -> Table& {
                   if (!tblNUM.isOpen()) tblNUM.open();
                   return tblNUM.table();
               },
               settings.engine,
               CheckOptions{false, false, byProducts, byProducts},
               [] { return false; },
               [] { return false; },
               out,
               settings.batchRegNum,
               highlight};
    checkNumbers(r, settings.wayPath);
    const double seconds = bench::since(t0);
    for (const std::string& e : host.errors) std::fprintf(stderr, "error: %s\n", cp1251ToUtf8(e).c_str());
    std::printf("%-22s %6.2f s  %10.0f records/s  report %zu lines  peak RSS %ld MB\n",
                byProducts ? "with both by-products" : "plain", seconds, double(records) / seconds, report.lineCount(),
                bench::peakRssMb());
    if (byProducts && fs::exists(out / "ANKT.DB"))
        std::printf("  not-found table %.1f MB, batch %.1f MB\n", fs::file_size(out / "ANKT.DB") / 1e6,
                    fs::file_size(out / "00000100.001") / 1e6);
    return seconds;
}

}  // namespace

int main(int argc, char** argv) {
    bench::Region region;
    if (!bench::prepareRegion(argc, argv, "strnum-bench-check", region)) return 1;
    std::string only;
    for (std::size_t i = 0; i < region.rest.size(); ++i) {
        if (region.rest[i] == "--only" && i + 1 < region.rest.size()) {
            only = region.rest[++i];
        } else {
            std::fprintf(stderr,
                         "usage: bench_check [DIR] [--districts N] [--people N] [--directory N] [--existing]\n"
                         "                   [--only plain|both]\n");
            return 2;
        }
    }
    const double cat = bench::catSeconds(region.dir);
    std::printf("cat of the input files: %.2f s\n", cat);
    const double plain = only == "both" ? 0 : run(region.dir, false, region.summary.districtRecords);
    const double both = only == "plain" ? 0 : run(region.dir, true, region.summary.districtRecords);
    std::printf("ratio to cat: plain %.1f x (target 10), with both by-products %.1f x (target 12)\n", plain / cat,
                both / cat);
    return 0;
}
