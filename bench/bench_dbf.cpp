// Walk-and-read speed of the dBASE reader on a district-sized file.
//
// Creates a 1,000,000-record table shaped like a district file (created by the engine in a
// temporary folder), walks it reading every field as text, and compares the time with a
// plain sequential read of the same bytes (what `cat` costs).  Both runs go over a warm
// page cache, so the difference is the engine's own work.
//
//   build/release/bench/bench_dbf [records]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/text.h"
#include "dbase/dbf_create.h"
#include "dbase/dbf_table.h"

using namespace strnum;
namespace fs = std::filesystem;

namespace {

double seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

std::string cyr(const char* utf8) { return *utf8To1251(utf8); }

}  // namespace

int main(int argc, char** argv) {
    const long records = argc > 1 ? std::atol(argv[1]) : 1000000;
    const fs::path dir = fs::temp_directory_path() / ("bench_dbf_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path file = dir / "PDL.DBF";

    const std::vector<DbfFieldSpec> layout = {
        {"NPD", 'C', 10, 0},  {"FM", 'C', 25, 0},    {"IM", 'C', 20, 0},    {"OT", 'C', 20, 0}, {"DTR", 'D', 8, 0},
        {"POL", 'C', 1, 0},   {"NPSU", 'C', 11, 0},  {"NPSUI", 'C', 11, 0}, {"VDP", 'C', 2, 0}, {"VP", 'C', 2, 0},
        {"NUCH", 'C', 11, 0}, {"SUMMA", 'N', 10, 2}, {"PRIZ", 'L', 1, 0},
    };
    const std::string fams[] = {cyr("Иванов"), cyr("Петрова"), cyr("Сидоренко"), cyr("Кузнецов")};
    const std::string names[] = {cyr("Пётр"), cyr("Мария"), cyr("Анна"), cyr("Сергей")};
    auto t0 = std::chrono::steady_clock::now();
    {
        DbfWriter w(file, layout, 0x65);
        char num[16], date[16], sum[16];
        for (long i = 0; i < records; ++i) {
            std::snprintf(num, sizeof num, "%09ld%02ld", i % 1000000000, i % 97);
            std::snprintf(date, sizeof date, "%02ld.%02ld.%04ld", 1 + i % 28, 1 + i % 12, 1920 + i % 80);
            std::snprintf(sum, sizeof sum, "%ld.%02ld", i % 100000, i % 100);
            w.append({std::to_string(i + 1), fams[i % 4], names[i % 4], names[(i + 1) % 4], date, i % 2 ? "M" : "F",
                      num, i % 3 ? "" : num, " 1", "03", "1", sum, i % 2 ? "T" : "F"});
        }
        w.finish();
    }
    const double created = seconds(t0);
    const auto bytes = fs::file_size(file);

    // Plain read of the same bytes, twice (the first warms the cache).
    double plain = 0;
    std::vector<char> buf(1 << 20);
    for (int pass = 0; pass < 2; ++pass) {
        t0 = std::chrono::steady_clock::now();
        std::ifstream in(file, std::ios::binary);
        std::size_t total = 0;
        while (in.read(buf.data(), static_cast<std::streamsize>(buf.size())) || in.gcount() > 0)
            total += static_cast<std::size_t>(in.gcount());
        plain = seconds(t0);
        if (total != bytes) std::fprintf(stderr, "short read\n");
    }

    t0 = std::chrono::steady_clock::now();
    DbfTable table(file, "PDL.DBF", {});
    const std::int64_t count = table.recordCount();
    const auto n = static_cast<FieldId>(table.fields().size());
    const FieldId dtr = table.fieldByName("DTR");
    std::size_t checksum = 0;
    std::int64_t walked = 0;
    for (table.first(); !table.eof(); table.next(), ++walked) {
        for (FieldId f = 0; f < n; ++f) checksum += table.text(f).size();
        checksum += static_cast<std::size_t>(table.date(dtr).serial());
    }
    const double walk = seconds(t0);

    std::printf("records:            %ld (count %lld, walked %lld)\n", records, static_cast<long long>(count),
                static_cast<long long>(walked));
    std::printf("file size:          %.1f MB\n", static_cast<double>(bytes) / 1e6);
    std::printf("create:             %.3f s\n", created);
    std::printf("plain read (cat):   %.3f s  (%.0f MB/s)\n", plain, static_cast<double>(bytes) / 1e6 / plain);
    std::printf("count+walk+read:    %.3f s  (%.0f records/s, %.1fx plain read)\n", walk,
                static_cast<double>(walked) / walk, walk / plain);
    std::printf("checksum:           %zu\n", checksum);
    fs::remove_all(dir);
    return walked == records ? 0 : 1;
}
