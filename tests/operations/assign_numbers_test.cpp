#include "operations/assign_numbers.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "data/table_open.h"
#include "dbase/dbf_create.h"
#include "dbase/dbf_table.h"
#include "identity/insurance_number.h"
#include "support/memory_directory.h"
#include "support/region.h"
#include "support/test_support.h"
#include "walk/recording_host.h"

namespace strnum {
namespace {

using test::DirectoryEntry;
using test::MemoryDirectory;
using test::RecordingHost;
using test::TempDir;
using test::u;
using test::w;

const std::vector<DbfFieldSpec> kPdlFields = {
    {"NPD", 'C', 8, 0},   {"FM", 'C', 30, 0},    {"IM", 'C', 20, 0}, {"OT", 'C', 20, 0}, {"DTR", 'D', 8, 0},
    {"NPSU", 'C', 11, 0}, {"NPSUI", 'C', 11, 0}, {"VDP", 'C', 2, 0}, {"VP", 'C', 2, 0},  {"POL", 'C', 1, 0}};

// NZKORM.DBF with its number in a numeric field.
const std::vector<DbfFieldSpec> kNzkormNumericFields = {{"NPD", 'C', 8, 0},    {"FAM", 'C', 30, 0},
                                                        {"IM", 'C', 20, 0},    {"OT", 'C', 20, 0},
                                                        {"DATROG", 'D', 8, 0}, {"NPSU", 'N', 11, 0}};

// PDL.DBF and the others, records in the order of kPdlFields.
struct Region : test::Region {
    using test::Region::Region;
    void pdl(const std::vector<std::vector<std::string>>& records, const std::string& name = "PDL.DBF",
             std::vector<DbfFieldSpec> fields = kPdlFields) {
        file(name, std::move(fields), records);
    }
};

struct AssignFixture {
    RecordingHost host;
    Report report;
    TableObject tblPDL;
    EngineSettings settings;
    MemoryDirectory directory;
    AssignRun run;
    explicit AssignFixture(std::vector<DirectoryEntry> entries, bool countOnly = false)
        : directory(std::move(entries)), run{host,     report,    tblPDL, [this]() -> Table& { return directory; },
                                             settings, countOnly, {}} {}
    bool go(const Region& region) { return assignNumbers(run, region.dir.path().string()); }
    // A record held by another program fails after a short wait.
    void waitForLocksBriefly() {
        settings.lockWaitMilliseconds = 30;
        tblPDL.setSettings(settings);
    }
    std::vector<std::string> lines() const {
        std::vector<std::string> out;
        for (std::size_t i = 0; i < report.lineCount(); ++i) out.push_back(u(report.line(i)));
        return out;
    }
};

DirectoryEntry person(std::int32_t num, const char* fam, const char* nam, const char* otch, Date birth,
                      const char* cond = "A") {
    return {num, w(fam), w(nam), w(otch), birth, cond};
}

const Date k1950 = Date::fromYmd(1950, 2, 1);
const Date k1960 = Date::fromYmd(1960, 3, 4);

TEST(AssignNumbers, WorkedExample) {
    Region region;
    region.pdl({{"17", "ИВАНОВ", "ИВАН", "ИВАНОВИЧ", "01.02.1950", "", "", " 1", "03"},
                {"18", "ПЕТРОВА", "АННА", "ИВАНОВНА", "04.03.1960", "00000000102", "", " 1", "03"},
                {"19", "СИДОРОВ", "ПЁТР", "", "", "", "", " 1", "03"}});
    AssignFixture r(
        {person(123456789, "ИВАНОВ", "ИВАН", "ИВАНОВИЧ", k1950), person(1, "ПЕТРОВА", "АННА", "ИВАНОВНА", k1960)});
    const std::string d = region.district.string();
    const auto before = test::readBytes(region.district / "PDL.DBF");
    r.host.answer = true;
    ASSERT_TRUE(r.go(region));
    EXPECT_EQ(r.lines(), (std::vector<std::string>{
                             "Участок " + d + "  файл PDL.DBF - 3 записей",
                             "П/д N 18 ПЕТРОВА АННА ИВАНОВНА  ошибка в  стр.N 00000000102",
                             "П/д N18 ПЕТРОВА АННА ИВАНОВНА  N 00000000102 найден другой стр. N 00000000101",
                             "     Найдено 2 , проставлено 2 , исправлено : 1",
                             "",
                             "Ошибка открытия файла OPEKA.DBF",
                             "     Найдено 0 , проставлено 0 , исправлено : 0",
                             "",
                             "Ошибка открытия файла NZKORM.DBF",
                             "     Найдено 0 , проставлено 0 , исправлено : 0",
                             "",
                             "Ошибка открытия файла PDLN.DBF",
                             "     Найдено 0 , проставлено 0 , исправлено : 0",
                             "",
                         }));
    EXPECT_EQ(r.host.calls[r.host.calls.size() - 2],
              "confirm Найдено по ФИО : 2, ошибочных : 1, проставлено: 2 номеров. Показать отчет ?");
    EXPECT_EQ(r.host.calls.back(), "report");
    EXPECT_EQ(region.column("PDL.DBF", "NPSU"), (std::vector<std::string>{"12345678964", "00000000101", ""}));
    EXPECT_EQ(region.column("PDL.DBF", "NPSUI"), (std::vector<std::string>{"", "", ""}));
    // Only the NPSU bytes of records 17 and 18 and the header's date changed.
    const auto after = test::readBytes(region.district / "PDL.DBF");
    ASSERT_EQ(after.size(), before.size());
    std::size_t changedOutsideHeader = 0;
    for (std::size_t i = 32; i < after.size(); ++i) changedOutsideHeader += after[i] != before[i];
    EXPECT_LE(changedOutsideHeader, 22u);
    EXPECT_EQ(r.directory.indexFieldNames(), "FAM;NAM;OTCH;BIRTH");
    EXPECT_FALSE(r.tblPDL.isOpen());
}

TEST(AssignNumbers, CountOnlyChangesNothingAndCountsWhatWouldBeWritten) {
    Region region;
    region.pdl({{"1", "ИВАНОВ", "ИВАН", "ИВАНОВИЧ", "01.02.1950", "", "", " 5", "01"},
                {"2", "ПЕТРОВА", "АННА", "ИВАНОВНА", "04.03.1960", "00000000101", "", " 5", "01"}});
    AssignFixture r(
        {person(123456789, "ИВАНОВ", "ИВАН", "ИВАНОВИЧ", k1950), person(1, "ПЕТРОВА", "АННА", "ИВАНОВНА", k1960)},
        true);
    const auto before = test::readBytes(region.district / "PDL.DBF");
    ASSERT_TRUE(r.go(region));
    EXPECT_EQ(test::readBytes(region.district / "PDL.DBF"), before);
    EXPECT_EQ(r.lines()[1], "     Найдено 2 , проставлено 1 , исправлено : 0");  // no second number in count-only
}

TEST(AssignNumbers, SecondNumberRuleByVdpAndVp) {
    Region region;
    region.pdl({{"1", "А", "Б", "В", "01.02.1950", "", "", " 2", "04"},               // never NPSUI
                {"2", "Г", "Д", "Е", "01.02.1950", "", "", " 5", "01"},               // NPSUI with the number
                {"3", "Ж", "З", "И", "01.02.1950", "00000000101", "", " 5", "01"},    // empty NPSUI filled
                {"4", "К", "Л", "М", "01.02.1950", "00000000101", "", " 1", "03"}});  // left alone
    AssignFixture r({person(5, "А", "Б", "В", k1950), person(6, "Г", "Д", "Е", k1950), person(1, "Ж", "З", "И", k1950),
                     person(1, "К", "Л", "М", k1950)});
    ASSERT_TRUE(r.go(region));
    EXPECT_EQ(region.column("PDL.DBF", "NPSU"),
              (std::vector<std::string>{numberText(5), numberText(6), "00000000101", "00000000101"}));
    EXPECT_EQ(region.column("PDL.DBF", "NPSUI"), (std::vector<std::string>{"", numberText(6), "00000000101", ""}));
    EXPECT_EQ(r.lines()[1], "Проставлен пустой номер NPSUI у N 3 Ж З И  N 00000000101");
    EXPECT_EQ(r.lines()[2], "     Найдено 4 , проставлено 3 , исправлено : 0");
}

TEST(AssignNumbers, TwinsAreReportedUnlessStatusC) {
    Region region;
    region.pdl({{"7", "ИВАНОВ", "ИВАН", "", "01.02.1950", "", "", " 1", "03"}});
    AssignFixture r({person(300, "ИВАНОВ", "ИВАН", "", k1950, "A"), person(100, "ИВАНОВ", "ИВАН", "", k1950, "B"),
                     person(200, "ИВАНОВ", "ИВАН", "", k1950, "C"), person(400, "ИВАНОВ", "ИВАН", "", k1960, "A")});
    ASSERT_TRUE(r.go(region));
    EXPECT_EQ(region.column("PDL.DBF", "NPSU"), (std::vector<std::string>{numberText(100)}));
    EXPECT_EQ(r.lines()[1],
              "П/д N7 ИВАНОВ ИВАН  01.02.1950 кроме N  есть двойник с N " + displayForm(300) + " и статусом <A>");
    EXPECT_EQ(r.lines()[2], "     Найдено 1 , проставлено 1 , исправлено : 0");
}

TEST(AssignNumbers, MalformedAndDifferingNumbers) {
    Region region;
    region.pdl({{"1", "А", "Б", "В", "01.02.1950", "123-456-789", "", " 1", "03"},
                {"2", "Г", "Д", "Е", "01.02.1950", numberText(77), "", " 1", "03"},
                {"3", "Ж", "З", "И", "", "bad", "", " 1", "03"}});  // not in the directory: one line only
    AssignFixture r({person(5, "А", "Б", "В", k1950), person(6, "Г", "Д", "Е", k1950)});
    ASSERT_TRUE(r.go(region));
    const auto l = r.lines();
    EXPECT_EQ(l[1], "П/д N 1 А Б В  ошибка в  стр.N 123-456-789");
    EXPECT_EQ(l[2], "П/д N1 А Б В  N 123-456-789 найден другой стр. N " + numberText(5));
    EXPECT_EQ(l[3], "П/д N2 Г Д Е  N " + numberText(77) + " найден другой стр. N " + numberText(6));
    EXPECT_EQ(l[4], "П/д N 3 Ж З И  ошибка в  стр.N bad");
    EXPECT_EQ(l[5], "     Найдено 2 , проставлено 1 , исправлено : 2");
    EXPECT_EQ(region.column("PDL.DBF", "NPSU"), (std::vector<std::string>{numberText(5), numberText(77), "bad"}));
}

TEST(AssignNumbers, EmptyBirthDatesMatchEachOther) {
    Region region;
    region.pdl({{"1", "А", "Б", "В", "", "", "", " 1", "03"}});
    AssignFixture r({person(9, "А", "Б", "В", Date())});
    ASSERT_TRUE(r.go(region));
    EXPECT_EQ(region.column("PDL.DBF", "NPSU"), (std::vector<std::string>{numberText(9)}));
}

TEST(AssignNumbers, FailedWriteIsReportedAndTheRunGoesOn) {
    Region region;
    // NPSU is too narrow for a number text: setting it fails, the edit is cancelled.
    auto fields = kPdlFields;
    fields[5].length = 5;
    region.pdl({{"1", "А", "Б", "В", "01.02.1950", "", "", " 1", "03"},
                {"2", "Г", "Д", "Е", "01.02.1950", "", "", " 1", "03"}},
               "PDL.DBF", fields);
    AssignFixture r({person(5, "А", "Б", "В", k1950), person(6, "Г", "Д", "Е", k1950)});
    const auto before = test::readBytes(region.district / "PDL.DBF");
    ASSERT_TRUE(r.go(region));
    EXPECT_EQ(r.lines()[1], "*** Ошибка записи у N 1 А Б В 01.02.1950");
    EXPECT_EQ(r.lines()[2], "*** Ошибка записи у N 2 Г Д Е 01.02.1950");
    EXPECT_EQ(r.lines()[3], "     Найдено 2 , проставлено 2 , исправлено : 0");
    EXPECT_EQ(test::readBytes(region.district / "PDL.DBF"), before);
}

TEST(AssignNumbers, ARecordHeldByAnotherProgramFailsInItsPlaceAndTheOthersAreWritten) {
    Region region;
    region.pdl({{"1", "А", "Б", "В", "01.02.1950", "", "", " 1", "03"},
                {"2", "Г", "Д", "Е", "01.02.1950", "123", "", " 1", "03"},
                {"3", "Ж", "З", "И", "01.02.1950", "", "", " 1", "03"}});
    AssignFixture r(
        {person(5, "А", "Б", "В", k1950), person(6, "Г", "Д", "Е", k1950), person(7, "Ж", "З", "И", k1950)});
    r.waitForLocksBriefly();
    DbfTable other(region.district / "PDL.DBF", "PDL.DBF", {});
    other.next();
    other.edit();  // holds record 2 for the whole run
    ASSERT_TRUE(r.go(region));
    other.cancel();
    const std::vector<std::string> expected = {
        "Участок " + u(w(region.district.string())) + "  файл PDL.DBF - 3 записей",
        "П/д N 2 Г Д Е  ошибка в  стр.N 123",
        "П/д N2 Г Д Е  N 123 найден другой стр. N " + u(numberText(6)),
        "*** Ошибка записи у N 2 Г Д Е 01.02.1950",
        "     Найдено 3 , проставлено 3 , исправлено : 1",
        ""};
    const auto lines = r.lines();
    ASSERT_GE(lines.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 6), expected);
    EXPECT_EQ(region.column("PDL.DBF", "NPSU"), (std::vector<std::string>{u(numberText(5)), "123", u(numberText(7))}));
}

// The same with the record held by another process past the lock wait: the edit fails
// with the lock error, the run reports the failed write in its place and goes on.
TEST(AssignNumbers, ARecordHeldByAnotherProcessFailsInItsPlaceAndTheRunGoesOn) {
    Region region;
    region.pdl({{"1", "А", "Б", "В", "01.02.1950", "", "", " 1", "03"},
                {"2", "Г", "Д", "Е", "01.02.1950", "", "", " 1", "03"},
                {"3", "Ж", "З", "И", "01.02.1950", "", "", " 1", "03"}});
    AssignFixture r(
        {person(5, "А", "Б", "В", k1950), person(6, "Г", "Д", "Е", k1950), person(7, "Ж", "З", "И", k1950)});
    r.waitForLocksBriefly();
    test::ChildProcess holder({test::editWorkerProgram(), "hold", (region.district / "PDL.DBF").string(), "2"});
    ASSERT_EQ(holder.readLine(), "held");
    ASSERT_TRUE(r.go(region));
    holder.closeInput();
    EXPECT_EQ(holder.wait(), 0);
    const auto lines = r.lines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[1], "*** Ошибка записи у N 2 Г Д Е 01.02.1950");
    EXPECT_EQ(lines[2], "     Найдено 3 , проставлено 3 , исправлено : 0");
    EXPECT_EQ(region.column("PDL.DBF", "NPSU"), (std::vector<std::string>{u(numberText(5)), "", u(numberText(7))}));
}

