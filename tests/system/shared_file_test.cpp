// Two real processes on one district file, each editing it through the engine as two
// workplaces of the office would: every update of both survives, no record is ever half of
// one and half of another, and the second waits for the record the first holds.
#include <gtest/gtest.h>

#include <sstream>

#include "base/error.h"
#include "dbase/dbf_create.h"
#include "dbase/dbf_table.h"
#include "support/test_support.h"

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
    const std::vector<std::string> args = {STRNUM_EDIT_WORKER_PATH, "count", file.string(),
                                           std::to_string(kRounds), "3000",  go.string()};
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
    ChildProcess holder({STRNUM_EDIT_WORKER_PATH, "hold", file.string(), "2"});
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

}  // namespace
}  // namespace strnum
