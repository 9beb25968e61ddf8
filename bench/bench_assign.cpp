// Number assignment over a whole region at full size: 50 districts, 1,000,000 district
// records, a 3,000,000-entry number directory.  Times the count-only run and the writing
// run beside `cat` of the same input files, and reports records per second and peak memory.
//
//   bench_assign [DIR] [--districts N] [--people N] [--directory N]
// DIR is made (and kept) when given; otherwise a temporary folder is used and removed.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "UREPORT2/report.h"
#include "app/text_host.h"
#include "app/settings.h"
#include "base/text.h"
#include "data/paths.h"
#include "data/table_object.h"
#include "demo/demo_region.h"
#include "operations/assign_numbers.h"

using namespace strnum;
namespace fs = std::filesystem;

namespace {


double since(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

long peakRssMb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss / 1024;
}

double catSeconds(const fs::path& dir) {
    const std::string command = "find '" + dir.string() + "' -iname '*.DB*' -type f -print0 | xargs -0 cat > /dev/null";
    const auto t0 = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) std::fprintf(stderr, "cat failed\n");
    return since(t0);
}

double run(const fs::path& dir, bool countOnly, std::int64_t records, TextHost& host) {
    const Settings settings = loadSettings(dir / kSettingsFileName);
    Report report;
    TableObject tblPDL(settings.engine);
    TableObject tblNUM(settings.engine);
    tblNUM.setDirectory(resolveDirectory(settings.dbPath, settings.engine));
    tblNUM.setTableName("NUMS");
    const auto t0 = std::chrono::steady_clock::now();
    AssignRun r{host, report, tblPDL,
                [&]() -> Table& {
                    if (!tblNUM.isOpen()) tblNUM.open();
                    return tblNUM.table();
                },
                settings.engine, countOnly, {}};
    assignNumbers(r, settings.wayPath);
    const double seconds = since(t0);
    for (const std::string& e : host.errors) std::fprintf(stderr, "error: %s\n", cp1251ToUtf8(e).c_str());
    host.errors.clear();
    std::printf("%-12s %7.2f s  %10.0f records/s  report %zu lines  peak RSS %ld MB\n  %s\n",
                countOnly ? "count-only" : "writing", seconds, double(records) / seconds, report.lineCount(),
                peakRssMb(), cp1251ToUtf8(host.question).c_str());
    return seconds;
}

}  // namespace

int main(int argc, char** argv) {
    DemoOptions options;
    options.districts = 50;
    options.people = 20000;
    options.directory = 3'000'000;
    fs::path dir;
    bool temporary = true;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--districts" && i + 1 < argc) options.districts = std::atoi(argv[++i]);
        else if (a == "--people" && i + 1 < argc) options.people = std::atoi(argv[++i]);
        else if (a == "--directory" && i + 1 < argc) options.directory = std::atoll(argv[++i]);
        else dir = a, temporary = false;
    }
    if (dir.empty()) dir = fs::temp_directory_path() / ("strnum-bench-assign-" + std::to_string(::getpid()));

    // The region is written by a child process, so that the memory of the generator does
    // not count in the runs' peak memory.
    auto t0 = std::chrono::steady_clock::now();
    DemoSummary s;
    int pipeFd[2];
    if (::pipe(pipeFd) != 0) return 1;
    const pid_t child = ::fork();
    if (child == 0) {
        DemoSummary written{};
        try {
            written = writeDemoRegion(dir, options);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
            ::_exit(1);
        }
        [[maybe_unused]] const auto n = ::write(pipeFd[1], &written, sizeof written);
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || ::read(pipeFd[0], &s, sizeof s) != sizeof s) {
        std::fprintf(stderr, "the region could not be written\n");
        return 1;
    }
    std::printf("region: %lld district records, %lld directory entries, written in %.1f s\n",
                static_cast<long long>(s.districtRecords), static_cast<long long>(s.directoryEntries), since(t0));
    std::uintmax_t numsBytes = fs::file_size(dir / "NUMS" / "NUMS.DB");
    std::printf("NUMS.DB: %.0f MB; memory target: %.0f MB\n", numsBytes / 1e6, numsBytes / 1e6 + 200);

    const double cat = catSeconds(dir);
    std::printf("cat of the input files: %.2f s\n", cat);
    TextHost host;
    const double countOnly = run(dir, true, s.districtRecords, host);
    const double writing = run(dir, false, s.districtRecords, host);
    std::printf("ratio to cat: count-only %.1f x (target 10), writing %.1f x (target 20)\n", countOnly / cat,
                writing / cat);
    if (temporary) fs::remove_all(dir);
    return 0;
}