// Records are read ahead of the walk; deleted records and the ends of the file's read
// chunks must not shift one record's values onto another.
TEST(AssignNumbers, EveryRecordGetsItsOwnPersonsNumberAcrossDeletedRecordsAndChunks) {
    Region region;
    std::vector<DirectoryEntry> people;
    {
        DbfWriter t(region.district / "PDL.DBF", kPdlFields, 0x65);
        for (int i = 0; i < 3000; ++i) {
            const std::string fam = "F" + std::to_string(i);
            t.append({std::to_string(i), fam, "N", "O", "01.02.1950", "", "", " 1", "03"}, i % 7 == 3);
            people.push_back({100000 + i, fam, "N", "O", k1950, "A"});
        }
        t.finish();
    }
    AssignFixture r(people);
    ASSERT_TRUE(r.go(region));
    auto t = openTable(region.district, "PDL.DBF", TableType::Dbase, {});
    const FieldId npd = t->fieldByName("NPD"), npsu = t->fieldByName("NPSU");
    int visited = 0;
    for (t->first(); !t->eof(); t->next(), ++visited) {
        const int i = t->integer(npd);
        ASSERT_NE(i % 7, 3) << "a deleted record is visible";
        ASSERT_EQ(t->text(npsu), numberText(100000 + i)) << "record " << i;
    }
    EXPECT_EQ(visited, 3000 - 429);  // i % 7 == 3 for 429 of them
}

