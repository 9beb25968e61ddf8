// Keyed Paradox tables written by the engine: creation, inserts in random order with
// repeated keys, the primary index kept consistent with the data blocks, and a writer
// killed in the middle of a run.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <set>

#include "base/error.h"
#include "batches/not_found_table.h"
#include "paradox/paradox_table.h"
#include "paradox/paradox_writer.h"
#include "support/paradox_index_check.h"
#include "support/test_support.h"

namespace strnum {
namespace {

using test::w;
namespace fs = std::filesystem;

std::vector<std::int32_t> readNums(const fs::path& db, bool headerCount = true) {
    ParadoxTable t(db, EngineSettings{});
    std::vector<std::int32_t> v;
    for (t.first(); !t.eof(); t.next()) v.push_back(t.integer(0));
    EXPECT_EQ(static_cast<std::size_t>(t.recordCount()), v.size());
    if (headerCount) {
        EXPECT_EQ(t.header().records, v.size()) << "header record count";
    }
    return v;
}

TEST(ParadoxWrite, RandomInsertsWithDuplicatesReadBackOnceInKeyOrder) {
    test::TempDir dir;
    std::mt19937 rng(7);
    std::set<std::int32_t> expected;
    {
        NotFoundTable t(dir.path());
        EXPECT_EQ(readNums(t.file()).size(), 0u);
        for (int i = 0; i < 6000; ++i) {
            const auto num = static_cast<std::int32_t>(rng() % 9000) + (i % 3 == 0 ? -4000 : 1000);
            const bool fresh = expected.insert(num).second;
            EXPECT_EQ(t.add(num, w("Иванов"), w("Иван"), w("Иванович"), Date::fromYmd(1950, 1, 2), w("М")), fresh);
        }
        EXPECT_EQ(t.records(), expected.size());
    }
    const fs::path db = dir / "ANKT.DB";
    EXPECT_EQ(readNums(db), std::vector<std::int32_t>(expected.begin(), expected.end()));
    test::expectIndexConsistent(db);

    ParadoxTable t(db, EngineSettings{});
    EXPECT_EQ(t.text(t.fieldByName("FAM")), w("Иванов"));
    EXPECT_EQ(t.text(t.fieldByName("COND")), "P");
    EXPECT_EQ(t.date(t.fieldByName("BIRTH")), Date::fromYmd(1950, 1, 2));
    EXPECT_TRUE(t.isEmpty(t.fieldByName("DATMOD")));
    EXPECT_EQ(t.header().versionNumber(), 50);
    EXPECT_TRUE(t.header().keyed());
}

TEST(ParadoxWrite, RisingKeysFillBlocksAndGrowTheIndexTree) {
    test::TempDir dir;
    {
        NotFoundTable t(dir.path());
        for (int i = 0; i < 30000; ++i) ASSERT_TRUE(t.add(i, "A", "B", "C", Date(), ""));
    }
    const std::string x = test::readBytes(dir / "ANKT.PX");
    EXPECT_GE(static_cast<int>(x[0x20]), 2) << "more entries than one index block holds";
    test::expectIndexConsistent(dir / "ANKT.DB");
    EXPECT_EQ(readNums(dir / "ANKT.DB").size(), 30000u);
}

TEST(ParadoxWrite, ExistingTableIsUsedAsItIsAndAMissingIndexIsRebuilt) {
    test::TempDir dir;
    {
        NotFoundTable t(dir.path());
        EXPECT_TRUE(t.add(5, "A", "", "", Date(), ""));
    }
    fs::remove(dir / "ANKT.PX");
    {
        NotFoundTable t(dir.path());
        EXPECT_FALSE(t.add(5, "B", "", "", Date(), ""));
        EXPECT_TRUE(t.add(3, "C", "", "", Date(), ""));
    }
    EXPECT_EQ(readNums(dir / "ANKT.DB"), (std::vector<std::int32_t>{3, 5}));
    test::expectIndexConsistent(dir / "ANKT.DB");
}

TEST(ParadoxWrite, LongNamesAreCutToTheLayout) {
    test::TempDir dir;
    {
        NotFoundTable t(dir.path());
        EXPECT_TRUE(t.add(1, std::string(30, 'F'), std::string(25, 'N'), std::string(25, 'O'), Date(), "MX"));
    }
    ParadoxTable t(dir / "ANKT.DB", EngineSettings{});
    EXPECT_EQ(t.text(t.fieldByName("FAM")), std::string(25, 'F'));
    EXPECT_EQ(t.text(t.fieldByName("NAM")), std::string(20, 'N'));
    EXPECT_EQ(t.text(t.fieldByName("SEX")), "M");
}

TEST(ParadoxWrite, TableInterfaceInsertRefusesARepeatedKey) {
    test::TempDir dir;
    createNotFoundTable(dir.path());
    auto t = openParadoxTable(dir / "ANKT.DB", EngineSettings{});
    const FieldId num = t->fieldByName("NUM"), fam = t->fieldByName("FAM");
    t->insert();
    t->setInteger(num, 42);
    t->setText(fam, w("Петров"));
    t->post();
    t->insert();
    t->setInteger(num, 42);
    EXPECT_THROW(t->post(), DuplicateKeyError);
    t->cancel();
    EXPECT_THROW(t->setText(fam, std::string(26, 'x')), Error);
    EXPECT_EQ(t->recordCount(), 1);
    t->first();
    EXPECT_EQ(t->text(fam), w("Петров"));
}

TEST(ParadoxWrite, BulkCreationSortsRowsAndRefusesRepeatedKeys) {
    test::TempDir dir;
    const std::vector<ParadoxFieldDef> fields{{"K", pxtype::Long, 0}, {"V", pxtype::Alpha, 3}};
    std::string rows;
    for (int k : {9, 2, 7, 1}) {
        std::string r(7, '\0');
        pxEncodeInt(r.data(), 4, k);
        r.replace(4, 1, "x");
        rows += r;
    }
    createParadoxTable(dir / "T.DB", fields, {}, rows);
    EXPECT_EQ(readNums(dir / "T.DB"), (std::vector<std::int32_t>{1, 2, 7, 9}));
    test::expectIndexConsistent(dir / "T.DB");

    EXPECT_THROW(createParadoxTable(dir / "T.DB", fields, {}, rows), Error) << "never over an existing table";
    EXPECT_EQ(readNums(dir / "T.DB").size(), 4u);
    rows += rows.substr(0, 7);
    EXPECT_THROW(createParadoxTable(dir / "U.DB", fields, {}, rows), DuplicateKeyError);
    EXPECT_FALSE(fs::exists(dir / "U.DB"));
    EXPECT_FALSE(fs::exists(dir / "U.PX"));
}

// Runs one after another, each adding numbers and writing them at its end, killed at some
// moment: the table opens with every record of the runs before, in key order, once each.
TEST(ParadoxWrite, AKilledRunLeavesEveryRecordOfTheRunsBefore) {
    test::TempDir dir;
    createNotFoundTable(dir.path());
    // The writer prints the numbers of each run once they are written.
    test::ChildProcess writer({test::editWorkerProgram(), "notfound", test::utf8(dir.path())});
    std::set<std::int32_t> written;
    while (written.size() < 6000) {
        const std::string line = writer.readLine();
        if (line.empty()) break;
        written.insert(std::stoi(line));
    }
    writer.kill();
    // Lines written before the kill; a line cut by it is no number written.
    const std::string rest = writer.readAll();
    for (std::size_t at = 0, nl; (nl = rest.find('\n', at)) != std::string::npos; at = nl + 1)
        written.insert(std::stoi(rest.substr(at, nl - at)));
    ASSERT_GE(written.size(), 6000u);

    const auto nums = readNums(dir / "ANKT.DB", false);
    EXPECT_TRUE(std::is_sorted(nums.begin(), nums.end()));
    const std::set<std::int32_t> present(nums.begin(), nums.end());
    EXPECT_EQ(present.size(), nums.size());
    for (auto p : written) EXPECT_TRUE(present.count(p)) << p;
    // Nothing of a run's writing is left beside the table, once it is opened again; and
    // whatever index the kill left is made anew.
    { NotFoundTable t(dir.path()); }
    test::expectIndexConsistent(dir / "ANKT.DB");
    EXPECT_EQ(readNums(dir / "ANKT.DB").size(), nums.size());
}

// After every run's writing the table's index fits its blocks.
TEST(ParadoxWrite, EveryWritingLeavesAnIndexThatFitsTheBlocks) {
    test::TempDir dir;
    std::mt19937 rng(5);
    std::set<std::int32_t> all;
    for (int run = 0; run < 5; ++run) {
        NotFoundTable t(dir.path());
        for (int k = 0; k < 700; ++k) {
            const auto n = static_cast<std::int32_t>(rng() % 50000);
            EXPECT_EQ(t.add(n, "F", "", "", Date(), ""), all.insert(n).second);
        }
        t.flush();
        test::expectIndexConsistent(dir / "ANKT.DB");
        EXPECT_EQ(readNums(dir / "ANKT.DB"), std::vector<std::int32_t>(all.begin(), all.end()));
        EXPECT_FALSE(fs::exists(dir / "ANKT.~new"));
    }
}

}  // namespace
}  // namespace strnum
