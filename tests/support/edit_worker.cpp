// A second program for the tests of shared files: edits a district file through the engine,
// as another copy of this program or another benefits workplace would, in a process of its
// own.
//
//   strnum_edit_worker count FILE ROUNDS LOCKWAIT GO
//       once GO exists, ROUNDS times over every record: edit (waiting up to LOCKWAIT ms for
//       the record), CNT + 1, TAG = the new count written four times, post.  Prints
//       "committed C waited W locked L": updates written, of them those that had to wait for
//       the record, and edits refused after LOCKWAIT.
//   strnum_edit_worker hold FILE RECORD
//       edits record RECORD (1-based), so holding its lock, prints "held" and keeps it until
//       its standard input ends.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <thread>

#include "base/error.h"
#include "dbase/dbf_table.h"

namespace {

using namespace strnum;

std::string tagOf(long count) {
    const std::string c = std::to_string(count);
    return c + c + c + c;
}

int countRounds(const std::filesystem::path& file, int rounds, int lockWait, const std::filesystem::path& go) {
    EngineSettings settings;
    settings.lockWaitMilliseconds = lockWait;
    DbfTable t(file, "PDL.DBF", settings);
    const FieldId cnt = t.fieldByName("CNT"), tag = t.fieldByName("TAG");
    while (!std::filesystem::exists(go)) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    long committed = 0, waited = 0, locked = 0;
    for (int round = 0; round < rounds; ++round) {
        for (t.first(); !t.eof(); t.next()) {
            const auto start = std::chrono::steady_clock::now();
            try {
                t.edit();
            } catch (const Error& e) {
                if (e.kind() != ErrorKind::Locked) throw;
                ++locked;
                continue;
            }
            if (std::chrono::steady_clock::now() - start > std::chrono::microseconds(500)) ++waited;
            const long next = t.integer(cnt) + 1;
            t.setText(cnt, std::to_string(next));
            t.setText(tag, tagOf(next));
            t.post();
            ++committed;
        }
    }
    std::printf("committed %ld waited %ld locked %ld\n", committed, waited, locked);
    return 0;
}

int hold(const std::filesystem::path& file, long record) {
    DbfTable t(file, "PDL.DBF", {});
    for (t.first(); !t.eof() && t.recordNumber() != record; t.next()) {
    }
    if (t.eof()) return 3;
    t.edit();
    std::printf("held\n");
    std::fflush(stdout);
    std::string line;
    while (std::getline(std::cin, line)) {
    }
    t.cancel();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const std::string mode = argc > 1 ? argv[1] : "";
        if (mode == "count" && argc == 6) return countRounds(argv[2], std::stoi(argv[3]), std::stoi(argv[4]), argv[5]);
        if (mode == "hold" && argc == 4) return hold(argv[2], std::stol(argv[3]));
    } catch (const Error& e) {
        std::fprintf(stderr, "%s\n", e.utf8().c_str());
        return 1;
    }
    std::fprintf(stderr, "usage: strnum_edit_worker count FILE ROUNDS LOCKWAIT GO | hold FILE RECORD\n");
    return 2;
}