// Large files are walked in two halves on two threads.  Whatever the records hold (no
// number, a malformed, a wrong or the right one, twins, the second number's rule, deleted
// records, a record another program holds in the later half), the report and the file's
// bytes are those of one walk.
struct RegionResult {
    std::vector<std::string> lines;
    std::string bytes;  // the file without its last-update date
};

RegionResult runMixedRegion(bool split, bool countOnly, bool endMarker = false) {
    Region region;
    std::vector<DirectoryEntry> people;
    for (int j = 0; j < 800; ++j) {
        if (j % 5 == 0) continue;  // not in the directory
        const std::string fam = "F" + std::to_string(j);
        people.push_back({100000 + j, fam, "N", "O", k1950, "A"});
        if (j % 7 == 0) people.push_back({500000 + j, fam, "N", "O", k1950, j % 14 == 0 ? "C" : "A"});
    }
    {
        DbfWriter t(region.district / "PDL.DBF", kPdlFields, 0x65);
        for (int i = 0; i < 2404; ++i) {  // the middle slot, 1202, has a malformed number
            const int j = i % 800;
            std::string number;
            switch (i % 4) {
                case 1:
                    number = numberText(100000 + j);
                    break;
                case 2:
                    number = "12345";
                    break;
                case 3:
                    number = numberText(999);
                    break;
                default:
                    break;
            }
            const bool plain = i % 3 == 0;
            t.append({std::to_string(i), "F" + std::to_string(j), "N", "O", "01.02.1950", number,
                      i % 6 == 1 ? number : "", plain ? " 1" : " 5", plain ? "03" : "01"},
                     i % 11 == 5);
        }
        t.finish();
    }
    const std::filesystem::path file = region.district / "PDL.DBF";
    if (endMarker) {
        File raw(file, File::Mode::ReadWrite);
        const DbfTable t(file, "PDL.DBF", {});
        raw.writeAt(t.header().headerLength + 700 * t.header().recordLength, "\x1a", 1);
    }
    AssignFixture r(people, countOnly);
    r.directory.givesCursors = split;
    test::ChunkSlots chunks(split ? 7 : 1 << 20);
    r.waitForLocksBriefly();
    DbfTable other(file, "PDL.DBF", {});
    const FieldId npd = other.fieldByName("NPD");
    while (!other.eof() && other.integer(npd) != 1804) other.next();
    if (!other.eof()) other.edit();  // holds record 1804, which needs its number
    EXPECT_TRUE(r.go(region));
    other.cancel();
    RegionResult out{r.lines(), test::readBytes(file)};
    const std::string place = u(w(region.district.string()));
    for (std::string& l : out.lines)
        if (const auto at = l.find(place); at != std::string::npos) l.replace(at, place.size(), "U01");
    out.bytes.erase(1, 3);
    return out;
}

