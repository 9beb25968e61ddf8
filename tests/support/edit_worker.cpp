// A second program for the tests of shared files: edits a district file through the engine,
// as another copy of this program or another benefits workplace would, in a process of its
// own.
//
//   strnum_edit_worker count FILE ROUNDS LOCKWAIT GO
//       once GO exists, ROUNDS times over every record: edit (waiting up to LOCKWAIT ms for
//       the record), CNT + 1, TAG = the new count written four times, post.  Prints
//       "committed C waited W locked L": updates written, of them those that had to wait for
//       the record, and edits refused after LOCKWAIT.
//   strnum_edit_worker hold FILE RECORD [SCHEME]
//       edits record RECORD (1-based), so holding its lock, prints "held" and keeps it until
//       its standard input ends.
//   strnum_edit_worker try FILE SCHEME LOCKWAIT [RECORD]
//       edits record RECORD (default 1) under lock scheme SCHEME (dBASE, Clipper,
//       ClipperExtended, FoxPro), waiting up to LOCKWAIT ms: exit status 0 when it is locked
//       by another, 1 when it could be edited.
//   strnum_edit_worker rawlock FILE OFFSET LENGTH
//       locks LENGTH bytes at OFFSET as another program of the office locks a record, prints
//       "locked" and keeps the lock until its standard input ends.
//   strnum_edit_worker probe FILE OFFSET
//       exit status 0 when the byte at OFFSET is locked by another, 1 when it is free.
//   strnum_edit_worker readall FILE
//       reads every byte of the file: exit status 0, or 2 with the error on standard error.
//   strnum_edit_worker open FILE SHARE
//       opens the file for reading and writing as another program does (Windows: sharing it
//       for reading and writing, SHARE "rw", or also for removal, "rwd"), prints "open" and
//       keeps it open until its standard input ends.
//   strnum_edit_worker progdir
//       prints the program directory as this program finds it.
//   strnum_edit_worker stripe FILE
//       writes its record number into IM of every even record, one locked edit each.
//   strnum_edit_worker notfound DIR
//       adds random numbers to the not-found table ANKT.DB of DIR, 300 at a time, written at
//       the end of each batch; prints each batch's new numbers, one a line, once written.
//       Runs until it is killed.
// File names are UTF-8 (on Windows taken from the wide-character command line).
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "base/date.h"
#include "base/error.h"
#include "base/text.h"
#include "batches/not_found_table.h"
#include "dbase/dbf_table.h"
#include "system/console.h"
#include "system/file.h"
#include "system/program_dir.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

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

LockScheme schemeOf(const std::string& name) {
    return name == "Clipper"           ? LockScheme::Clipper
           : name == "ClipperExtended" ? LockScheme::ClipperExtended
           : name == "FoxPro"          ? LockScheme::FoxPro
                                       : LockScheme::Dbase;
}

void waitForInputEnd() {
    std::string line;
    while (std::getline(std::cin, line)) {
    }
}

int hold(const std::filesystem::path& file, long record, const std::string& scheme) {
    EngineSettings settings;
    settings.lockScheme = schemeOf(scheme);
    DbfTable t(file, "PDL.DBF", settings);
    for (t.first(); !t.eof() && t.recordNumber() != record; t.next()) {
    }
    if (t.eof()) return 3;
    t.edit();
    std::printf("held\n");
    std::fflush(stdout);
    waitForInputEnd();
    t.cancel();
    return 0;
}

int tryRecord(const std::filesystem::path& file, const std::string& scheme, int lockWait, long record) {
    EngineSettings settings;
    settings.lockScheme = schemeOf(scheme);
    settings.lockWaitMilliseconds = lockWait;
    DbfTable t(file, "PDL.DBF", settings);
    for (t.first(); !t.eof() && t.recordNumber() != record; t.next()) {
    }
    if (t.eof()) return 3;
    try {
        t.edit();
    } catch (const Error& e) {
        if (e.kind() == ErrorKind::Locked) return 0;
        throw;
    }
    t.cancel();
    return 1;
}

int stripe(const std::filesystem::path& file) {
    DbfTable t(file, "PDL.DBF", {});
    const FieldId im = t.fieldByName("IM");
    for (t.first(); !t.eof(); t.next()) {
        if (t.recordNumber() % 2 != 0) continue;
        t.edit();
        t.setText(im, std::to_string(t.recordNumber()));
        t.post();
    }
    return 0;
}

