// The number directory's two orders over a directory written by the engine: find by
// number, find by person standing on the first of a group in ascending NUM, the twin
// scan, and the grouped order that large directories use.
#include "data/number_directory.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <thread>

#include "base/error.h"
#include "paradox/paradox_order.h"
#include "paradox/paradox_writer.h"
#include "support/test_support.h"

namespace strnum {
namespace number_directory_test {  // names of its own: the Windows build compiles test files together
namespace {

using test::w;

struct Entry {
    std::int32_t num;
    const char* fam;
    const char* nam;
    const char* otch;
    int year;
};

std::filesystem::path writeNums(const test::TempDir& dir, bool withCond = true) {
    std::vector<ParadoxFieldDef> f{{"NUM", pxtype::Long, 0},
                                   {"FAM", pxtype::Alpha, 25},
                                   {"NAM", pxtype::Alpha, 20},
                                   {"OTCH", pxtype::Alpha, 20},
                                   {"BIRTH", pxtype::Date, 0}};
    if (withCond) f.push_back({"COND", pxtype::Alpha, 1});
    const int rs = 4 + 25 + 20 + 20 + 4 + (withCond ? 1 : 0);
    const Entry entries[] = {{500, "Иванов", "Иван", "Иванович", 1950}, {100, "Петров", "Пётр", "", 1960},
                             {300, "Иванов", "Иван", "Иванович", 1950}, {200, "Иванов", "Иван", "Иванович", 1951},
                             {400, "Иванов", "Иван", "Иванович", 1950}, {600, "Иванов ", "Иван", "Иванович", 0}};
    std::string rows;
    for (const auto& e : entries) {
        std::string r(static_cast<std::size_t>(rs), '\0');
        pxEncodeInt(r.data(), 4, e.num);
        pxEncodeAlpha(r.data() + 4, 25, w(e.fam), CodePage::Cp866);
        pxEncodeAlpha(r.data() + 29, 20, w(e.nam), CodePage::Cp866);
        pxEncodeAlpha(r.data() + 49, 20, w(e.otch), CodePage::Cp866);
        if (e.year) pxEncodeInt(r.data() + 69, 4, Date::fromYmd(e.year, 3, 1).serial());
        if (withCond) r[73] = 'A';
        rows += r;
    }
    createParadoxTable(dir / "NUMS.DB", f, {}, rows);
    return dir / "NUMS.DB";
}

TEST(NumberDirectory, FindsByNumberAndByPersonWithTwinsInNumberOrder) {
    test::TempDir dir;
    NumberDirectory nums(writeNums(dir), EngineSettings{});
    auto& t = nums.table();
    ASSERT_TRUE(nums.findNumber(300));
    EXPECT_EQ(t.text(t.fieldByName("FAM")), w("Иванов"));
    EXPECT_FALSE(nums.findNumber(301));

    ASSERT_TRUE(nums.findPerson(w("Иванов"), w("Иван"), w("Иванович"), Date::fromYmd(1950, 3, 1)));
    std::vector<int> twins;
    const FieldId num = t.fieldByName("NUM"), birth = t.fieldByName("BIRTH");
    for (; !t.eof() && t.date(birth) == Date::fromYmd(1950, 3, 1) && t.text(t.fieldByName("FAM")) == w("Иванов");
         t.next())
        twins.push_back(t.integer(num));
    EXPECT_EQ(twins, (std::vector<int>{300, 400, 500}));
    EXPECT_FALSE(nums.findPerson(w("иванов"), w("Иван"), w("Иванович"), Date::fromYmd(1950, 3, 1))) << "case counts";
    // Trailing blanks are not part of a text; an empty date equals only an empty date.
    ASSERT_TRUE(nums.findPerson(w("Иванов"), w("Иван"), w("Иванович"), Date()));
    EXPECT_EQ(t.integer(num), 600);
    EXPECT_EQ(t.text(t.fieldByName("COND")), "A");
}

// Texts are compared as they are searched for: a name cut to 25 characters in the middle of
// its blanks ends in blanks, which no stored name does (they read without them), so it
// finds no one, in the small table's sorted order and in the large tables' grouped order,
// searched plainly or after a hint; so does a text with a NUL in it.
TEST(NumberDirectory, ATextEndingInBlanksOrHoldingANulFindsNoOne) {
    test::TempDir dir;
    ParadoxTable t(writeNums(dir), EngineSettings{});
    t.setIndexFieldNames("FAM;NAM;OTCH;BIRTH");
    const Date born = Date::fromYmd(1960, 3, 1);
    const std::array<KeyValue, 4> found{w("Петров"), w("Пётр"), std::string(), born};
    const std::array<KeyValue, 4> cut{w("Петров") + std::string(19, ' '), w("Пётр"), std::string(), born};
    const std::array<KeyValue, 4> blank{w("Петров "), w("Пётр"), std::string(), born};
    const std::array<KeyValue, 4> nul{w("Петров") + std::string(1, '\0') + "X", w("Пётр"), std::string(), born};
    EXPECT_TRUE(t.findKey(found));
    for (const auto* key : {&cut, &blank, &nul}) {
        EXPECT_FALSE(t.findKey(*key));
        EXPECT_FALSE(t.find(*key, t.prefetch(*key)));
    }
    const auto primary = buildParadoxOrder(t.header(), t.records(), {0}, nullptr, "NUMS");
    const auto grouped = buildParadoxOrder(t.header(), t.records(), {1, 2, 3, 4}, primary.get(), "NUMS", 0);
    ParadoxOrder::Hints hints;
    EXPECT_TRUE(grouped->find(found));
    for (const auto* key : {&cut, &blank, &nul}) {
        EXPECT_FALSE(grouped->find(*key));
        EXPECT_FALSE(grouped->findHinted(*key, hints, grouped->prefetch(*key, hints)));
    }
}

// A cursor searches and walks on its own, refuses to write, and keeps the records
// it was made over when the table reads its file again.
TEST(NumberDirectory, AReadingCursorSearchesOnItsOwnAndOutlivesARead) {
    test::TempDir dir;
    ParadoxTable t(writeNums(dir), EngineSettings{});
    t.setIndexFieldNames("FAM;NAM;OTCH;BIRTH");
    std::unique_ptr<Table> c = t.cursor();
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->indexFieldNames(), "FAM;NAM;OTCH;BIRTH");
    const FieldId num = t.fieldByName("NUM");
    const std::array<KeyValue, 4> ivanov{w("Иванов"), w("Иван"), w("Иванович"), Date::fromYmd(1950, 3, 1)};
    const std::array<KeyValue, 4> petrov{w("Петров"), w("Пётр"), std::string(), Date::fromYmd(1960, 3, 1)};
    ASSERT_TRUE(c->findKey(ivanov));
    ASSERT_TRUE(t.findKey(petrov));
    EXPECT_EQ(c->integer(num), 300);
    c->next();
    EXPECT_EQ(c->integer(num), 400);
    EXPECT_EQ(t.integer(num), 100);
    EXPECT_THROW(c->insert(), Error);

