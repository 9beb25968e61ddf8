// What the region benchmarks share: the large demonstration region (50 districts, 1,000,000
// district records, a 3,000,000-entry number directory) made or found in a directory, the
// time `cat` takes to read its tables, and the process's peak memory.
//
//   PROGRAM [DIR] [--districts N] [--people N] [--directory N] [--existing] [OPTIONS]
// DIR is made (and kept) when given; otherwise a temporary folder is used and removed.
// --existing runs over the region already in DIR.
#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "base/error.h"
#include "data/file_descriptions.h"
#include "data/table_open.h"
#include "demo/demo_region.h"
#include "settings/settings.h"
#include "system/paths.h"
#include "tables/table.h"

namespace strnum::bench {

namespace fs = std::filesystem;

inline double since(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

inline long peakRssMb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss / 1024;
}

inline double catSeconds(const fs::path& dir) {
    const std::string command = "find '" + dir.string() + "' -iname '*.DB*' -type f -print0 | xargs -0 cat > /dev/null";
    const auto t0 = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) std::fprintf(stderr, "cat failed\n");
    return since(t0);
}

// District records of an existing region: the record counts of every district file.
inline std::int64_t countRecords(const fs::path& dir) {
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

struct Region {
    fs::path dir;
    bool temporary = true;
    DemoSummary summary{};
    std::vector<std::string> rest;  // the arguments the region did not take
    ~Region() {
        std::error_code ec;
        if (temporary && !dir.empty()) fs::remove_all(dir, ec);
    }
};

// Makes the region (in a child process, so that the generator's memory does not count in
// the runs' peak) or counts the one there.  Returns false on bad arguments or failure.
inline bool prepareRegion(int argc, char** argv, const char* program, Region& r) {
    DemoOptions options;
    options.districts = 50;
    options.people = 20000;
    options.directory = 3'000'000;
    bool existing = false;
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
        else if ((a == "--only" || a == "--runs") && i + 1 < argc)
            r.rest.insert(r.rest.end(), {a, argv[++i]});
        else if (a.starts_with("-"))
            r.rest.push_back(a);
        else
            r.dir = a, r.temporary = false;
    }
    if (r.dir.empty()) r.dir = fs::temp_directory_path() / (std::string(program) + "-" + std::to_string(::getpid()));
    const auto t0 = std::chrono::steady_clock::now();
    if (existing) {
        r.summary.districtRecords = countRecords(r.dir);
    } else {
        int pipeFd[2];
        if (::pipe(pipeFd) != 0) return false;
        const pid_t child = ::fork();
        if (child == 0) {
            DemoSummary written{};
            try {
                written = writeDemoRegion(r.dir, options);
            } catch (const std::exception& e) {
                std::fprintf(stderr, "%s\n", e.what());
                ::_exit(1);
            }
            [[maybe_unused]] const auto n = ::write(pipeFd[1], &written, sizeof written);
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 ||
            ::read(pipeFd[0], &r.summary, sizeof r.summary) != sizeof r.summary) {
            std::fprintf(stderr, "the region could not be written\n");
            return false;
        }
    }
    std::printf("region: %lld district records, %lld directory entries, written in %.1f s\n",
                static_cast<long long>(r.summary.districtRecords), static_cast<long long>(r.summary.directoryEntries),
                since(t0));
    const std::uintmax_t numsBytes = fs::file_size(r.dir / "NUMS" / "NUMS.DB");
    std::printf("NUMS.DB: %.0f MB; memory target: %.0f MB\n", numsBytes / 1e6, numsBytes / 1e6 + 200);
    return true;
}

}  // namespace strnum::bench