int addNotFound(const std::filesystem::path& dir) {
    std::mt19937 rng(11);
    for (;;) {
        NotFoundTable t(dir);
        std::vector<std::int32_t> added;
        for (int k = 0; k < 300; ++k) {
            const auto num = static_cast<std::int32_t>(rng() % 1000000);
            if (t.add(num, "K", "", "", Date(), "")) added.push_back(num);
        }
        t.flush();
        std::string lines;
        for (const std::int32_t num : added) lines += std::to_string(num) + "\n";
        std::fwrite(lines.data(), 1, lines.size(), stdout);
        std::fflush(stdout);
    }
}

int rawLock(const std::filesystem::path& file, std::uint64_t offset, std::uint64_t length) {
    File f(file, File::Mode::ReadWrite);
    if (!f.lockRange(offset, length, 0)) return 1;
    std::printf("locked\n");
    std::fflush(stdout);
    waitForInputEnd();
    f.unlockRange(offset, length);
    return 0;
}

int probe(const std::filesystem::path& file, std::uint64_t offset) {
    File f(file, File::Mode::ReadWrite);
    if (!f.lockRange(offset, 1, 0)) return 0;
    f.unlockRange(offset, 1);
    return 1;
}

int readAll(const std::filesystem::path& file) {
    File f(file, File::Mode::ReadOnly);
    std::string bytes(static_cast<std::size_t>(f.size()), '\0');
    return f.readAt(0, bytes.data(), bytes.size()) == bytes.size() ? 0 : 2;
}

int holdOpen(const std::filesystem::path& file, const std::string& share) {
#ifdef _WIN32
    DWORD mode = FILE_SHARE_READ | FILE_SHARE_WRITE;
    if (share == "rwd") mode |= FILE_SHARE_DELETE;
    const HANDLE h = CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, mode, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return 2;
#else
    (void)share;
    const int fd = ::open(file.c_str(), O_RDWR);
    if (fd < 0) return 2;
#endif
    std::printf("open\n");
    std::fflush(stdout);
    waitForInputEnd();
#ifdef _WIN32
    CloseHandle(h);
#else
    ::close(fd);
#endif
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args = programArguments(argc, argv);
    const auto path = [&](std::size_t i) { return pathFromUtf8(args[i]); };
    try {
        const std::string mode = args.size() > 1 ? args[1] : "";
        if (mode == "count" && args.size() == 6)
            return countRounds(path(2), std::stoi(args[3]), std::stoi(args[4]), path(5));
        if (mode == "hold" && (args.size() == 4 || args.size() == 5))
            return hold(path(2), std::stol(args[3]), args.size() == 5 ? args[4] : "dBASE");
        if (mode == "try" && (args.size() == 5 || args.size() == 6))
            return tryRecord(path(2), args[3], std::stoi(args[4]), args.size() == 6 ? std::stol(args[5]) : 1);
        if (mode == "rawlock" && args.size() == 5) return rawLock(path(2), std::stoull(args[3]), std::stoull(args[4]));
        if (mode == "probe" && args.size() == 4) return probe(path(2), std::stoull(args[3]));
        if (mode == "readall" && args.size() == 3) return readAll(path(2));
        if (mode == "open" && args.size() == 4) return holdOpen(path(2), args[3]);
        if (mode == "progdir" && args.size() == 2) {
            const std::string dir = pathToUtf8(programDirectory());
            std::fwrite(dir.data(), 1, dir.size(), stdout);
            return 0;
        }
        if (mode == "stripe" && args.size() == 3) return stripe(path(2));
        if (mode == "notfound" && args.size() == 3) return addNotFound(path(2));
    } catch (const Error& e) {
        std::fprintf(stderr, "%s\n", e.utf8().c_str());
        return 2;
    }
    std::fprintf(stderr,
                 "usage: strnum_edit_worker count FILE ROUNDS LOCKWAIT GO | hold FILE RECORD [SCHEME] | "
                 "try FILE SCHEME LOCKWAIT [RECORD] | stripe FILE | notfound DIR | rawlock FILE OFFSET LENGTH | "
                 "probe FILE OFFSET | readall FILE | open FILE SHARE | progdir\n");
    return 3;
}