TEST(AssignNumbers, AFileWalkedInTwoHalvesGivesTheReportAndBytesOfOneWalk) {
    for (const bool countOnly : {false, true}) {
        const RegionResult one = runMixedRegion(false, countOnly), two = runMixedRegion(true, countOnly);
        ASSERT_GT(one.lines.size(), 1500u);
        EXPECT_EQ(two.lines, one.lines) << (countOnly ? "count-only" : "writing");
        EXPECT_EQ(two.bytes, one.bytes) << (countOnly ? "count-only" : "writing");
        if (!countOnly) {
            EXPECT_NE(std::find(one.lines.begin(), one.lines.end(), "*** Ошибка записи у N 1804 F204 N O 01.02.1950"),
                      one.lines.end());
        }
    }
    // An end marker in the earlier half ends the walk there, split or not.
    const RegionResult one = runMixedRegion(false, false, true), two = runMixedRegion(true, false, true);
    EXPECT_EQ(two.lines, one.lines);
    EXPECT_EQ(two.bytes, one.bytes);
    EXPECT_LT(one.lines.size(), 700u);
}

TEST(AssignNumbers, MissingFieldEndsTheRunAfterTheClosingLines) {
    Region region;
    auto fields = kPdlFields;
    fields.resize(6);  // no NPSUI, VDP, VP
    region.pdl({{"1", "А", "Б", "В", "01.02.1950", ""}}, "PDL.DBF", fields);
    AssignFixture r({person(5, "А", "Б", "В", k1950)});
    EXPECT_FALSE(r.go(region));
    EXPECT_EQ(r.lines().size(), 3u);  // header, closing line, empty line; no further file
    EXPECT_EQ(r.lines()[1], "     Найдено 0 , проставлено 0 , исправлено : 0");
    EXPECT_EQ(r.host.calls.back().rfind("error ", 0), 0u);
    EXPECT_EQ(r.host.calls[r.host.calls.size() - 2].rfind("confirm ", 0), 0u);
}