    t.insert();
    t.setInteger(num, 700);
    t.setText(t.fieldByName("FAM"), w("Сидоров"));
    t.post();
    EXPECT_EQ(t.recordCount(), 7);
    EXPECT_EQ(c->recordCount(), 6);
    ASSERT_TRUE(c->findKey(ivanov));
    EXPECT_EQ(c->integer(num), 300);
    EXPECT_EQ(t.cursor()->recordCount(), 7);
}

TEST(NumberDirectory, MissingFieldsFailWhereTheyAreNeeded) {
    test::TempDir dir;
    NumberDirectory nums(writeNums(dir, false), EngineSettings{});
    ASSERT_TRUE(nums.findNumber(100));
    EXPECT_THROW(nums.table().fieldByName("COND"), Error);
}

TEST(NumberDirectory, GroupedOrderKeepsGroupsTogetherInPrimaryOrder) {
    test::TempDir dir;
    ParadoxTable t(writeNums(dir), EngineSettings{});
    t.setIndexFieldNames("");
    std::vector<int> fields{1, 2, 3, 4};
    auto primary = buildParadoxOrder(t.header(), t.records(), {0}, nullptr, "NUMS");
    auto grouped = buildParadoxOrder(t.header(), t.records(), fields, primary.get(), "NUMS", 0);
    const std::array<KeyValue, 4> key{w("Иванов"), w("Иван"), w("Иванович"), Date::fromYmd(1950, 3, 1)};
    const auto pos = grouped->find(key);
    ASSERT_TRUE(pos);
    std::vector<std::int32_t> group;
    for (std::size_t p = *pos; p < grouped->size() && p < *pos + 3; ++p)
        group.push_back(static_cast<std::int32_t>(*pxDecodeInt(t.records().record(grouped->stored(p)), 4)));
    EXPECT_EQ(group, (std::vector<std::int32_t>{300, 400, 500}));
    const std::array<KeyValue, 4> none{w("Сидоров"), w("Иван"), w("Иванович"), Date()};
    EXPECT_FALSE(grouped->find(none));
}

// A directory large enough for the grouped order's bucketed build and the reader's two
// threads: numbers in stored order or out of it, texts padded in the ways Paradox files hold them
// (NULs, trailing blanks, bytes left after the NUL), empty and impossible dates.  Every
// person must come out as one run in ascending NUM, and be found at the start of it.
void checkLargeGroupedOrder(bool numbersInStoredOrder) {
    test::TempDir dir;
    const std::vector<ParadoxFieldDef> f{{"NUM", pxtype::Long, 0},   {"FAM", pxtype::Alpha, 25},
                                         {"NAM", pxtype::Alpha, 20}, {"OTCH", pxtype::Alpha, 20},
                                         {"BIRTH", pxtype::Date, 0}, {"COND", pxtype::Alpha, 1}};
    const std::size_t n = 120000, rs = 74;
    std::string rows(n * rs, '\0');
    std::uint32_t seed = 12345;
    const auto rnd = [&] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 8;
    };
    const auto put = [&](char* p, int size, const std::string& text) {
        ASSERT_TRUE(pxEncodeAlpha(p, size, text, CodePage::Cp866));
        const auto len = static_cast<int>(text.size());
        switch (rnd() % 4) {
            case 1:
                if (len < size) p[len] = ' ';
                break;  // a trailing blank
            case 2:
                if (len + 2 < size) p[len + 1] = 'Z';
                break;  // a byte after the NUL
            case 3:
                for (int k = len; k < size; ++k) p[k] = ' ';
                break;  // blank-padded
            default:
                break;
        }
    };
    for (std::size_t i = 0; i < n; ++i) {
        char* r = rows.data() + i * rs;
        pxEncodeInt(r, 4, static_cast<std::int64_t>(1000 + (i * 7919) % n));
        put(r + 4, 25, "FAM" + std::to_string(rnd() % 60) + (rnd() % 9 == 0 ? "ABCDEFGHIJKLMNOPQRS" : ""));
        put(r + 29, 20, "N" + std::to_string(rnd() % 3));
        put(r + 49, 20, rnd() % 5 == 0 ? std::string() : "O" + std::to_string(rnd() % 3));
        switch (rnd() % 5) {
            case 0:
                break;  // empty
            case 1:
                pxEncodeInt(r + 69, 4, 4000000);
                break;  // not a date: as empty
            default:
                pxEncodeInt(r + 69, 4, Date::fromYmd(1950 + static_cast<int>(rnd() % 3), 1, 1).serial());
        }
        r[73] = 'A';
    }
    if (::testing::Test::HasFatalFailure()) return;
    createParadoxTable(dir / "NUMS.DB", f, {}, rows);
    if (!numbersInStoredOrder) {
        // The full blocks' records in reverse: the chain no longer runs in key order.
        const ParadoxHeader h = readParadoxHeader(dir / "NUMS.DB", "NUMS", CodePage::Cp866);
        const auto bs = static_cast<std::size_t>(h.blockSize), full = n / ((bs - 6) / rs);
        std::fstream file(dir / "NUMS.DB", std::ios::in | std::ios::out | std::ios::binary);
        std::string a((bs - 6) / rs * rs, '\0'), b(a);
        for (std::size_t k = 0; k < full / 2; ++k) {
            const auto at = [&](std::size_t block) {
                return static_cast<std::streamoff>(static_cast<std::size_t>(h.headerSize) + block * bs + 6);
            };
            file.seekg(at(k)).read(a.data(), static_cast<std::streamsize>(a.size()));
            file.seekg(at(full - 1 - k)).read(b.data(), static_cast<std::streamsize>(b.size()));
            file.seekp(at(k)).write(b.data(), static_cast<std::streamsize>(b.size()));
            file.seekp(at(full - 1 - k)).write(a.data(), static_cast<std::streamsize>(a.size()));
        }
        ASSERT_TRUE(file.flush());
    }

