// The district-file pass over real files: whatever the chunks, wherever they begin, on one
// thread or several, what comes out is what one walk from the first record to the last gives
// — the report lines with their colours, the records written, the values sent in order, the
// counters — also when a step fails in the first, a middle or the last chunk, when a step
// stops the walk, and when the file is shorter or longer than when it was read.
#include "walk/file_walk.h"

#include <gtest/gtest.h>

#include <optional>

#include "base/error.h"
#include "dbase/dbf_create.h"
#include "dbase/dbf_table.h"
#include "support/test_support.h"
#include "walk/recording_host.h"

namespace strnum {
namespace file_walk_test {  // names of its own: the Windows build compiles test files together
namespace {

namespace fs = std::filesystem;
using test::TempDir;

struct Counts {
    int records = 0, sum = 0;
    Counts& operator+=(const Counts& o) {
        records += o.records;
        sum += o.sum;
        return *this;
    }
};

struct Rec {
    int npd = 0;
    std::string val;
};

// What the step does with record NPD n: a line for every record, a red run on every fourth,
// a write of VAL on every third (its outcome line in its place), a step in order on every
// fifth; it throws at failAt and stops the walk after stopAt.
struct Script {
    int failAt = -1, stopAt = -1;
    bool writes = true;
    Channel<int>* inOrder = nullptr;  // every fifth record's NPD, sent in order
};

class TestStep final : public RecordStep<Rec, Counts> {
public:
    explicit TestStep(const Script& s) : s_(s) {}

private:
    void read(const Table& file, Rec& r) override {
        r.npd = file.integer(0);
        r.val = file.text(1);
    }
    void step(FilePart& part, const Rec& r) override {
        ++counters.records;
        part.report().appendLine("record " + std::to_string(r.npd) + " " + r.val);
        if (r.npd % 4 == 0) part.report().appendRun(" red", kRed);
        if (r.npd == s_.failAt) throw Error(ErrorKind::InvalidArgument, "step failed at " + std::to_string(r.npd));
        counters.sum += r.npd;
        if (s_.writes && r.npd % 3 == 0) {
            Table& file = part.file();
            part.write([&] { file.setText(1, "W" + std::to_string(r.npd)); }, "written " + std::to_string(r.npd),
                       "not written " + std::to_string(r.npd));
        }
        if (r.npd % 5 == 0 && s_.inOrder) s_.inOrder->send(part, r.npd);
        if (r.npd == s_.stopAt) part.stopWalk();
    }
    const Script& s_;
};

// A district file of n records, NPD 1..n, some of them deleted.
fs::path makeFile(const TempDir& dir, int n) {
    const fs::path file = dir / "PDL.DBF";
    DbfWriter w(file, {{"NPD", 'N', 6, 0}, {"VAL", 'C', 10, 0}}, 0x65);
    for (int i = 1; i <= n; ++i) w.append({std::to_string(i), "v" + std::to_string(i)}, i % 7 == 2);
    w.finish();
    return file;
}

// What came out of a walk.
struct Outcome {
    std::vector<std::string> lines;  // with their colours
    std::string bytes;               // the file without its last-update date
    std::vector<std::string> inOrder;
    Counts counts;
    std::string error;
    std::int64_t recordCount = 0;
    bool operator==(const Outcome& o) const {
        return lines == o.lines && bytes == o.bytes && inOrder == o.inOrder && counts.records == o.counts.records &&
               counts.sum == o.counts.sum && error == o.error && recordCount == o.recordCount;
    }
};

std::string describe(const Report& r, std::size_t i) {
    std::string s;
    r.forEachRun(i, [&](const Run& run) {
        s += run.colour.isDefault() ? "" : "[red]";
        s += run.text;
    });
    return s;
}

// Walks the file at `file` with the script in chunks of `chunk` slots on three threads (0:
// one chunk on the run's thread); after the file is read, `meanwhile` may change it.
Outcome walkWith(const fs::path& file, std::int64_t chunk, Script script, const std::function<void()>& meanwhile = {}) {
    test::RecordingHost host;
    Report report;
    std::vector<std::string> inOrder;
    Channel<int> channel([&](int& n, ReportSink& to) {
        inOrder.push_back("step " + std::to_string(n));
        to.appendLine("in order " + std::to_string(n));
    });
    script.inOrder = &channel;
    EngineSettings settings;
    settings.threads = chunk == 0 ? 1 : 3;
    settings.lockWaitMilliseconds = 50;
    const std::int64_t usual = chunkSlots();
    chunkSlots() = chunk == 0 ? 1 << 20 : chunk;
    FileWalks walks(host, report, settings);
    chunkSlots() = usual;
    Outcome out;
    {
        DbfTable table(file, "PDL.DBF", settings);
        FileWalk walk = walks.begin(table, WalkOptions{nullptr, script.writes});
        out.recordCount = walk.recordCount();
        if (meanwhile) meanwhile();
        try {
            walk.walk<TestStep>([&] { return std::make_unique<TestStep>(script); }, out.counts);
        } catch (const Error& e) {
            out.error = e.utf8();
        }
    }
    for (std::size_t i = 0; i < report.lineCount(); ++i) out.lines.push_back(describe(report, i));
    out.bytes = test::readBytes(file);
    out.bytes.erase(1, 3);
    out.inOrder = inOrder;
    return out;
}

// The outcome of one walk and of walks in chunks over copies of the same file.
void expectSameAsOneWalk(int records, const std::vector<std::int64_t>& chunks, const Script& script,
                         const std::function<void(const fs::path&)>& meanwhile = {}) {
    TempDir ref;
    const fs::path refFile = makeFile(ref, records);
    const Outcome one = walkWith(refFile, 0, script, meanwhile ? [&] { meanwhile(refFile); } : std::function<void()>{});
    for (const std::int64_t chunk : chunks) {
        TempDir dir;
        const fs::path file = makeFile(dir, records);
        const Outcome parts =
            walkWith(file, chunk, script, meanwhile ? [&] { meanwhile(file); } : std::function<void()>{});
        ASSERT_EQ(parts.lines, one.lines) << "chunks of " << chunk;
        ASSERT_EQ(parts.bytes, one.bytes) << "chunks of " << chunk;
        ASSERT_EQ(parts.inOrder, one.inOrder) << "chunks of " << chunk;
        ASSERT_EQ(parts.counts.records, one.counts.records) << chunk;
        ASSERT_EQ(parts.counts.sum, one.counts.sum) << chunk;
        ASSERT_EQ(parts.error, one.error) << chunk;
        ASSERT_EQ(parts.recordCount, one.recordCount) << chunk;
    }
}

TEST(FileWalk, OneChunkIsOneWalk) {
    TempDir dir;
    const Outcome o = walkWith(makeFile(dir, 30), 0, Script{});
    EXPECT_EQ(o.counts.records, 30 - 5);  // 2, 9, 16, 23 and 30 deleted
    EXPECT_EQ(o.lines.front(), "record 1 v1");
    EXPECT_EQ(o.lines[2], "written 3");
    EXPECT_EQ(o.lines[3], "record 4 v4[red] red");
    EXPECT_EQ(o.lines[5], "in order 5");
    EXPECT_EQ(o.inOrder.front(), "step 5");
    EXPECT_EQ(o.recordCount, 25);
    EXPECT_TRUE(o.error.empty());
}

TEST(FileWalk, ChunksOfEverySizeGiveOneWalk) {
    std::vector<std::int64_t> sizes;
    for (std::int64_t b = 1; b <= 30; ++b) sizes.push_back(b);
    expectSameAsOneWalk(30, sizes, Script{});
    expectSameAsOneWalk(300, {1, 2, 3, 7, 64, 150, 299}, Script{});
    Script counting;
    counting.writes = false;
    expectSameAsOneWalk(300, {1, 5, 60}, counting);
}

// What one walk gives up to a failing step: the records before it written and reported, the
// failing record's lines up to the failure, nothing after it; the counters up to it.
TEST(FileWalk, AFailingStepEndsTheWalkWhereOneWalkWouldEnd) {
    const std::vector<std::int64_t> splits = {1, 10, 20, 55};
    for (const int failAt : {6, 27, 44, 58}) {  // in the first, a middle and the last chunk
        Script s;
        s.failAt = failAt;
        SCOPED_TRACE(failAt);
        expectSameAsOneWalk(60, splits, s);
    }
}

TEST(FileWalk, AStepThatStopsTheWalkEndsItForTheLaterChunks) {
    for (const int stopAt : {5, 21, 45, 60}) {
        Script s;
        s.stopAt = stopAt;
        SCOPED_TRACE(stopAt);
        expectSameAsOneWalk(60, {1, 20, 30}, s);
    }
}

// Records another program holds cannot be written: their outcome lines say so in their
// place, in every part.
TEST(FileWalk, WritesThatFailAreReportedInTheirPlace) {
    const auto hold = [](const fs::path& file) {
        static std::vector<std::unique_ptr<DbfTable>> holders;
        holders.clear();
        for (int npd : {3, 24, 48}) {
            auto t = std::make_unique<DbfTable>(file, "PDL.DBF", EngineSettings{});
            while (!t->eof() && t->integer(0) != npd) t->next();
            t->edit();
            holders.push_back(std::move(t));
        }
    };
    expectSameAsOneWalk(60, {1, 20, 23}, Script{}, hold);
}

// A file shortened after it was read: its records are walked as read, and the writes of
// records no longer there fail in their place.
TEST(FileWalk, AFileShorterThanWhenReadFailsTheWritesPastItsEnd) {
    const auto shorten = [](const fs::path& file) {
        const DbfTable t(file, "PDL.DBF", {});
        fs::resize_file(file, t.header().headerLength + 33u * t.header().recordLength);
    };
    expectSameAsOneWalk(60, {1, 20, 33, 34}, Script{}, shorten);
}

// Records added after the file was read (a longer file with its header's count raised) are
// not walked: the walk goes over the file as it was read.
TEST(FileWalk, RecordsAddedAfterTheReadAreNotWalked) {
    TempDir ref, dir;
    const Outcome one = walkWith(makeFile(ref, 40), 0, Script{});
    const fs::path file = makeFile(dir, 40);
    const auto grow = [&] {
        const std::string bytes = test::readBytes(file);
        const DbfTable t(file, "PDL.DBF", {});
        const std::size_t head = t.header().headerLength, len = t.header().recordLength;
        std::string grown = bytes.substr(0, head + 40 * len) + bytes.substr(head, 5 * len) + "\x1a";
        grown[4] = 45;
        test::writeBytes(file, grown);
    };
    const Outcome parts = walkWith(file, 13, Script{}, grow);
    EXPECT_EQ(parts.lines, one.lines);
    EXPECT_EQ(parts.counts.records, one.counts.records);
}

// The kept writes of the chunks after a failing one are forgotten: the file is as one walk
// that ended at the failure left it.
TEST(FileWalk, WritesOfChunksAfterAFailureAreNotMade) {
    Script s;
    s.failAt = 12;
    TempDir dir;
    const fs::path file = makeFile(dir, 90);
    const std::string before = test::readBytes(file);
    const Outcome o = walkWith(file, 30, s);
    ASSERT_FALSE(o.error.empty());
    DbfTable t(file, "PDL.DBF", {});
    for (t.first(); !t.eof(); t.next()) {
        const int npd = t.integer(0);
        const std::string expected = npd % 3 == 0 && npd < 12 ? "W" + std::to_string(npd) : "v" + std::to_string(npd);
        EXPECT_EQ(t.text(1), expected) << npd;
    }
}

}  // namespace
}  // namespace file_walk_test
}  // namespace strnum
