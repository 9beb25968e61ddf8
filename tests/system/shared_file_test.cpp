// Two real processes on one district file, each editing it through the engine as two
// workplaces of the office would: every update of both survives, no record is ever half of
// one and half of another, and the second waits for the record the first holds.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>

#include "base/error.h"
#include "base/text.h"
#include "batches/not_found_table.h"
#include "dbase/dbf_create.h"
#include "dbase/dbf_table.h"
#include "paradox/paradox_table.h"
#include "report/output_file.h"
#include "settings/ini_file.h"
#include "support/paradox_index_check.h"
#include "support/test_support.h"
#include "system/replacing_file.h"

namespace strnum {
namespace {

namespace fs = std::filesystem;
using test::ChildProcess;
using test::TempDir;

struct WorkerCounts {
    long committed = -1, waited = -1, locked = -1;
};

WorkerCounts parse(const std::string& line) {
    WorkerCounts c;
    std::istringstream in(line);
    std::string word;
    in >> word >> c.committed >> word >> c.waited >> word >> c.locked;
    return c;
}

TEST(SharedFile, TwoProcessesUpdatingTheSameRecordsLoseNothingAndTearNothing) {
    TempDir dir;
    const fs::path file = dir / "PDL.DBF";
    constexpr int kRecords = 5, kRounds = 400;
    {
        DbfWriter wr(file, {{"NPD", 'C', 10, 0}, {"CNT", 'C', 10, 0}, {"TAG", 'C', 40, 0}}, 0x65);
        for (int i = 1; i <= kRecords; ++i) wr.append({std::to_string(i), "0", "0000"});
        wr.finish();
    }
    const fs::path go = dir / "GO";
    const std::vector<std::string> args = {test::editWorkerProgram(), "count", file.string(),
                                           std::to_string(kRounds),   "3000",  go.string()};
    ChildProcess first(args), second(args);
    test::writeBytes(go, "");  // both start at once
    const WorkerCounts a = parse(first.readLine()), b = parse(second.readLine());
    ASSERT_EQ(first.wait(), 0);
    ASSERT_EQ(second.wait(), 0);
    ASSERT_GE(a.committed, 0);
    ASSERT_GE(b.committed, 0);
    EXPECT_EQ(a.committed + a.locked, kRecords * kRounds);
    EXPECT_EQ(b.committed + b.locked, kRecords * kRounds);
    EXPECT_GT(a.waited + b.waited, 0) << "the two never met on a record";

    DbfTable t(file, "PDL.DBF", {});
    const FieldId cnt = t.fieldByName("CNT"), tag = t.fieldByName("TAG");
    long total = 0;
    for (t.first(); !t.eof(); t.next()) {
        const std::string c = t.text(cnt);
        EXPECT_EQ(t.text(tag), c + c + c + c) << "record " << t.recordNumber() << " torn";
        total += std::stol(c);
    }
    EXPECT_EQ(total, a.committed + b.committed) << "updates lost";
}

TEST(SharedFile, ARecordHeldByAnotherProcessPastTheWaitIsALockError) {
    TempDir dir;
    const fs::path file = dir / "PDL.DBF";
    {
        DbfWriter wr(file, {{"NPD", 'C', 10, 0}, {"CNT", 'C', 10, 0}, {"TAG", 'C', 40, 0}}, 0x65);
        for (int i = 1; i <= 3; ++i) wr.append({std::to_string(i), "0", "0000"});
        wr.finish();
    }
    ChildProcess holder({test::editWorkerProgram(), "hold", file.string(), "2"});
    ASSERT_EQ(holder.readLine(), "held");
    EngineSettings quick;
    quick.lockWaitMilliseconds = 150;
    DbfTable t(file, "PDL.DBF", quick);
    t.next();
    try {
        t.edit();
        ADD_FAILURE() << "edited a record another process holds";
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::Locked);
        EXPECT_NE(e.utf8().find("PDL.DBF"), std::string::npos) << e.utf8();
        EXPECT_NE(e.utf8().find("занята другой программой"), std::string::npos) << e.utf8();
    }
    // Once the other lets go, the record is there to be written.
    holder.closeInput();
    EXPECT_EQ(holder.wait(), 0);
    t.edit();
    t.setText(t.fieldByName("CNT"), "7");
    t.post();
    DbfTable check(file, "PDL.DBF", {});
    check.next();
    EXPECT_EQ(check.text(check.fieldByName("CNT")), "7");
}

fs::path makeDistrictFile(const TempDir& dir) {
    const fs::path file = dir / "PDL.DBF";
    DbfWriter wr(file, {{"NPD", 'C', 10, 0}, {"CNT", 'C', 10, 0}, {"TAG", 'C', 40, 0}}, 0x65);
    for (int i = 1; i <= 3; ++i) wr.append({std::to_string(i), "0", "0000"});
    wr.finish();
    return file;
}

// Every record of the file read through the engine; the first failure's message, or empty.
std::string readEveryRecord(const fs::path& file, const EngineSettings& settings) {
    try {
        DbfTable t(file, "PDL.DBF", settings);
        for (t.first(); !t.eof(); t.next()) (void)t.text(t.fieldByName("TAG"));
        return {};
    } catch (const Error& e) {
        return e.utf8();
    }
}

// The byte each scheme locks for a record is the byte the other programs of that scheme lock
// for it, past the end of the records: a record another program holds is refused to our
// edit, one we hold is refused to theirs, and neither lock stops anyone reading records (on
// Windows a locked range cannot be read by another handle at all).
TEST(SharedFile, EachSchemesRecordLockMeetsTheOtherProgramsAndLetsThemRead) {
    TempDir dir;
    const fs::path file = makeDistrictFile(dir);
    DbfHeader h;
    {
        DbfTable t(file, "PDL.DBF", {});
        h = t.header();
    }
    const std::uint64_t record2 = h.headerLength + h.recordLength;  // where record 2 starts
    struct Scheme {
        LockScheme scheme;
        const char* name;
        std::uint64_t lockOfRecord2;
    };
    const Scheme schemes[] = {
        {LockScheme::Dbase, "dBASE", 0xEFFFFFFEull - 2},
        {LockScheme::Clipper, "Clipper", 1000000000ull + 2},
        {LockScheme::ClipperExtended, "ClipperExtended", 4000000000ull + 2},
        {LockScheme::FoxPro, "FoxPro", 0x40000000ull + record2},
    };
    for (const Scheme& sc : schemes) {
        SCOPED_TRACE(sc.name);
        EXPECT_GT(sc.lockOfRecord2, fs::file_size(file) + 900'000'000) << "a lock among the records";
        EngineSettings s;
        s.lockScheme = sc.scheme;
        s.lockWaitMilliseconds = 100;
        {
            ChildProcess other(
                {test::editWorkerProgram(), "rawlock", test::utf8(file), std::to_string(sc.lockOfRecord2), "1"});
            ASSERT_EQ(other.readLine(), "locked");
            DbfTable t(file, "PDL.DBF", s);
            t.next();
            try {
                t.edit();
                ADD_FAILURE() << "edited a record another program holds";
            } catch (const Error& e) {
                EXPECT_EQ(e.kind(), ErrorKind::Locked) << e.utf8();
            }
            t.first();
            t.edit();  // record 1 is free
            t.cancel();
            EXPECT_EQ(readEveryRecord(file, s), "");
        }
        DbfTable ours(file, "PDL.DBF", s);
        ours.next();
        ours.edit();
        EXPECT_EQ(
            test::runProgram({test::editWorkerProgram(), "probe", test::utf8(file), std::to_string(sc.lockOfRecord2)})
                .status,
            0)
            << "the other program got the lock of the record we hold";
        const test::ProgramRun reading = test::runProgram({test::editWorkerProgram(), "readall", test::utf8(file)});
        EXPECT_EQ(reading.status, 0) << reading.err;
        ours.cancel();
    }
}

// A program that locks the bytes of a record itself, as no scheme of ours does: on Windows
// those bytes cannot be read while it holds them, and the read fails saying why.
TEST(SharedFile, RecordBytesLockedByAnotherProgramAreAReadErrorThatSaysSo) {
#ifndef _WIN32
    GTEST_SKIP() << "byte-range locks on Linux are advisory: no lock ever stops a read";
#else
    if (test::underWine()) GTEST_SKIP() << "Wine does not bar reading a range another process locked, as Windows does";
    TempDir dir;
    const fs::path file = makeDistrictFile(dir);
    DbfHeader h;
    {
        DbfTable t(file, "PDL.DBF", {});
        h = t.header();
    }
    ChildProcess other({test::editWorkerProgram(), "rawlock", test::utf8(file), std::to_string(h.headerLength),
                        std::to_string(3 * h.recordLength)});
    ASSERT_EQ(other.readLine(), "locked");
    const std::string failure = readEveryRecord(file, {});
    EXPECT_NE(failure.find("PDL.DBF"), std::string::npos) << failure;
    EXPECT_NE(failure.find("заблокирована другой программой"), std::string::npos) << failure;
#endif
}

// What is written anew and put in place (the settings file, saved reports, REPORT.TXT, the
// exchange batch) while another program holds the old file open, as the office's programs
// open files: in place, or refused naming the file and saying it is open elsewhere, the
// old file whole and nothing left beside it.
TEST(SharedFile, AFileHeldOpenByAnotherProgramIsReplacedOrLeftWhole) {
    for (const char* share : {"rw", "rwd"}) {
        SCOPED_TRACE(share);
        TempDir dir;
        const fs::path ini = dir / "SOBES.INI", report = dir / "REPORT.TXT";
        test::writeBytes(ini, "[Init]\r\nDBPath=C:\\OLD\r\n");
        test::writeBytes(report, "old report");
        ChildProcess holdsIni({test::editWorkerProgram(), "open", test::utf8(ini), share});
        ChildProcess holdsReport({test::editWorkerProgram(), "open", test::utf8(report), share});
        ASSERT_EQ(holdsIni.readLine(), "open");
        ASSERT_EQ(holdsReport.readLine(), "open");

        const auto check = [&](const fs::path& file, const std::string& before, const std::string& after,
                               const std::function<void()>& write) {
            try {
                write();
                EXPECT_EQ(test::readBytes(file), after);
            } catch (const Error& e) {
#ifdef _WIN32
                EXPECT_NE(e.utf8().find(test::utf8(file)), std::string::npos) << e.utf8();
                EXPECT_NE(e.utf8().find("открыт другой программой"), std::string::npos) << e.utf8();
                EXPECT_EQ(test::readBytes(file), before);
#else
                ADD_FAILURE() << e.utf8();
                (void)before;
#endif
            }
        };
        check(ini, "[Init]\r\nDBPath=C:\\OLD\r\n", "[Init]\r\nDBPath=C:\\NEW\r\n", [&] {
            IniFile settings = IniFile::load(ini);
            settings.set("Init", "DBPath", "C:\\NEW");
            settings.save(ini);
        });
        check(report, "old report", "new report", [&] {
            OutputFile out(report);
            out.write("new report");
            out.close();
        });
        check(report, test::readBytes(report), "newer", [&] {
            ReplacingFile out(report);
            out.write("newer");
            out.commit();
        });
        std::vector<std::string> left;
        for (const auto& e : fs::directory_iterator(dir.path())) left.push_back(test::utf8(e.path().filename()));
        std::sort(left.begin(), left.end());
        EXPECT_EQ(left, (std::vector<std::string>{"REPORT.TXT", "SOBES.INI"})) << "files left beside";
    }
}

// The not-found table held open by another program: the records go into it in place.
TEST(SharedFile, ANotFoundTableHeldOpenByAnotherProgramGetsItsRecords) {
    for (const char* share : {"rw", "rwd"}) {
        SCOPED_TRACE(share);
        TempDir dir;
        { NotFoundTable created(dir.path()); }
        ChildProcess holds({test::editWorkerProgram(), "open", test::utf8(dir / "ANKT.DB"), share});
        ASSERT_EQ(holds.readLine(), "open");
        {
            NotFoundTable t(dir.path());
            for (std::int32_t num : {5, 3, 9}) EXPECT_TRUE(t.add(num, test::w("ИВАНОВ"), "", "", Date(), "M"));
            t.flush();
        }
        ParadoxTable check(dir / "ANKT.DB", EngineSettings{});
        std::vector<std::int32_t> nums;
        for (check.first(); !check.eof(); check.next()) nums.push_back(check.integer(0));
        EXPECT_EQ(nums, (std::vector<std::int32_t>{3, 5, 9}));
        test::expectIndexConsistent(dir / "ANKT.DB");
    }
}

}  // namespace
}  // namespace strnum