    ParadoxTable t(dir / "NUMS.DB", EngineSettings{});
    ASSERT_EQ(t.records().count(), n);
    auto primary = buildParadoxOrder(t.header(), t.records(), {0}, nullptr, "NUMS");
    ASSERT_EQ(primary->inStoredOrder(), numbersInStoredOrder);
    auto grouped = buildParadoxOrder(t.header(), t.records(), {1, 2, 3, 4}, primary.get(), "NUMS", 0);
    ASSERT_EQ(grouped->size(), n);
    // Built on one, two or three threads, the orders are the same.
    for (unsigned threads : {1u, 2u, 3u}) {
        ParadoxRecords records = loadParadoxRecords(dir / "NUMS.DB", t.header(), "NUMS", threads);
        ASSERT_EQ(records.count(), n);
        ASSERT_EQ(std::memcmp(records.record(0), t.records().record(0), n * rs), 0) << threads << " threads";
        const auto p = buildParadoxOrder(t.header(), records, {0}, nullptr, "NUMS", 200000, threads);
        const auto g = buildParadoxOrder(t.header(), records, {1, 2, 3, 4}, p.get(), "NUMS", 0, threads);
        for (std::size_t pos = 0; pos < n; ++pos) {
            ASSERT_EQ(p->stored(pos), primary->stored(pos)) << threads << " threads, " << pos;
            ASSERT_EQ(g->stored(pos), grouped->stored(pos)) << threads << " threads, " << pos;
        }
    }

