// Number assignment over a whole region at full size: 50 districts, 1,000,000 district
// records, a 3,000,000-entry number directory.  Times the count-only run and the writing
// run beside `cat` of the same input files, and reports records per second and peak memory.
//
//   bench_assign [DIR] [--districts N] [--people N] [--directory N] [--existing] [--only count|write]
//                [--twice]
// DIR is made (and kept) when given; otherwise a temporary folder is used and removed.
// --existing runs over the region already in DIR (copy a pristine one before a writing run).
// --twice runs count-only a second time with the directory open: the walk alone.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "UREPORT2/report.h"
#include "app/settings.h"
#include "app/text_host.h"
#include "base/error.h"
#include "base/text.h"
#include "data/file_descriptions.h"
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

// The number directory stays open between runs, as in the main window: the first run
// includes its opening.
double run(const fs::path& dir, bool countOnly, std::int64_t records, TextHost& host, TableObject& tblNUM) {
    const Settings settings = loadSettings(dir / kSettingsFileName);
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
    assignNumbers(r, settings.wayPath);
    const double seconds = since(t0);
    for (const std::string& e : host.errors) std::fprintf(stderr, "error: %s\n", cp1251ToUtf8(e).c_str());
    host.errors.clear();
    std::printf("%-12s %7.2f s  %10.0f records/s  report %zu lines  peak RSS %ld MB\n  %s\n",
                countOnly ? "count-only" : "writing", seconds, double(records) / seconds, report.lineCount(),
                peakRssMb(), cp1251ToUtf8(host.question).c_str());
    return seconds;
}

// District records of an existing region: the record counts of every district file.
std::int64_t countRecords(const fs::path& dir) {
    const Settings settings = loadSettings(dir / kSettingsFileName);
    std::int64_t n = 0;
    const auto way =
        openTable(resolveDirectory(settings.wayPath, settings.engine), "WAY.DBF", TableType::Dbase, settings.engine);
    const FieldId w = way->fieldByName("W");
    for (way->first(); !way->eof(); way->next())
        for (int kind = 0; kind < kFileKindCount; ++kind) {
            try {
                n += openTable(resolveDirectory(way->text(w), settings.engine), districtTableName(kind),
                               TableType::Dbase, settings.engine)
                         ->recordCount();
            } catch (const Error&) {
            }
        }
    return n;
}

}  // namespace

int main(int argc, char** argv) {
    DemoOptions options;
    options.districts = 50;
    options.people = 20000;
    options.directory = 3'000'000;
    fs::path dir;
    bool temporary = true;
    bool existing = false;
    std::string only;
    bool twice = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--districts" && i + 1 < argc)
            options.districts = std::atoi(argv[++i]);
        else if (a == "--people" && i + 1 < argc)
            options.people = std::atoi(argv[++i]);
        else if (a == "--directory" && i + 1 < argc)
            options.directory = std::atoll(argv[++i]);
        else if (a == "--existing")
            existing = true;
        else if (a == "--twice")
            twice = true;
        else if (a == "--only" && i + 1 < argc)
            only = argv[++i];
        else if (a.starts_with("-")) {
            std::fprintf(stderr,
                         "usage: bench_assign [DIR] [--districts N] [--people N] [--directory N] [--existing]\n"
                         "                    [--only count|write] [--twice]\n");
            return 2;
        } else
            dir = a, temporary = false;
    }
    if (dir.empty()) dir = fs::temp_directory_path() / ("strnum-bench-assign-" + std::to_string(::getpid()));

    // The region is written by a child process, so that the memory of the generator does
    // not count in the runs' peak memory.
    auto t0 = std::chrono::steady_clock::now();
    DemoSummary s{};
    if (existing) {
        s.districtRecords = countRecords(dir);
    } else {
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
    }
    std::printf("region: %lld district records, %lld directory entries, written in %.1f s\n",
                static_cast<long long>(s.districtRecords), static_cast<long long>(s.directoryEntries), since(t0));
    std::uintmax_t numsBytes = fs::file_size(dir / "NUMS" / "NUMS.DB");
    std::printf("NUMS.DB: %.0f MB; memory target: %.0f MB\n", numsBytes / 1e6, numsBytes / 1e6 + 200);

    const double cat = catSeconds(dir);
    std::printf("cat of the input files: %.2f s\n", cat);
    TextHost host;
    TableObject tblNUM(loadSettings(dir / kSettingsFileName).engine);
    const double countOnly = only == "write" ? 0 : run(dir, true, s.districtRecords, host, tblNUM);
    if (twice && only != "write") run(dir, true, s.districtRecords, host, tblNUM);
    const double writing = only == "count" ? 0 : run(dir, false, s.districtRecords, host, tblNUM);
    std::printf("ratio to cat: count-only %.1f x (target 10), writing %.1f x (target 20)\n", countOnly / cat,
                writing / cat);
    if (temporary) fs::remove_all(dir);
    return 0;
}
