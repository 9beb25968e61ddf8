// The near-match index as a caller uses it: over a real Paradox number directory and over
// other tables, what a hint carries, entries the same person twice, results that do not
// depend on threads, and input that must not break it.
#include "hints/near_match_index.h"

#include <gtest/gtest.h>

#include "base/error.h"
#include "base/text.h"
#include "data/table_open.h"
#include "paradox/paradox_format.h"
#include "paradox/paradox_writer.h"
#include "support/memory_directory.h"
#include "support/test_support.h"
#include "tests/hints/hint_population.h"

namespace strnum {
namespace near_match_index_test {  // names of its own: the Windows build compiles test files together
namespace {

using test::w;

Date ymd(int y, int m, int d) { return Date::fromYmd(y, m, d); }

// Five people to look for, then 3,000 others, so that names are as common as in a real
// directory and not each one in five.
std::vector<DirectoryPerson> directoryPeople() {
    std::vector<DirectoryPerson> people = {
        {101, w("ФЁДОРОВ"), w("ПЁТР"), w("СЕМЁНОВИЧ"), ymd(1950, 2, 1)},
        {102, w("ГРИГОРЬЕВА-ВОЛКОНСКАЯ"), w("ЕКАТЕРИНА"), w("АЛЕКСАНДРОВНА"), ymd(1961, 11, 5)},
        {103, w("ЛЕБЕДЕВ"), w("ВЛАДИМИР"), w("ИГОРЕВИЧ"), ymd(1977, 7, 30)},
        {104, w("КУЗНЕЦОВА"), w("ЛЮДМИЛА"), w("ПАВЛОВНА"), ymd(1949, 3, 12)},
        {105, w("ЗАХАРОВ"), w("НИКОЛАЙ"), w("ПЕТРОВИЧ"), Date()},
    };
    test::hints::PeopleMaker maker(11);
    for (int i = 0; i < 3000; ++i) {
        const test::hints::Person p = maker.person();
        people.push_back({1000 + i, p.fam.substr(0, 25), p.nam, p.otch, p.birth});
    }
    return people;
}

// NUMS.DB as the directory has it: code page 866, FAM 25, NAM and OTCH 20.
void writeNums(const test::TempDir& dir, const std::vector<DirectoryPerson>& people) {
    const std::vector<ParadoxFieldDef> fields = {{"NUM", pxtype::Long, 0},   {"FAM", pxtype::Alpha, 25},
                                                 {"NAM", pxtype::Alpha, 20}, {"OTCH", pxtype::Alpha, 20},
                                                 {"BIRTH", pxtype::Date, 0}, {"COND", pxtype::Alpha, 1}};
    constexpr int kSize = 4 + 25 + 20 + 20 + 4 + 1;
    std::string records(people.size() * kSize, '\0');
    for (std::size_t i = 0; i < people.size(); ++i) {
        char* r = records.data() + i * kSize;
        pxEncodeInt(r, 4, people[i].num);
        ASSERT_TRUE(pxEncodeAlpha(r + 4, 25, people[i].fam, CodePage::Cp866));
        ASSERT_TRUE(pxEncodeAlpha(r + 29, 20, people[i].nam, CodePage::Cp866));
        ASSERT_TRUE(pxEncodeAlpha(r + 49, 20, people[i].otch, CodePage::Cp866));
        if (!people[i].birth.empty()) pxEncodeInt(r + 69, 4, people[i].birth.serial());
        r[73] = 'A';
    }
    createParadoxTable(dir / "NUMS.DB", fields, {}, records);
}

std::vector<Hint> find(const NearMatchIndex& index, const char* fam, const char* nam, const char* otch, Date birth) {
    return index.find(w(fam), w(nam), w(otch), birth);
}

TEST(NearMatchIndex, ReadsAParadoxDirectoryAndTellsWhatDiffers) {
    test::TempDir dir;
    const auto people = directoryPeople();
    writeNums(dir, people);
    auto table = openTable(dir.path(), "NUMS", TableType::Default, {});
    const NearMatchIndex index(*table, 2);
    table.reset();  // the index keeps what it read
    ASSERT_EQ(index.size(), people.size());

    // Ё written as Е: the spelling alone, "точно".
    auto hints = find(index, "ФЕДОРОВ", "ПЕТР", "СЕМЕНОВИЧ", ymd(1950, 2, 1));
    ASSERT_EQ(hints.size(), 1u);
    EXPECT_EQ(hints[0].num, 101);
    EXPECT_EQ(hints[0].entry, 0u);
    EXPECT_EQ(hints[0].differs, kDiffersSurname | kDiffersName | kDiffersPatronymic);
    EXPECT_EQ(hints[0].kinds, kHintSpelling);
    EXPECT_EQ(hints[0].confidence, HintConfidence::Certain);
    EXPECT_EQ(confidenceText(hints[0].confidence), w("точно"));
    EXPECT_GT(hints[0].score, 0.99);
    EXPECT_LE(hints[0].score, 1.0);

    // One part of the double surname.  Е for Ё and a birth-date digit: two kinds, "возможно".
    hints = find(index, "ВОЛКОНСКАЯ", "ЕКАТЕРИНА", "АЛЕКСАНДРОВНА", ymd(1961, 11, 5));
    ASSERT_EQ(hints.size(), 1u);
    EXPECT_EQ(hints[0].num, 102);
    EXPECT_EQ(hints[0].differs, kDiffersSurname);
    EXPECT_EQ(hints[0].kinds, kHintDoubleSurname);
    hints = find(index, "ФЕДОРОВ", "ПЁТР", "СЕМЁНОВИЧ", ymd(1951, 2, 1));
    ASSERT_EQ(hints.size(), 1u);
    EXPECT_EQ(hints[0].differs, kDiffersSurname | kDiffersBirth);
    EXPECT_EQ(hints[0].kinds, kHintSpelling | kHintBirthDigit);
    EXPECT_EQ(hints[0].confidence, HintConfidence::Possible);

    // Name and patronymic exchanged; the directory's date missing.
    hints = find(index, "ЛЕБЕДЕВ", "ИГОРЕВИЧ", "ВЛАДИМИР", ymd(1977, 7, 30));
    ASSERT_EQ(hints.size(), 1u);
    EXPECT_EQ(hints[0].num, 103);
    EXPECT_EQ(hints[0].kinds, kHintSwapped);
    EXPECT_EQ(hints[0].differs, kDiffersName | kDiffersPatronymic);
    hints = find(index, "ЗАХАРОВ", "НИКОЛАЙ", "ПЕТРОВИЧ", ymd(1940, 1, 1));
    ASSERT_EQ(hints.size(), 1u);
    EXPECT_EQ(hints[0].num, 105);
    EXPECT_EQ(hints[0].kinds, kHintBirthMissing);
    EXPECT_EQ(hints[0].differs, kDiffersBirth);
    EXPECT_EQ(hints[0].confidence, HintConfidence::Possible);  // a missing value is never "точно"

    // The entry as the index reads it, texts in 1251.
    const DirectoryPerson e = index.entry(3);
    EXPECT_EQ(e.num, 104);
    EXPECT_EQ(e.fam, w("КУЗНЕЦОВА"));
    EXPECT_EQ(e.birth, ymd(1949, 3, 12));

    // Nobody like it: nothing.
    EXPECT_TRUE(find(index, "ПАНКРАТОВ", "ГЕННАДИЙ", "ЮРЬЕВИЧ", ymd(1988, 8, 8)).empty());
}

TEST(NearMatchIndex, ReadsOtherTablesThroughAReadingCursor) {
    std::vector<test::DirectoryEntry> entries;
    for (const DirectoryPerson& p : directoryPeople()) entries.push_back({p.num, p.fam, p.nam, p.otch, p.birth});
    test::MemoryDirectory directory(entries);
    EXPECT_THROW(NearMatchIndex(directory, 1), Error) << "a table without cursors of its own";
    directory.givesCursors = true;
    const NearMatchIndex index(directory, 1);
    const auto hints = find(index, "КУЗНЕЦОВА", "ЛЮДМИЛА", "ПАВЛОВНА", ymd(1949, 12, 3));
    ASSERT_EQ(hints.size(), 1u);
    EXPECT_EQ(hints[0].num, 104);
    EXPECT_EQ(hints[0].kinds, kHintBirthDayMonth);
}

TEST(NearMatchIndex, RefusesATableThatIsNoNumberDirectory) {
    test::TempDir dir;
    const std::vector<ParadoxFieldDef> noBirth = {
        {"NUM", pxtype::Long, 0}, {"FAM", pxtype::Alpha, 25}, {"NAM", pxtype::Alpha, 20}, {"OTCH", pxtype::Alpha, 20}};
    createParadoxTable(dir / "NUMS.DB", noBirth, {}, {});
    auto table = openTable(dir.path(), "NUMS", TableType::Default, {});
    try {
        const NearMatchIndex index(*table, 1);
        FAIL() << "a directory without BIRTH";
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::NotFound);
        EXPECT_NE(std::string(e.text()).find("BIRTH"), std::string::npos) << e.utf8();
    }
    test::TempDir dir2;
    const std::vector<ParadoxFieldDef> textBirth = {{"NUM", pxtype::Long, 0},
                                                    {"FAM", pxtype::Alpha, 25},
                                                    {"NAM", pxtype::Alpha, 20},
                                                    {"OTCH", pxtype::Alpha, 20},
                                                    {"BIRTH", pxtype::Alpha, 10}};
    createParadoxTable(dir2 / "NUMS.DB", textBirth, {}, {});
    table = openTable(dir2.path(), "NUMS", TableType::Default, {});
    try {
        const NearMatchIndex index(*table, 1);
        FAIL() << "BIRTH that is no date";
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::Unsupported);
    }
}

TEST(NearMatchIndex, TheSamePersonEnteredTwiceIsOfferedTwiceAndNeverCertain) {
    std::vector<DirectoryPerson> people = {
        {1, w("ТИХОМИРОВА"), w("ЗИНАИДА"), w("ФЁДОРОВНА"), ymd(1931, 4, 17)},
        {2, w("ТИХОМИРОВА"), w("ЗИНАИДА"), w("ФЁДОРОВНА"), ymd(1931, 4, 17)},
    };
    for (DirectoryPerson& p : directoryPeople()) people.push_back(std::move(p));
    const NearMatchIndex index(std::move(people));
    const auto hints = find(index, "ТИХОМИРВОА", "ЗИНАИДА", "ФЁДОРОВНА", ymd(1931, 4, 17));
    ASSERT_EQ(hints.size(), 2u);
    EXPECT_EQ(hints[0].num, 1);  // equal scores: in stored order
    EXPECT_EQ(hints[1].num, 2);
    EXPECT_DOUBLE_EQ(hints[0].score, hints[1].score);
    EXPECT_EQ(hints[0].confidence, HintConfidence::Possible);
}

TEST(NearMatchIndex, EmptyDirectoryAndInputThatIsNoName) {
    const NearMatchIndex empty(std::vector<DirectoryPerson>{});
    EXPECT_EQ(empty.size(), 0u);
    EXPECT_TRUE(empty.find(w("ИВАНОВ"), w("ИВАН"), w("ИВАНОВИЧ"), ymd(1950, 1, 1)).empty());

    std::vector<DirectoryPerson> people = {
        {1, "", "", "", Date()},
        {2, std::string(300, '\xFF'), std::string("\x01\x02\x03", 3), "---", Date::fromYmd(1, 1, 1)},
        {3, w("ИВАНОВ"), w("ИВАН"), w("ИВАНОВИЧ"), Date::fromYmd(9999, 12, 31)},
        {4, w("ИВАНОВ"), w("ИВАН"), w("ИВАНОВИЧ"), Date::fromSerial(-5)},  // no date at all
    };
    const NearMatchIndex index(std::move(people));
    // None of these may crash or read past anything; what they find is what they find.
    for (const Date d : {Date(), Date::fromYmd(1, 1, 1), Date::fromYmd(9999, 12, 31), Date::fromYmd(1950, 1, 1)}) {
        index.find("", "", "", d);
        index.find(std::string(400, '\xFF'), std::string(1, '\0'), "...", d);
        index.find(w("ИВАНОВ"), w("ИВАН"), w("ИВАНОВИЧ"), d);
        index.find(w("ИВАНОВ"), w("ИВАНОВИЧ"), w("ИВАН"), d);
    }
    // The last day a date can be, spelt otherwise.
    const auto hints = index.find(w("иванов"), w("ИВАН"), w("ИВАНОВИЧ"), Date::fromYmd(9999, 12, 31));
    ASSERT_FALSE(hints.empty());
    EXPECT_EQ(hints[0].num, 3);
    EXPECT_EQ(hints[0].kinds, kHintSpelling);
}

TEST(NearMatchIndex, ResultsDoNotDependOnThreads) {
    // Enough entries for the index to be built on several threads.
    test::hints::PeopleMaker maker(5);
    std::vector<DirectoryPerson> people;
    for (int i = 0; i < 120000; ++i) {
        const test::hints::Person p = maker.person();
        people.push_back({i + 1, p.fam, p.nam, p.otch, p.birth});
    }
    std::vector<PersonToFind> queries;
    for (int i = 0; i < 600; ++i) {
        const DirectoryPerson& e = people[static_cast<std::size_t>(maker.pick(120000))];
        PersonToFind q{e.fam, e.nam, e.otch, e.birth};
        switch (i % 4) {
            case 0:
                test::hints::slip(q.surname, maker);
                break;
            case 1:
                q.birth = Date();
                break;
            case 2:
                std::swap(q.name, q.patronymic);
                break;
            default:
                q = {maker.person().fam, e.nam, e.otch, maker.birth()};
        }
        queries.push_back(q);
    }
    const NearMatchIndex one(people, 1), three(people, 3);
    const auto a = one.findAll(queries, 1);
    const auto b = three.findAll(queries, 2);
    ASSERT_EQ(a.size(), queries.size());
    std::size_t offered = 0;
    for (std::size_t i = 0; i < queries.size(); ++i) {
        const auto single = one.find(queries[i].surname, queries[i].name, queries[i].patronymic, queries[i].birth);
        ASSERT_EQ(a[i].size(), b[i].size()) << i;
        ASSERT_EQ(a[i].size(), single.size()) << i;
        for (std::size_t k = 0; k < a[i].size(); ++k) {
            EXPECT_EQ(a[i][k].entry, b[i][k].entry);
            EXPECT_EQ(a[i][k].entry, single[k].entry);
            EXPECT_EQ(a[i][k].score, b[i][k].score);
            EXPECT_EQ(a[i][k].kinds, b[i][k].kinds);
        }
        offered += !a[i].empty();
    }
    EXPECT_GT(offered, queries.size() / 2);  // the comparison compared something
}

}  // namespace
}  // namespace near_match_index_test
}  // namespace strnum