    const auto& hf = t.header().fields;
    const auto valueOf = [&](std::size_t stored) {
        const char* rec = t.records().record(stored);
        std::string v;
        for (int k = 1; k <= 4; ++k) {
            char scratch[8];
            const auto c = pxCanonical(hf[static_cast<std::size_t>(k)], rec, scratch);
            v += std::to_string(c.size()) + ":" + std::string(c) + "|";
        }
        return v;
    };
    const auto numOf = [&](std::size_t stored) {
        return static_cast<std::int32_t>(*pxDecodeInt(t.records().record(stored), 4));
    };
    std::map<std::string, std::size_t> firstAt;
    std::string prev;
    for (std::size_t pos = 0; pos < n; ++pos) {
        const std::size_t s = grouped->stored(pos);
        const std::string v = valueOf(s);
        if (pos > 0 && v == prev) {
            ASSERT_LT(numOf(grouped->stored(pos - 1)), numOf(s)) << "twins in ascending NUM at " << pos;
        } else {
            ASSERT_TRUE(firstAt.emplace(v, pos).second) << "a person split in two runs at " << pos;
        }
        prev = v;
    }
    ASSERT_GT(firstAt.size(), 500u);
    ASSERT_LT(firstAt.size(), n / 10) << "the data should hold many twins";

    // Neighbours the order calls different read as different texts or dates; twins never.
    const auto readAs = [&](std::size_t stored) {
        const char* rec = t.records().record(stored);
        std::string v;
        for (int k = 1; k <= 3; ++k) v += pxValueText(hf[static_cast<std::size_t>(k)], rec, CodePage::Cp866) + "|";
        return v + std::to_string(pxValueDate(hf[4], rec).serial());
    };
    std::size_t known = 0;
    for (std::size_t pos = 0; pos + 1 < n; ++pos) {
        if (!grouped->knownDifferent(pos, pos + 1)) continue;
        ++known;
        ASSERT_NE(readAs(grouped->stored(pos)), readAs(grouped->stored(pos + 1))) << "at " << pos;
    }
    EXPECT_GE(known, firstAt.size() - 1);

    for (const auto& [v, pos] : firstAt) {
        t.setIndexFieldNames("");
        const KeyValue num = numOf(grouped->stored(pos));
        ASSERT_TRUE(t.findKey(std::span(&num, 1)));
        const std::array<KeyValue, 4> key{t.text(1), t.text(2), t.text(3), t.date(4)};
        const auto found = grouped->find(key);
        ASSERT_TRUE(found);
        EXPECT_EQ(*found, pos);
        // Values are compared as they are: a trailing blank is no part of any stored name.
        const std::array<KeyValue, 4> blank{t.text(1), t.text(2) + " ", t.text(3), t.date(4)};
        EXPECT_FALSE(grouped->find(blank));
    }
    const std::array<KeyValue, 4> absent{std::string("FAM1"), std::string("N1"), std::string("O9"), Date()};
    EXPECT_FALSE(grouped->find(absent));
    const std::array<KeyValue, 4> lower{std::string("fam1"), std::string("N1"), std::string("O1"), Date()};
    EXPECT_FALSE(grouped->find(lower)) << "case counts";

