// The number directory's two orders over a directory written by the engine: find by
// number, find by person standing on the first of a group in ascending NUM, the twin
// scan, and the grouped order that large directories use.
#include <gtest/gtest.h>

#include <array>

#include "base/error.h"
#include "data/number_directory.h"
#include "data/paradox_order.h"
#include "data/paradox_writer.h"
#include "support/test_support.h"

namespace strnum {
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
    std::vector<ParadoxFieldDef> f{{"NUM", pxtype::Long, 0}, {"FAM", pxtype::Alpha, 25}, {"NAM", pxtype::Alpha, 20},
                                   {"OTCH", pxtype::Alpha, 20}, {"BIRTH", pxtype::Date, 0}};
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

}  // namespace
}  // namespace strnum