// A numeric NPSU cannot keep leading zeros: writing 00000000101 over 101 changes no byte.
// Such a write is done at once, and a failure of an earlier write is not taken for its own.
TEST(AssignNumbers, AWriteThatChangesNothingIsNotTakenForAnotherThatFailed) {
    Region region;
    region.pdl({{"1", "А", "Б", "В", "01.02.1950", ""}, {"2", "Г", "Д", "Е", "01.02.1950", "101"}}, "NZKORM.DBF",
               kNzkormNumericFields);
    AssignFixture r({person(5, "А", "Б", "В", k1950), person(1, "Г", "Д", "Е", k1950)});
    r.waitForLocksBriefly();
    DbfTable other(region.district / "NZKORM.DBF", "NZKORM.DBF", {});
    other.edit();  // holds record 1 for the whole run
    ASSERT_TRUE(r.go(region));
    other.cancel();
    std::vector<std::string> failures;
    for (const auto& l : r.lines())
        if (l.rfind("***", 0) == 0) failures.push_back(l);
    EXPECT_EQ(failures, (std::vector<std::string>{"*** Ошибка записи у N 1 А Б В 01.02.1950"}));
    EXPECT_EQ(region.column("NZKORM.DBF", "NPSU"), (std::vector<std::string>{"", "101"}));
}

