// Near matches over the region of the number-assignment benchmark: the persons of the
// district files whom the exact lookup misses (149,564 of its 1,000,000 records), looked
// for in the 3,000,000-entry number directory by hints/near_match_index.h.  Times building
// the index and finding the hints for all of them, beside the peak memory of the process.
// Target: both together within the count-only assignment of the same region (about 0.9 s
// on a 2-core machine), the peak within half again the assignment's.
//
//   bench_hints DIR [--threads N] [--runs N] [--show N]
// DIR holds a region made by `strnum-cli demo DIR --districts 50 --people 20000 --directory
// 3000000`; it is only read (the district files are opened read-only), so a region kept
// read-only serves.  The district directories are taken from WAY.DBF by their last name
// under DIR/ORTAN, so a region copied or moved elsewhere is read where it now lies.
// --threads: threads of the index (default: the settings' [Tables] Threads, else the
// cores).  --runs: build and find this many times (each run a new index), to compare
// variants in turns.  --show: print the hints of the first N persons offered any.
//
// The demonstration region plants no near misses: the persons it does not find are people
// the directory lacks, so what is offered for them shows how often chance likeness leads
// to a hint in a directory this dense.  The quality of hints is measured by the tests.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/error.h"
#include "base/parallel.h"
#include "base/text.h"
#include "bench/bench_region.h"
#include "data/file_descriptions.h"
#include "data/table_open.h"
#include "hints/near_match_index.h"
#include "settings/settings.h"
#include "tables/table.h"

using namespace strnum;
using strnum::bench::peakRssMb;
using strnum::bench::since;
namespace fs = std::filesystem;

namespace {

// CPU time of the process (all threads), which a busy machine disturbs less than the clock.
double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

long currentRssMb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6) / 1024;
    return 0;
}

// The last name of a directory written either way (/a/b/U01 or C:\ORTAN\U02).
std::string lastName(const std::string& written) {
    std::string s = written;
    while (!s.empty() && (s.back() == '/' || s.back() == '\\' || s.back() == ' ')) s.pop_back();
    const auto at = s.find_last_of("/\\");
    return at == std::string::npos ? s : s.substr(at + 1);
}

