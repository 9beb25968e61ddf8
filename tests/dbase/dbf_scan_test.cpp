// A file read once and walked in chunks: the chunks visit exactly the records of one walk,
// their kept posts reach the file exactly as posts written at once would, a record another
// program holds or has deleted fails alone, and a chunk not written leaves no trace.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>

#include "base/error.h"
#include "dbase/dbf_create.h"
#include "dbase/dbf_table.h"
#include "support/test_support.h"

namespace strnum {
namespace dbf_scan_test {  // names of its own: the Windows build compiles test files together
namespace {

using test::readBytes;
using test::TempDir;
namespace fs = std::filesystem;

const std::vector<DbfFieldSpec> kFields = {
    {"NPD", 'C', 6, 0}, {"FM", 'C', 12, 0}, {"NPSU", 'C', 11, 0}, {"NPSUI", 'C', 11, 0}};

fs::path makeTable(const fs::path& file, int records) {
    DbfWriter wr(file, kFields, 0x65);
    for (int i = 0; i < records; ++i) wr.append({std::to_string(i + 1), "F" + std::to_string(i), "", ""});
    wr.finish();
    return file;
}

// Sets NPSU (and NPSUI of every third) of the records whose number is in `which`.
void changeRecords(Table& t, const std::vector<int>& which) {
    const FieldId npd = t.fieldByName("NPD"), npsu = t.fieldByName("NPSU"), npsui = t.fieldByName("NPSUI");
    for (t.first(); !t.eof(); t.next()) {
        const int n = t.integer(npd);
        if (std::find(which.begin(), which.end(), n) == which.end()) continue;
        t.edit();
        t.setText(npsu, std::to_string(10000000000LL + n));
        if (n % 3 == 0) t.setText(npsui, "22222222222");
        t.post();
    }
}

std::vector<std::int32_t> visit(Table& t) {
    std::vector<std::int32_t> seen;
    const FieldId npd = t.fieldByName("NPD");
    for (t.first(); !t.eof(); t.next()) seen.push_back(t.integer(npd));
    return seen;
}

TEST(DbfScan, KeptPostsWriteTheSameBytesAsPostsAtOnce) {
    TempDir dir;
    const fs::path once = makeTable(dir / "A.DBF", 40), chunked = makeTable(dir / "B.DBF", 40);
    const std::vector<int> which = {1, 2, 3, 7, 8, 20, 21, 22, 23, 40};
    {
        DbfTable t(once, "A.DBF", {});
        changeRecords(t, which);
    }
    {
        DbfTable t(chunked, "B.DBF", {});
        ASSERT_EQ(t.load(true), 40);
        // In chunks of 7 slots, each written when done; a chunk's posts are kept until then.
        for (std::int64_t from = 0; from < 40; from += 7) {
            std::unique_ptr<Table> chunk = t.chunk(from, std::min<std::int64_t>(40, from + 7));
            const std::string before = readBytes(chunked);
            changeRecords(*chunk, which);
            EXPECT_EQ(readBytes(chunked), before);
            const std::vector<bool> done = t.write(*chunk);
            EXPECT_TRUE(std::all_of(done.begin(), done.end(), [](bool w) { return w; }));
        }
    }
    EXPECT_EQ(readBytes(once), readBytes(chunked));

    // A chunk not written leaves no trace.
    const fs::path dropped = makeTable(dir / "C.DBF", 10);
    const std::string before = readBytes(dropped);
    {
        DbfTable t(dropped, "C.DBF", {});
        t.load(true);
        std::unique_ptr<Table> chunk = t.chunk(0, 10);
        changeRecords(*chunk, {2, 5});
    }
    EXPECT_EQ(readBytes(dropped), before);
}

TEST(DbfScan, TwoPostsOfOneRecordEachHaveTheirOutcome) {
    TempDir dir;
    const fs::path file = makeTable(dir / "PDL.DBF", 2);
    DbfTable t(file, "PDL.DBF", {});
    t.load(true);
    std::unique_ptr<Table> chunk = t.chunk(0, 2);
    const FieldId npsu = t.fieldByName("NPSU"), npsui = t.fieldByName("NPSUI");
    chunk->edit();
    chunk->setText(npsu, "11111111111");
    chunk->post();
    chunk->edit();
    chunk->setText(npsui, "22222222222");
    chunk->post();
    EXPECT_EQ(t.write(*chunk), (std::vector<bool>{true, true}));
    DbfTable check(file, "PDL.DBF", {});
    EXPECT_EQ(check.text(npsu), "11111111111");
    EXPECT_EQ(check.text(npsui), "22222222222");
}

TEST(DbfScan, ARecordHeldOrDeletedElsewhereFailsAlone) {
    TempDir dir;
    const fs::path file = makeTable(dir / "PDL.DBF", 10);
    EngineSettings quick;
    quick.lockWaitMilliseconds = 30;
    DbfTable ours(file, "PDL.DBF", quick), other(file, "PDL.DBF", quick);
    ours.load(true);
    std::unique_ptr<Table> chunk = ours.chunk(0, 10);
    changeRecords(*chunk, {2, 4, 5, 6});
    // Another program holds record 4 and has deleted record 6 since we read them.
    for (int i = 1; i < 4; ++i) other.next();
    other.edit();
    {
        File raw(file, File::Mode::ReadWrite);
        raw.writeAt(ours.header().headerLength + 5 * ours.header().recordLength, "*", 1);
    }
    const std::vector<bool> done = ours.write(*chunk);
    EXPECT_EQ(done, (std::vector<bool>{true, false, true, false}));
    EXPECT_NE(ours.writeFailure().find(test::w("запись 4")), std::string::npos) << test::u(ours.writeFailure());
    other.cancel();

    DbfTable check(file, "PDL.DBF", {});
    const FieldId npsu = check.fieldByName("NPSU"), npd = check.fieldByName("NPD");
    std::map<int, std::string> numbers;
    for (check.first(); !check.eof(); check.next()) numbers[check.integer(npd)] = check.text(npsu);
    EXPECT_EQ(numbers[2], "10000000002");
    EXPECT_EQ(numbers[4], "");
    EXPECT_EQ(numbers[5], "10000000005");
    EXPECT_EQ(numbers.count(6), 0u);  // still deleted, and not written
    const std::string bytes = readBytes(file);
    const std::size_t at6 = ours.header().headerLength + 5 * ours.header().recordLength;
    EXPECT_EQ(bytes.substr(at6 + 1 + 6 + 12, 11), std::string(11, ' '));
}

TEST(DbfScan, FieldsChangedElsewhereAfterOurReadAreKept) {
    // Record 2 is ours and record 3 lies between two of ours: another program changes a
    // field of each after our read; both changes survive the write.
    TempDir dir;
    const fs::path file = makeTable(dir / "PDL.DBF", 5);
    DbfTable ours(file, "PDL.DBF", {});
    ours.load(true);
    std::unique_ptr<Table> chunk = ours.chunk(0, 5);
    changeRecords(*chunk, {1, 2, 4});
    {
        File raw(file, File::Mode::ReadWrite);
        const std::size_t fm = ours.header().headerLength + 1 + 6, len = ours.header().recordLength;
        raw.writeAt(fm + len, "CHANGED", 7);
        raw.writeAt(fm + 2 * len, "ALSO", 4);
    }
    EXPECT_EQ(ours.write(*chunk), (std::vector<bool>{true, true, true}));
    DbfTable check(file, "PDL.DBF", {});
    const FieldId fm = check.fieldByName("FM"), npsu = check.fieldByName("NPSU");
    check.next();
    EXPECT_EQ(check.text(fm), "CHANGED");
    EXPECT_EQ(check.text(npsu), "10000000002");
    check.next();
    EXPECT_EQ(check.text(fm), "ALSO");
    EXPECT_EQ(check.text(npsu), "");
    check.next();
    EXPECT_EQ(check.text(npsu), "10000000004");
}

// Cut anywhere into chunks, a loaded file's chunks visit together exactly the records of
// one walk, deleted ones left out; the count is the file's.
TEST(DbfScan, ChunksVisitTheRecordsOfOneWalk) {
    TempDir dir;
    const fs::path file = dir / "PDL.DBF";
    {
        DbfWriter wr(file, kFields, 0x65);
        for (int i = 0; i < 101; ++i)  // deleted records around the middle slot (50)
            wr.append({std::to_string(i + 1), "F", "", ""},
                      i == 0 || i == 47 || i == 48 || i == 49 || i == 52 || i == 100);
        wr.finish();
    }
    DbfTable whole(file, "PDL.DBF", {});
    const std::vector<std::int32_t> one = visit(whole);
    ASSERT_EQ(one.size(), 95u);
    DbfTable loaded(file, "PDL.DBF", {});
    EXPECT_EQ(loaded.load(false), 95);
    EXPECT_EQ(loaded.recordCount(), 95);
    EXPECT_EQ(visit(loaded), one) << "the table's own walk goes over the loaded slots";
    const std::int64_t slots = loaded.loadedSlots();
    EXPECT_EQ(slots, 101);
    EXPECT_THROW(loaded.chunk(0, slots + 1), Error);
    for (std::int64_t at = 1; at < slots; ++at) {
        std::vector<std::int32_t> joined = visit(*loaded.chunk(0, at));
        const std::vector<std::int32_t> tail = visit(*loaded.chunk(at, slots));
        joined.insert(joined.end(), tail.begin(), tail.end());
        ASSERT_EQ(joined, one) << at;
    }
    for (std::int64_t a = 1; a < slots; a += 7)
        for (std::int64_t b = a + 1; b < slots; b += 5) {
            std::vector<std::int32_t> joined;
            for (const auto& [from, to] : {std::pair{std::int64_t{0}, a}, std::pair{a, b}, std::pair{b, slots}}) {
                const std::vector<std::int32_t> part = visit(*loaded.chunk(from, to));
                joined.insert(joined.end(), part.begin(), part.end());
            }
            ASSERT_EQ(joined, one) << a << " " << b;
        }
}

// An end marker ends the loaded slots; a file shorter than its header says is loaded as far
// as it goes.
TEST(DbfScan, AnEndMarkerOrAShortFileEndsTheLoadedSlots) {
    TempDir dir;
    const fs::path file = makeTable(dir / "PDL.DBF", 20);
    {
        File raw(file, File::Mode::ReadWrite);
        const DbfTable t(file, "PDL.DBF", {});
        raw.writeAt(t.header().headerLength + 4 * t.header().recordLength, "\x1a", 1);
    }
    DbfTable marked(file, "PDL.DBF", {});
    EXPECT_EQ(marked.load(false), 4);
    EXPECT_EQ(marked.loadedSlots(), 4);
    EXPECT_EQ(visit(*marked.chunk(0, 4)).size(), 4u);

    const fs::path shorter = makeTable(dir / "B.DBF", 20);
    const DbfTable t(shorter, "B.DBF", {});
    fs::resize_file(shorter, t.header().headerLength + 15 * t.header().recordLength + 3);
    DbfTable cut(shorter, "B.DBF", {});
    EXPECT_EQ(cut.load(false), 15);
}

}  // namespace
}  // namespace dbf_scan_test
}  // namespace strnum
