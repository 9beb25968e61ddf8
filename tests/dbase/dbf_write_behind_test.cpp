// Writing behind: kept posts reach the file exactly as posts written at once would, a
// record another program holds or has deleted fails alone, and nothing kept is lost when
// the table is closed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>

#include "dbase/dbf_create.h"
#include "dbase/dbf_table.h"
#include "support/test_support.h"

namespace strnum {
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
void changeRecords(Table& t, const std::vector<int>& which, bool flushEachFive) {
    const FieldId npd = t.fieldByName("NPD"), npsu = t.fieldByName("NPSU"), npsui = t.fieldByName("NPSUI");
    int posts = 0;
    for (t.first(); !t.eof(); t.next()) {
        const int n = t.integer(npd);
        if (std::find(which.begin(), which.end(), n) == which.end()) continue;
        t.edit();
        t.setText(npsu, std::to_string(10000000000LL + n));
        if (n % 3 == 0) t.setText(npsui, "22222222222");
        t.post();
        if (flushEachFive && ++posts % 5 == 0) {
            const std::vector<bool> done = t.flushWrites();
            EXPECT_EQ(std::count(done.begin(), done.end(), true), 5);
        }
    }
}

TEST(DbfWriteBehind, KeptPostsWriteTheSameBytesAsPostsAtOnce) {
    TempDir dir;
    const fs::path once = makeTable(dir / "A.DBF", 40), behind = makeTable(dir / "B.DBF", 40);
    const std::vector<int> which = {1, 2, 3, 7, 8, 20, 21, 22, 23, 40};
    {
        DbfTable t(once, "A.DBF", {});
        changeRecords(t, which, false);
    }
    {
        DbfTable t(behind, "B.DBF", {});
        ASSERT_TRUE(t.setWriteBehind(true));
        changeRecords(t, which, true);
        EXPECT_EQ(t.pendingWrites(), 0u);  // ten posts, flushed by fives
    }
    EXPECT_EQ(readBytes(once), readBytes(behind));

    // Kept posts are read back before they are written, and written when the table closes.
    const fs::path closed = makeTable(dir / "C.DBF", 40);
    {
        DbfTable t(closed, "C.DBF", {});
        t.setWriteBehind(true);
        changeRecords(t, which, false);
        EXPECT_EQ(t.pendingWrites(), which.size());
        t.first();  // writes what is kept, then walks the file as it now is
        EXPECT_EQ(t.pendingWrites(), 0u);
        EXPECT_EQ(t.text(t.fieldByName("NPSU")), "10000000001");
        changeRecords(t, {5}, false);
        EXPECT_EQ(t.pendingWrites(), 1u);
    }
    DbfTable check(closed, "C.DBF", {});
    for (int i = 1; i < 5; ++i) check.next();
    EXPECT_EQ(check.text(check.fieldByName("NPSU")), "10000000005");
}

TEST(DbfWriteBehind, TwoPostsOfOneRecordEachHaveTheirOutcome) {
    TempDir dir;
    const fs::path file = makeTable(dir / "PDL.DBF", 2);
    DbfTable t(file, "PDL.DBF", {});
    t.setWriteBehind(true);
    const FieldId npsu = t.fieldByName("NPSU"), npsui = t.fieldByName("NPSUI");
    t.edit();
    t.setText(npsu, "11111111111");
    t.post();
    t.edit();
    t.setText(npsui, "22222222222");
    t.post();
    EXPECT_EQ(t.pendingWrites(), 2u);
    EXPECT_EQ(t.flushWrites(), (std::vector<bool>{true, true}));
    DbfTable check(file, "PDL.DBF", {});
    EXPECT_EQ(check.text(npsu), "11111111111");
    EXPECT_EQ(check.text(npsui), "22222222222");
}

TEST(DbfWriteBehind, ARecordHeldOrDeletedElsewhereFailsAlone) {
    TempDir dir;
    const fs::path file = makeTable(dir / "PDL.DBF", 10);
    EngineSettings quick;
    quick.lockWaitMilliseconds = 30;
    DbfTable ours(file, "PDL.DBF", quick), other(file, "PDL.DBF", quick);
    ours.setWriteBehind(true);
    changeRecords(ours, {2, 4, 5, 6}, false);
    // Another program holds record 4 and has deleted record 6 since we read them.
    for (int i = 1; i < 4; ++i) other.next();
    other.edit();
    {
        File raw(file, File::Mode::ReadWrite);
        raw.writeAt(ours.header().headerLength + 5 * ours.header().recordLength, "*", 1);
    }
    const std::vector<bool> done = ours.flushWrites();
    EXPECT_EQ(done, (std::vector<bool>{true, false, true, false}));
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

TEST(DbfWriteBehind, FieldsChangedElsewhereAfterOurReadAreKept) {
    // Record 2 is ours and record 3 lies between two of ours: another program changes a
    // field of each after our read; both changes survive the flush.
    TempDir dir;
    const fs::path file = makeTable(dir / "PDL.DBF", 5);
    DbfTable ours(file, "PDL.DBF", {});
    ours.setWriteBehind(true);
    changeRecords(ours, {1, 2, 4}, false);
    {
        File raw(file, File::Mode::ReadWrite);
        const std::size_t fm = ours.header().headerLength + 1 + 6, len = ours.header().recordLength;
        raw.writeAt(fm + len, "CHANGED", 7);
        raw.writeAt(fm + 2 * len, "ALSO", 4);
    }
    EXPECT_EQ(ours.flushWrites(), (std::vector<bool>{true, true, true}));
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

// A walk split in two visits, between the two objects, exactly the records of one walk;
// the later object's kept posts are written by it or forgotten by it alone.
TEST(DbfSplitWalk, TheTwoHalvesVisitTheRecordsOfOneWalk) {
    TempDir dir;
    const fs::path file = dir / "PDL.DBF";
    {
        DbfWriter wr(file, kFields, 0x65);
        for (int i = 0; i < 101; ++i)  // deleted records around the middle slot (50)
            wr.append({std::to_string(i + 1), "F", "", ""},
                      i == 0 || i == 47 || i == 48 || i == 49 || i == 52 || i == 100);
        wr.finish();
    }
    const auto visit = [](Table& t) {
        std::vector<std::int32_t> seen;
        const FieldId npd = t.fieldByName("NPD");
        for (t.first(); !t.eof(); t.next()) seen.push_back(t.integer(npd));
        return seen;
    };
    DbfTable whole(file, "PDL.DBF", {});
    const std::vector<std::int32_t> one = visit(whole);
    ASSERT_EQ(one.size(), 95u);
    const std::int64_t slots = whole.walkSlots()->second;
    EXPECT_EQ(whole.walkSlots()->first, 0);
    EXPECT_EQ(whole.splitWalkAt(0), nullptr) << "no slot before the split";
    EXPECT_EQ(whole.splitWalkAt(slots), nullptr) << "no slot after the split";

    DbfTable earlier(file, "PDL.DBF", {});
    std::unique_ptr<Table> later = earlier.splitWalkAt(slots / 2);
    ASSERT_NE(later, nullptr);
    EXPECT_EQ(later->walkSlots(), std::make_pair(slots / 2, slots));
    std::vector<std::int32_t> both = visit(earlier);
    EXPECT_TRUE(earlier.walkReachedSplit());
    EXPECT_EQ(both.back(), 47);
    const std::vector<std::int32_t> rest = visit(*later);
    EXPECT_EQ(rest.front(), 51);
    both.insert(both.end(), rest.begin(), rest.end());
    EXPECT_EQ(both, one);
    EXPECT_EQ(earlier.recordCount(), 95) << "the count is the file's, not the part's";

    // Split at every slot, and in three parts at every pair of slots, the parts still make
    // one walk.
    for (std::int64_t at = 1; at < slots; ++at) {
        DbfTable first(file, "PDL.DBF", {});
        std::unique_ptr<Table> second = first.splitWalkAt(at);
        ASSERT_NE(second, nullptr) << at;
        std::vector<std::int32_t> joined = visit(first);
        ASSERT_TRUE(first.walkReachedSplit()) << at;
        const std::vector<std::int32_t> tail = visit(*second);
        joined.insert(joined.end(), tail.begin(), tail.end());
        ASSERT_EQ(joined, one) << at;
    }
    for (std::int64_t a = 1; a < slots; a += 7)
        for (std::int64_t b = a + 1; b < slots; b += 5) {
            DbfTable first(file, "PDL.DBF", {});
            std::unique_ptr<Table> second = first.splitWalkAt(a);
            ASSERT_NE(second, nullptr);
            EXPECT_EQ(second->splitWalkAt(a), nullptr) << "outside the part";
            std::unique_ptr<Table> third = second->splitWalkAt(b);
            ASSERT_NE(third, nullptr) << a << " " << b;
            std::vector<std::int32_t> joined = visit(first);
            for (Table* t : {second.get(), third.get()}) {
                const std::vector<std::int32_t> part = visit(*t);
                joined.insert(joined.end(), part.begin(), part.end());
            }
            ASSERT_EQ(joined, one) << a << " " << b;
            const auto c1 = first.recordCountOfPart(), c2 = second->recordCountOfPart(),
                       c3 = third->recordCountOfPart();
            ASSERT_TRUE(c1 && c2 && c3);
            EXPECT_EQ(*c1 + *c2 + *c3, 95);
        }

    // Posts through the later object; forgotten ones leave no trace.
    const std::string before = readBytes(file);
    ASSERT_TRUE(later->setWriteBehind(true));
    changeRecords(*later, {60, 70}, false);
    later->discardWrites();
    later.reset();
    EXPECT_EQ(readBytes(file), before);
    later = DbfTable(file, "PDL.DBF", {}).splitWalkAt(50);
    ASSERT_TRUE(later->setWriteBehind(true));
    changeRecords(*later, {60, 70}, false);
    EXPECT_EQ(later->flushWrites(), (std::vector<bool>{true, true}));
    DbfTable check(file, "PDL.DBF", {});
    const FieldId npd = check.fieldByName("NPD"), npsu = check.fieldByName("NPSU");
    for (check.first(); !check.eof(); check.next()) {
        const int n = check.integer(npd);
        EXPECT_EQ(check.text(npsu), n == 60 || n == 70 ? std::to_string(10000000000LL + n) : "") << n;
    }
}

// An end marker in the earlier half ends one walk there: the earlier object says so, and
// the later object's records are not part of the walk.
TEST(DbfSplitWalk, AnEndMarkerBeforeTheMiddleEndsTheWalk) {
    TempDir dir;
    const fs::path file = makeTable(dir / "PDL.DBF", 20);
    {
        File raw(file, File::Mode::ReadWrite);
        const DbfTable t(file, "PDL.DBF", {});
        raw.writeAt(t.header().headerLength + 4 * t.header().recordLength, "\x1a", 1);
    }
    DbfTable earlier(file, "PDL.DBF", {});
    std::unique_ptr<Table> later = earlier.splitWalkAt(10);
    ASSERT_NE(later, nullptr);
    int seen = 0;
    for (earlier.first(); !earlier.eof(); earlier.next()) ++seen;
    EXPECT_EQ(seen, 4);
    EXPECT_FALSE(earlier.walkReachedSplit());
    // Counted by halves, the earlier half cannot say how many: the whole count decides.
    EXPECT_EQ(earlier.recordCountOfPart(), std::nullopt);
    EXPECT_EQ(later->recordCountOfPart(), 10);
    EXPECT_EQ(earlier.recordCount(), 4);
}

// Counted by halves, the two counts make the whole file's, deleted records left out; a file
// that got shorter since the split is counted whole.
TEST(DbfSplitWalk, TheHalvesCountTheRecordsOfTheFile) {
    TempDir dir;
    const fs::path file = makeTable(dir / "PDL.DBF", 20);
    {
        File raw(file, File::Mode::ReadWrite);
        const DbfTable t(file, "PDL.DBF", {});
        for (const int k : {3, 12, 19}) raw.writeAt(t.header().headerLength + k * t.header().recordLength, "*", 1);
    }
    DbfTable earlier(file, "PDL.DBF", {});
    EXPECT_EQ(earlier.recordCountOfPart(), std::nullopt) << "not split";
    std::unique_ptr<Table> later = earlier.splitWalkAt(6);
    ASSERT_NE(later, nullptr);
    const auto a = earlier.recordCountOfPart(), b = later->recordCountOfPart();
    ASSERT_TRUE(a && b);
    EXPECT_EQ(*a, 5);
    EXPECT_EQ(*a + *b, 17);
    EXPECT_EQ(earlier.recordCount(), 17);
    fs::resize_file(file, earlier.header().headerLength + 15 * earlier.header().recordLength);
    EXPECT_EQ(later->recordCountOfPart(), std::nullopt) << "the file got shorter";
    EXPECT_EQ(DbfTable(file, "PDL.DBF", {}).recordCount(), 13);
}

}  // namespace
}  // namespace strnum