    // The table's own person order is the same kind of order and finds the same, from
    // two reading cursors searching it at once, hints included.
    t.setIndexFieldNames("FAM;NAM;OTCH;BIRTH");
    {
        std::vector<std::array<KeyValue, 4>> keys;
        std::vector<std::size_t> expected;
        t.setIndexFieldNames("");
        for (const auto& [v, pos] : firstAt) {
            const KeyValue num = numOf(grouped->stored(pos));
            ASSERT_TRUE(t.findKey(std::span(&num, 1)));
            keys.push_back({t.text(1), t.text(2), t.text(3), t.date(4)});
            expected.push_back(grouped->stored(pos));
        }
        t.setIndexFieldNames("FAM;NAM;OTCH;BIRTH");
        // Every search but each tenth is hinted eight searches ahead.
        const auto search = [&](Table& cursor, std::vector<std::size_t>& found) {
            auto& px = dynamic_cast<ParadoxTable&>(cursor);
            ParadoxOrder::Hints hints;
            std::vector<std::uint64_t> tableHint(keys.size()), orderHint(keys.size());
            for (std::size_t i = 0; i < keys.size(); ++i) {
                if (i + 8 < keys.size() && (i + 8) % 10 != 0) {
                    tableHint[i + 8] = px.prefetch(keys[i + 8]);
                    orderHint[i + 8] = grouped->prefetch(keys[i + 8], hints);
                }
                const auto at = grouped->findHinted(keys[i], hints, orderHint[i]);
                found.push_back(px.find(keys[i], tableHint[i]) && at && grouped->stored(*at) == px.currentStored()
                                    ? px.currentStored()
                                    : n);
            }
        };
        std::unique_ptr<Table> a = t.cursor(), b = t.cursor();
        std::vector<std::size_t> foundA, foundB;
        std::thread other([&] { search(*b, foundB); });
        search(*a, foundA);
        other.join();
        EXPECT_EQ(foundA, expected);
        EXPECT_EQ(foundB, expected);

        // A hint is only taken for the values it was made for, while it is kept.
        ParadoxOrder::Hints hints;
        const std::uint64_t first = grouped->prefetch(keys[0], hints);
        EXPECT_EQ(grouped->findHinted(keys[1], hints, first), grouped->find(keys[1])) << "other values";
        std::array<KeyValue, 4> changed = keys[0];
        std::get<std::string>(changed[0]) += "X";
        EXPECT_FALSE(grouped->findHinted(changed, hints, first)) << "values changed since the hint";
        for (std::size_t i = 1; i <= hints.ahead.size(); ++i) (void)grouped->prefetch(keys[i], hints);
        EXPECT_EQ(grouped->findHinted(keys[0], hints, first), grouped->find(keys[0])) << "a hint no longer kept";
        const std::array<KeyValue, 4> unwritable{std::string("\x98"), std::string("N1"), std::string("O1"), Date()};
        const std::uint64_t none = grouped->prefetch(unwritable, hints);
        EXPECT_FALSE(grouped->findHinted(unwritable, hints, none)) << "a text 866 cannot hold";
        EXPECT_EQ(grouped->findHinted(keys[2], hints, none), grouped->find(keys[2]));
        // Hints made by another order are not taken for this one's.
        auto another = buildParadoxOrder(t.header(), t.records(), {3, 2, 1, 4}, nullptr, "NUMS", 0);
        const std::uint64_t foreign = another->prefetch(keys[3], hints);
        EXPECT_EQ(grouped->findHinted(keys[3], hints, foreign), grouped->find(keys[3]));
    }
    const auto& [v0, p0] = *firstAt.begin();
    (void)v0;
    const std::size_t s0 = grouped->stored(p0);
    t.setIndexFieldNames("");
    const KeyValue num0 = numOf(s0);
    ASSERT_TRUE(t.findKey(std::span(&num0, 1)));
    const std::array<KeyValue, 4> k0{t.text(1), t.text(2), t.text(3), t.date(4)};
    t.setIndexFieldNames("FAM;NAM;OTCH;BIRTH");
    ASSERT_TRUE(t.findKey(k0));
    EXPECT_EQ(t.currentStored(), s0);
}

TEST(NumberDirectory, LargeGroupedOrderAgreesWithTheValues) { checkLargeGroupedOrder(false); }
TEST(NumberDirectory, LargeGroupedOrderOverRecordsInPrimaryOrder) { checkLargeGroupedOrder(true); }

// '?' and the characters 1251 lacks all read as '?': entries that differ only there read
// as the same text, so the order never calls them different.
TEST(NumberDirectory, TextsThatReadAlikeAreNotCalledDifferent) {
    test::TempDir dir;
    const std::vector<ParadoxFieldDef> f{
        {"NUM", pxtype::Long, 0}, {"FAM", pxtype::Alpha, 10}, {"NAM", pxtype::Alpha, 4}};
    const std::vector<std::string> fams = {"AB?", "AB\xB0", "ABC", "ABD"};  // 866 bytes
    const std::size_t rs = 18;
    std::string rows(fams.size() * rs, '\0');
    for (std::size_t i = 0; i < fams.size(); ++i) {
        pxEncodeInt(rows.data() + i * rs, 4, static_cast<std::int64_t>(i + 1));
        std::memcpy(rows.data() + i * rs + 4, fams[i].data(), fams[i].size());
    }
    createParadoxTable(dir / "T.DB", f, {}, rows);
    ParadoxTable t(dir / "T.DB", EngineSettings{});
    auto primary = buildParadoxOrder(t.header(), t.records(), {0}, nullptr, "T");
    auto grouped = buildParadoxOrder(t.header(), t.records(), {1, 2}, primary.get(), "T", 0);
    std::map<std::string, std::size_t> at;
    for (std::size_t pos = 0; pos < fams.size(); ++pos) at[fams[grouped->stored(pos)]] = pos;
    EXPECT_FALSE(grouped->knownDifferent(at["AB?"], at["AB\xB0"]));
    EXPECT_FALSE(grouped->knownDifferent(at["AB\xB0"], at["AB?"]));
    EXPECT_FALSE(grouped->knownDifferent(at["AB?"], at["ABC"]));
    EXPECT_TRUE(grouped->knownDifferent(at["ABC"], at["ABD"]));
    EXPECT_TRUE(grouped->knownDifferent(at["ABC"], at["AB?"]));
}

// One person over and over: a single group as large as the table, in ascending NUM.
TEST(NumberDirectory, LargeGroupOfOnePersonStaysInNumberOrder) {
    test::TempDir dir;
    const std::vector<ParadoxFieldDef> f{{"NUM", pxtype::Long, 0},
                                         {"FAM", pxtype::Alpha, 25},
                                         {"NAM", pxtype::Alpha, 20},
                                         {"OTCH", pxtype::Alpha, 20},
                                         {"BIRTH", pxtype::Date, 0}};
    const std::size_t n = 110000, rs = 73;
    std::string rows(n * rs, '\0');
    for (std::size_t i = 0; i < n; ++i) {
        char* r = rows.data() + i * rs;
        pxEncodeInt(r, 4, static_cast<std::int64_t>((i * 7919) % n));
        ASSERT_TRUE(pxEncodeAlpha(r + 4, 25, "SAME", CodePage::Cp866));
        ASSERT_TRUE(pxEncodeAlpha(r + 29, 20, "ONE", CodePage::Cp866));
        if (i % 2) r[33] = ' ';  // "ONE " reads as "ONE"
        pxEncodeInt(r + 69, 4, Date::fromYmd(1970, 5, 5).serial());
    }
    createParadoxTable(dir / "NUMS.DB", f, {}, rows);
    NumberDirectory nums(dir / "NUMS.DB", EngineSettings{});
    auto& t = nums.table();
    ASSERT_TRUE(nums.findPerson("SAME", "ONE", "", Date::fromYmd(1970, 5, 5)));
    std::int32_t expect = 0;
    for (; !t.eof(); t.next(), ++expect) ASSERT_EQ(t.integer(0), expect);
    EXPECT_EQ(expect, static_cast<std::int32_t>(n));
    EXPECT_FALSE(nums.findPerson("SAME", "ONE", "", Date()));
    ASSERT_TRUE(nums.findNumber(4242));
    EXPECT_EQ(t.integer(0), 4242);
}

}  // namespace
}  // namespace number_directory_test
}  // namespace strnum
