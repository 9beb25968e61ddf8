// Number directory and not-found table at region scale.
//
//     bench_nums [entries=3000000] [dir]
//
// With a dir, the file is kept there and reused by later runs (the same file before and
// after a change); without one it is written to a fresh temporary folder and removed.
// Writes a NUMS.DB of that many entries with the engine's bulk writer (in a child process,
// so that its memory does not count), then opens it with both orders ready, and reports
// the time, the peak memory against the file size, the time of 1,000,000 lookups by number
// and by person, and of 100,000 inserts into a fresh not-found table.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include "batches/not_found_table.h"
#include "data/number_directory.h"
#include "paradox/paradox_writer.h"

using namespace strnum;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

const char* const kFam[] = {"\xC8\xE2\xE0\xED\xEE\xE2", "\xCF\xE5\xF2\xF0\xEE\xE2", "\xD1\xE8\xE4\xEE\xF0\xEE\xE2",
                            "\xCA\xF3\xE7\xED\xE5\xF6\xEE\xE2", "\xD1\xEC\xE8\xF0\xED\xEE\xE2"};

// Entry i of the generated directory: numbers rise with i, names repeat so that many
// people share a surname and some share all four values (twins in the directory).
void person(std::size_t i, std::string& fam, std::string& nam, std::string& otch, Date& birth) {
    fam = std::string(kFam[i % 5]) + (i % 7 ? "" : "\xE0") + std::to_string(i / 5 % 20000);
    nam = "N" + std::to_string(i % 300);
    otch = "O" + std::to_string(i / 300 % 200);
    birth = Date::fromSerial(static_cast<std::int32_t>(700000 + (i / 3) % 30000));
}
std::int32_t numberOf(std::size_t i) { return static_cast<std::int32_t>(100000000 + i * 3); }

void generate(const fs::path& file, std::size_t n) {
    const std::vector<ParadoxFieldDef> f{{"NUM", pxtype::Long, 0},   {"FAM", pxtype::Alpha, 25},
                                         {"NAM", pxtype::Alpha, 20}, {"OTCH", pxtype::Alpha, 20},
                                         {"BIRTH", pxtype::Date, 0}, {"COND", pxtype::Alpha, 1}};
    const std::size_t rs = 74;
    std::string rows(n * rs, '\0');
    std::string fam, nam, otch;
    Date birth;
    for (std::size_t i = 0; i < n; ++i) {
        char* r = rows.data() + i * rs;
        person(i, fam, nam, otch, birth);
        pxEncodeInt(r, 4, numberOf(i));
        pxEncodeAlpha(r + 4, 25, fam, CodePage::Cp866);
        pxEncodeAlpha(r + 29, 20, nam, CodePage::Cp866);
        pxEncodeAlpha(r + 49, 20, otch, CodePage::Cp866);
        pxEncodeInt(r + 69, 4, birth.serial());
        r[73] = 'A';
    }
    createParadoxTable(file, f, {}, rows);
}

double ms(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && (argv[1][0] < '0' || argv[1][0] > '9')) {
        std::printf(
            "usage: bench_nums [entries=3000000] [dir]\n"
            "  dir: where NUMS.DB is written (kept, and reused when it exists)\n");
        return argc > 1 && std::string(argv[1]) != "--help" && std::string(argv[1]) != "-h" ? 2 : 0;
    }
    const std::size_t n = argc > 1 ? std::stoul(argv[1]) : 3000000;
    const fs::path dir =
        argc > 2 ? fs::path(argv[2]) : fs::temp_directory_path() / ("bench_nums_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path file = dir / "NUMS.DB";
    if (!fs::exists(file)) {
        const auto t0 = Clock::now();
        const pid_t child = ::fork();
        if (child == 0) {
            generate(file, n);
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        std::printf("generated %zu entries in %.0f ms\n", n, ms(t0, Clock::now()));
    }
    const double fileMb = static_cast<double>(fs::file_size(file)) / 1048576.0;

    const auto t0 = Clock::now();
    NumberDirectory nums(file, EngineSettings{});
    const auto t1 = Clock::now();
    rusage ru{};
    ::getrusage(RUSAGE_SELF, &ru);
    const double rssMb = static_cast<double>(ru.ru_maxrss) / 1024.0;
    std::printf("open with both orders: %.0f ms; file %.1f MB, peak RSS %.1f MB (%.2fx)\n", ms(t0, t1), fileMb, rssMb,
                rssMb / fileMb);

    std::mt19937 rng(1);
    std::size_t found = 0;
    auto a = Clock::now();
    for (int k = 0; k < 1000000; ++k) found += nums.findNumber(numberOf(rng() % n) + (k % 10 == 0 ? 1 : 0));
    auto b = Clock::now();
    std::printf("1,000,000 lookups by number: %.0f ms (%.0f ns each), %zu found\n", ms(a, b), ms(a, b) * 1e6 / 1e6 / 1,
                found);

    std::vector<std::tuple<std::string, std::string, std::string, Date>> people(1000);
    for (auto& p : people) person(rng() % n, std::get<0>(p), std::get<1>(p), std::get<2>(p), std::get<3>(p));
    (void)nums.findPerson("", "", "", Date());
    found = 0;
    a = Clock::now();
    for (int k = 0; k < 1000000; ++k) {
        const auto& p = people[static_cast<std::size_t>(k) % people.size()];
        found += nums.findPerson(std::get<0>(p), std::get<1>(p), std::get<2>(p), std::get<3>(p));
    }
    b = Clock::now();
    std::printf("1,000,000 lookups by person: %.0f ms (%.0f ns each), %zu found\n", ms(a, b), ms(a, b), found);

    fs::remove(dir / "ANKT.DB");
    fs::remove(dir / "ANKT.PX");
    a = Clock::now();
    {
        NotFoundTable ankt(dir);
        for (int k = 0; k < 100000; ++k)
            (void)ankt.add(static_cast<std::int32_t>(rng() % 900000000), "FAMILIYA", "IMYA", "OTCHESTVO", Date(), "M");
        ankt.flush();
        b = Clock::now();
        std::printf("100,000 inserts into the not-found table, written: %.0f ms (%zu records)\n", ms(a, b),
                    ankt.records());
    }
    if (argc <= 2) fs::remove_all(dir);
    return 0;
}
