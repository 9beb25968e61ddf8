// The search as the office meets it: by number (the first nine digits typed, lost leading
// zeros put back), by name (an empty name or patronymic matches anything, an empty surname
// only an empty one, letters compared exactly, in files of both code pages), its lines and
// counts, what it passes by without a word, and the same over a file walked in parts.
#include "operations/find_records.h"

#include <gtest/gtest.h>

#include "identity/insurance_number.h"
#include "support/memory_directory.h"
#include "support/region.h"
#include "walk/recording_host.h"

namespace strnum {
namespace find_records_test {  // names of its own: the Windows build compiles test files together
namespace {

using test::u;
using test::w;
namespace fs = std::filesystem;

const std::vector<DbfFieldSpec> kPdl = {{"NPD", 'C', 6, 0}, {"FM", 'C', 30, 0}, {"IM", 'C', 20, 0},
                                        {"OT", 'C', 20, 0}, {"DTR", 'D', 8, 0}, {"NPSU", 'C', 11, 0}};
// NZKORM.DBF with its number in a numeric field, which loses leading zeros.
const std::vector<DbfFieldSpec> kNzkorm = {{"NPD", 'C', 6, 0}, {"FAM", 'C', 30, 0},   {"IM", 'C', 20, 0},
                                           {"OT", 'C', 20, 0}, {"DATROG", 'D', 8, 0}, {"NPSU", 'N', 11, 0}};

struct Find {
    test::Region region;
    test::RecordingHost host;
    Report report;
    TableObject tblPDL;
    EngineSettings settings;
    std::vector<FoundRecord> found;
    test::MemoryDirectory directory{{}};  // the search reads none
    FindRun run;
    explicit Find(FindCriteria c)
        : run{{host, report, tblPDL, [this]() -> Table& { return directory; }, settings},
              std::move(c),
              [this](const FoundRecord& r) { found.push_back(r); }} {}
    bool go() { return findRecords(run, region.dir.path().string()); }
    std::vector<std::string> lines() const {
        std::vector<std::string> out;
        for (std::size_t i = 0; i < report.lineCount(); ++i) out.push_back(u(report.line(i)));
        return out;
    }
    std::string d() const { return u(w(region.district.string())); }
};

FindCriteria byNumber(const std::string& typed) { return {typed, "", "", ""}; }
FindCriteria byName(const char* fam, const char* nam = "", const char* otch = "") {
    return {"", w(fam), w(nam), w(otch)};
}

TEST(FindRecords, ByNumberTheFirstNineDigitsAndLostZeros) {
    Find f(byNumber("12345678999"));  // all eleven digits typed: the check digits take no part
    f.region.file("PDL.DBF", kPdl,
                  {{"1", "ИВАНОВ", "ИВАН", "", "01.02.1950", "12345678964"},
                   {"2", "ПЕТРОВ", "", "", "", "12345678900"},
                   {"3", "СИДОРОВ", "", "", "", "22345678964"}});
    f.region.file("NZKORM.DBF", kNzkorm, {{"7", "НУЛЕВОЙ", "Н", "Н", "", "2345678964"}});  // 10 digits
    Find z(byNumber("023456789"));
    z.region.file("NZKORM.DBF", kNzkorm,
                  {{"7", "НУЛЕВОЙ", "Н", "Н", "", "2345678964"}, {"8", "Д", "", "", "", "345678964"}});
    ASSERT_TRUE(f.go());
    EXPECT_EQ(f.lines(),
              (std::vector<std::string>{
                  "Поиск в БД ОРТАН", " стр.№ 123-456-789 64", "Участок " + f.d() + "  файл PDL.DBF - 3 записей",
                  "П/д N1 ИВАНОВ ИВАН  д/р 01.02.1950 ", "П/д N2 ПЕТРОВ   д/р  ", "     Найдено 2 ", ""}));
    EXPECT_EQ(f.host.calls.back(), "confirm Найдено : 2 записей. Показать отчет ?");
    ASSERT_TRUE(z.go());
    const auto lines = z.lines();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[3], "П/д N7 НУЛЕВОЙ Н Н д/р  ") << "10 digits: one zero in front";
    ASSERT_EQ(z.found.size(), 1u);
    EXPECT_EQ(z.found[0].numberText, "02345678964");
    // "0" finds the records without a number.
    Find none(byNumber("0"));
    none.region.file("PDL.DBF", kPdl, {{"1", "А", "", "", "", ""}, {"2", "Б", "", "", "", "12345678964"}});
    ASSERT_TRUE(none.go());
    EXPECT_EQ(none.lines()[3], "П/д N1 А   д/р  ");
    EXPECT_EQ(none.found.size(), 1u);
}

TEST(FindRecords, ByNameTheEmptyPartsMatchAnythingButAnEmptySurname) {
    const std::vector<std::vector<std::string>> records = {
        {"1", "ИВАНОВ", "ИВАН", "ИВАНОВИЧ", "01.02.1950", "12345678964"},
        {"2", "ИВАНОВ", "ПЁТР", "ИВАНОВИЧ", "", ""},
        {"3", "иванов", "ИВАН", "ИВАНОВИЧ", "", ""},  // small letters: not found
        {"4", "ИВАНОВ", "ИВАН", "ПЕТРОВИЧ", "", ""},
        {"5", "", "ИВАН", "", "", ""},
        {"6", "ИВАНОВ-ДЛИННОФАМИЛЬНЫЙ-ПЕРВЫЙ", "ИВАН", "", "", ""}};  // 30 characters, its first 25
    const auto keysOf = [&](FindCriteria c) {
        Find f(std::move(c));
        f.region.file("PDL.DBF", kPdl, records);
        EXPECT_TRUE(f.go());
        std::vector<std::string> keys;
        for (const auto& r : f.found) keys.push_back(r.key);
        return keys;
    };
    EXPECT_EQ(keysOf(byName("ИВАНОВ")), (std::vector<std::string>{"1", "2", "4"}));
    EXPECT_EQ(keysOf(byName("ИВАНОВ", "", "ИВАНОВИЧ")), (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(keysOf(byName("ИВАНОВ", "ИВАН")), (std::vector<std::string>{"1", "4"}));
    EXPECT_EQ(keysOf(byName("")), (std::vector<std::string>{"5"}));
    EXPECT_EQ(keysOf(byName("ИВАНОВ-ДЛИННОФАМИЛЬНЫЙ-ПЕ")), (std::vector<std::string>{"6"}));
    EXPECT_EQ(keysOf(byName("ИВАНОВ-ДЛИННОФАМИЛЬНЫЙ-ПЕРВЫЙ")), (std::vector<std::string>{"6"}))
        << "the first 25 characters typed, against the first 25 of the record";
    EXPECT_TRUE(keysOf(byName("ИВАНОВ ")).empty()) << "a trailing blank typed is part of the text";
    // The found line: two blanks before "стр.№", the display form made from the body.
    Find f(byName("ИВАНОВ", "ИВАН", "ИВАНОВИЧ"));
    f.region.file("PDL.DBF", kPdl, records);
    ASSERT_TRUE(f.go());
    EXPECT_EQ(f.lines()[1], " ФИО: ИВАНОВ ИВАН ИВАНОВИЧ");
    EXPECT_EQ(f.lines()[3], "П/д N1 ИВАНОВ ИВАН ИВАНОВИЧ д/р 01.02.1950  стр.№ 123-456-789 64");
}

// Names compared exactly in files of code page 866 and 1251 alike: Ё is not Е, and a '?'
// is only a '?'.
TEST(FindRecords, NamesInEitherCodePageCompareExactly) {
    for (const std::uint8_t driver : {std::uint8_t{0x65}, std::uint8_t{0xC9}}) {
        Find f(byName("СЕМЁНОВ"));
        {
            DbfWriter t(f.region.district / "PDL.DBF", kPdl, driver);
            for (const char* fam : {"СЕМЁНОВ", "СЕМЕНОВ", "СЕМЁНОВА", "СЕМ?НОВ"})
                t.append({"1", w(fam), "", "", "", ""});
            t.finish();
        }
        ASSERT_TRUE(f.go());
        ASSERT_EQ(f.found.size(), 1u) << int{driver};
        EXPECT_EQ(f.found[0].surname, w("СЕМЁНОВ"));
        Find q(byName("СЕМ?НОВ"));
        fs::copy_file(f.region.district / "PDL.DBF", q.region.district / "PDL.DBF");
        ASSERT_TRUE(q.go());
        ASSERT_EQ(q.found.size(), 1u) << int{driver};
        EXPECT_EQ(q.found[0].surname, "\xD1\xC5\xCC?\xCD\xCE\xC2");
    }
}

TEST(FindRecords, WhatItPassesByAndHowItEnds) {
    // A district with none of the four files says nothing; a missing directory says so.
    Find f(byName("А"));
    {
        fs::remove(f.region.dir / "WAY.DBF");
        DbfWriter way(f.region.dir / "WAY.DBF", {{"W", 'C', 80, 0}}, 0x65);
        way.append({f.region.district.string()});
        way.append({(f.region.dir / "U99").string()});
        way.finish();
    }
    ASSERT_TRUE(f.go());
    EXPECT_EQ(f.lines(), (std::vector<std::string>{"Поиск в БД ОРТАН", " ФИО: А  ",
                                                   "Не найден каталог " + u(w((f.region.dir / "U99").string()))}));
    // A number that is no integer: only the title line, the error, no question.
    Find bad(byNumber("123-456-789"));
    EXPECT_FALSE(bad.go());
    EXPECT_EQ(bad.lines(), (std::vector<std::string>{"Поиск в БД ОРТАН"}));
    EXPECT_EQ(bad.host.calls.back().rfind("error \"123-456-7\"", 0), 0u) << bad.host.calls.back();
    for (const auto& c : bad.host.calls) EXPECT_NE(c.rfind("confirm", 0), 0u);
    // A file without one of its fields ends the run after its closing step and the question.
    Find missing(byName("А"));
    missing.region.file("PDL.DBF", {{"NPD", 'C', 6, 0}, {"FM", 'C', 30, 0}}, {{"1", "А"}});
    EXPECT_FALSE(missing.go());
    EXPECT_EQ(missing.lines().size(), 2u);
    EXPECT_EQ(missing.host.calls[missing.host.calls.size() - 2], "confirm Найдено : 0 записей. Показать отчет ?");
    EXPECT_EQ(missing.host.calls.back().rfind("error ", 0), 0u);
}

// The labels at each district show the figures reached before it.
TEST(FindRecords, TheLabelsShowTheCountsBeforeEachDistrict) {
    Find f(byName("А"));
    f.region.file("PDL.DBF", kPdl, {{"1", "А", "", "", "", ""}, {"2", "Б", "", "", "", ""}});
    {
        fs::remove(f.region.dir / "WAY.DBF");
        DbfWriter way(f.region.dir / "WAY.DBF", {{"W", 'C', 80, 0}}, 0x65);
        way.append({f.region.district.string()});
        way.append({f.region.district.string()});
        way.finish();
    }
    ASSERT_TRUE(f.go());
    std::vector<std::string> labels;
    for (const auto& c : f.host.calls)
        if (c.rfind("label 1 ", 0) == 0 || c.rfind("label 4 ", 0) == 0 || c.rfind("label 3 ", 0) == 0)
            labels.push_back(c);
    EXPECT_EQ(labels,
              (std::vector<std::string>{"label 1 0", "label 4 0", "label 3 0", "label 1 1", "label 4 1", "label 3 2"}));
    EXPECT_EQ(f.host.calls.back(), "confirm Найдено : 2 записей. Показать отчет ?");
}

// A large file walked in parts: the lines and found records of one walk, the heading once.
TEST(FindRecords, AFileWalkedInPartsFindsWhatOneWalkFinds) {
    const auto run = [](bool parts, FindCriteria c) {
        Find f(std::move(c));
        f.settings.threads = parts ? 3 : 1;
        test::ChunkSlots chunks(parts ? 7 : 1 << 20);
        {
            DbfWriter t(f.region.district / "PDL.DBF", kPdl, 0x65);
            for (int i = 0; i < 3000; ++i)
                t.append({std::to_string(i), w(i % 7 == 0 ? "ИСКОМЫЙ" : "ДРУГОЙ"), w(i % 3 ? "И" : "Н"), "", "",
                          i % 5 ? numberText(100 + i % 11) : ""},
                         i % 13 == 4);
            t.finish();
        }
        EXPECT_TRUE(f.go());
        std::vector<std::string> lines = f.lines();
        for (auto& l : lines)
            if (l.find(f.d()) != std::string::npos) l.replace(l.find(f.d()), f.d().size(), "U01");
        return std::make_pair(lines, f.found.size());
    };
    for (const FindCriteria& c : {byName("ИСКОМЫЙ", "И"), byNumber("103")}) {
        const auto one = run(false, c), parts = run(true, c);
        EXPECT_GT(one.second, 100u);
        EXPECT_EQ(parts.first, one.first);
        EXPECT_EQ(parts.second, one.second);
    }
}

}  // namespace
}  // namespace find_records_test
}  // namespace strnum