TEST(AssignNumbers, OtherKindsUseTheirOwnFields) {
    Region region;
    region.pdl({{"1", "А", "Б", "В", "01.02.1950", ""}}, "NZKORM.DBF", kNzkormNumericFields);
    region.pdl({{"1", "А", "Б", "В", "01.02.1950", ""}}, "opeka.dbf",
               {{"NPD", 'C', 8, 0},
                {"FM", 'C', 30, 0},
                {"IM", 'C', 20, 0},
                {"OT", 'C', 20, 0},
                {"DTR", 'D', 8, 0},
                {"NPSUO", 'C', 11, 0}});
    AssignFixture r({person(5, "А", "Б", "В", k1950)});
    ASSERT_TRUE(r.go(region));
    // A numeric field keeps the number without its leading zeros.
    EXPECT_EQ(region.column("NZKORM.DBF", "NPSU"), (std::vector<std::string>{"505"}));
    EXPECT_EQ(region.column("opeka.dbf", "NPSUO"), (std::vector<std::string>{numberText(5)}));
}

TEST(AssignNumbers, MissingDistrictDirectoryIsSkipped) {
    Region region;
    std::filesystem::remove(region.district);
    AssignFixture r({});
    ASSERT_TRUE(r.go(region));
    EXPECT_EQ(r.lines(), (std::vector<std::string>{"Не найден каталог " + region.district.string()}));
}

}  // namespace
}  // namespace strnum