void cut(const Table& t, FieldId f, std::string& out) {
    t.textInto(f, out);
    if (out.size() > 25) out.resize(25);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::string(argv[1]).starts_with("-")) {
        std::fprintf(stderr, "usage: bench_hints DIR [--threads N] [--runs N] [--show N]\n");
        return 2;
    }
    const fs::path dir = argv[1];
    int threadsSetting = -1, runs = 1;
    std::size_t show = 0;
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--threads" && i + 1 < argc)
            threadsSetting = std::atoi(argv[++i]);
        else if (a == "--runs" && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (a == "--show" && i + 1 < argc)
            show = static_cast<std::size_t>(std::max(0, std::atoi(argv[++i])));
        else {
            std::fprintf(stderr, "usage: bench_hints DIR [--threads N] [--runs N] [--show N]\n");
            return 2;
        }
    }
    try {
        EngineSettings engine = loadSettings(dir / kSettingsFileName).engine;
        engine.readOnly = true;
        const unsigned threads = threadCount(threadsSetting >= 0 ? threadsSetting : engine.threads);

        auto t0 = std::chrono::steady_clock::now();
        const auto directory = openTable(dir / "NUMS", "NUMS", TableType::Default, engine);
        directory->setIndexFieldNames("FAM;NAM;OTCH;BIRTH");
        std::printf("number directory: %lld entries, opened with its person order in %.2f s\n",
                    static_cast<long long>(directory->recordCount()), since(t0));

        // The persons the exact lookup misses, as number assignment reads them.
        t0 = std::chrono::steady_clock::now();
        std::vector<PersonToFind> missed;
        std::int64_t records = 0;
        const auto way = openTable(dir, "WAY.DBF", TableType::Dbase, engine);
        const FieldId w = way->fieldByName("W");
        for (way->first(); !way->eof(); way->next()) {
            const fs::path district = dir / "ORTAN" / pathFrom1251(lastName(way->text(w)));
            if (!fs::is_directory(district)) continue;
            for (int kind = 0; kind < kFileKindCount; ++kind) {
                std::unique_ptr<Table> file;
                try {
                    file = openTable(district, districtTableName(kind), TableType::Dbase, engine);
                } catch (const Error&) {
                    continue;  // a district without this file
                }
                const FileDescription& d = fileDescription(kind);
                const FieldId fs = file->fieldByName(d.surname), fn = file->fieldByName(d.name),
                              fp = file->fieldByName(d.patronymic), fb = file->fieldByName(d.birthDate);
                std::array<KeyValue, 4> key{std::string(), std::string(), std::string(), Date()};
                for (file->first(); !file->eof(); file->next()) {
                    ++records;
                    cut(*file, fs, std::get<std::string>(key[0]));
                    cut(*file, fn, std::get<std::string>(key[1]));
                    cut(*file, fp, std::get<std::string>(key[2]));
                    key[3] = file->date(fb);
                    if (directory->findKey(key)) continue;
                    missed.push_back({std::get<std::string>(key[0]), std::get<std::string>(key[1]),
                                      std::get<std::string>(key[2]), std::get<Date>(key[3])});
                }
            }
        }
        std::printf("district records: %lld, not found exactly: %zu (walk and lookups %.2f s, untimed below)\n",
                    static_cast<long long>(records), missed.size(), since(t0));
        const long before = currentRssMb();
        std::printf("memory before the index: %ld MB (peak so far %ld MB); threads: %u\n", before, peakRssMb(),
                    threads);

        for (int run = 1; run <= runs; ++run) {
            t0 = std::chrono::steady_clock::now();
            double c0 = cpuSeconds();
            const NearMatchIndex index(*directory, threads);
            const double build = since(t0), buildCpu = cpuSeconds() - c0;
            const long withIndex = currentRssMb();
            t0 = std::chrono::steady_clock::now();
            c0 = cpuSeconds();
            const auto hints = index.findAll(missed, threads);
            const double find = since(t0), findCpu = cpuSeconds() - c0;

            std::size_t offered = 0, certain = 0, listed = 0;
            for (const auto& h : hints) {
                offered += !h.empty();
                listed += h.size();
                certain += !h.empty() && h[0].confidence == HintConfidence::Certain;
            }
            std::printf(
                "run %d: index %.3f s (%.0f MB held, RSS +%ld MB)  hints %.3f s  together %.3f s  peak RSS %ld MB\n"
                "       CPU time: index %.3f s, hints %.3f s\n",
                run, build, index.memoryBytes() / 1e6, withIndex - before, find, build + find, peakRssMb(), buildCpu,
                findCpu);
            std::printf("       offered for %zu of %zu (%.2f %%), %zu hints, %zu \"точно\"\n", offered, missed.size(),
                        missed.empty() ? 0.0 : 100.0 * double(offered) / double(missed.size()), listed, certain);
            if (run > 1) continue;
            // What explains the first hints, and a few of them to look at.
            const char* const kinds[] = {"spelling",       "slip",          "swapped", "short",
                                         "double surname", "sex form",      "married", "birth digit",
                                         "day<->month",    "birth missing", "other"};
            std::size_t byKind[std::size(kinds)] = {};
            for (const auto& h : hints)
                if (!h.empty())
                    for (std::size_t k = 0; k < std::size(kinds); ++k) byKind[k] += (h[0].kinds >> k) & 1u;
            std::printf("       first hints by kind:");
            for (std::size_t k = 0; k < std::size(kinds); ++k)
                if (byKind[k]) std::printf(" %s %zu;", kinds[k], byKind[k]);
            std::printf("\n");
            for (std::size_t i = 0, shown = 0; i < hints.size() && shown < show; ++i) {
                if (hints[i].empty()) continue;
                ++shown;
                const PersonToFind& p = missed[i];
                std::printf("       %s %s %s %s\n", cp1251ToUtf8(p.surname).c_str(), cp1251ToUtf8(p.name).c_str(),
                            cp1251ToUtf8(p.patronymic).c_str(), p.birth.text().c_str());
                for (const Hint& h : hints[i]) {
                    const DirectoryPerson e = index.entry(h.entry);
                    std::printf("         %.3f %-8s %s %s %s %s (kinds %x)\n", h.score,
                                cp1251ToUtf8(confidenceText(h.confidence)).c_str(), cp1251ToUtf8(e.fam).c_str(),
                                cp1251ToUtf8(e.nam).c_str(), cp1251ToUtf8(e.otch).c_str(), e.birth.text().c_str(),
                                h.kinds);
                }
            }
        }
    } catch (const Error& e) {
        std::fprintf(stderr, "%s\n", e.utf8().c_str());
        return 1;
    }
    return 0;
}
