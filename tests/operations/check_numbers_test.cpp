// The district check as the office meets it: the title lines, every number form test in its
// order, the lookup by number, the comparisons with their coloured spans, the guard of the
// record's processing, the second number, the closing lines and the question; the
// not-found table and the exchange batch beside it; and the same over a file walked in
// parts.
#include "operations/check_numbers.h"

#include <gtest/gtest.h>

#include <set>

#include "batches/not_found_table.h"
#include "batches/persdat2.h"
#include "identity/insurance_number.h"
#include "paradox/paradox_table.h"
#include "support/memory_directory.h"
#include "support/region.h"
#include "walk/recording_host.h"

namespace strnum {
namespace check_numbers_test {  // names of its own: the Windows build compiles test files together
namespace {

using test::DirectoryEntry;
using test::u;
using test::w;
namespace fs = std::filesystem;

const std::vector<DbfFieldSpec> kPdl = {{"NUCH", 'C', 4, 0},  {"NPD", 'C', 6, 0},    {"FM", 'C', 30, 0},
                                        {"IM", 'C', 20, 0},   {"OT", 'C', 20, 0},    {"DTR", 'D', 8, 0},
                                        {"NPSU", 'C', 11, 0}, {"NPSUI", 'C', 11, 0}, {"VDP", 'C', 2, 0},
                                        {"VP", 'C', 2, 0},    {"POL", 'C', 1, 0}};

const Date k1950 = Date::fromYmd(1950, 2, 1);

DirectoryEntry entry(std::int32_t num, const char* fam, const char* nam, const char* otch, Date birth,
                     const char* cond = "A") {
    return {num, w(fam), w(nam), w(otch), birth, cond};
}

struct Check {
    test::Region region;
    test::TempDir program;  // the program directory: ANKT.DB, 00000100.001
    test::RecordingHost host;
    Report report;
    TableObject tblPDL;
    EngineSettings settings;
    test::MemoryDirectory directory;
    Colour highlight = kRed;
    bool severe = false, emptyList = false;
    CheckRun run;
    explicit Check(std::vector<DirectoryEntry> entries, CheckOptions options = {})
        : directory(std::move(entries)),
          run{host,
              report,
              tblPDL,
              [this]() -> Table& { return directory; },
              settings,
              options,
              [this] { return severe; },
              [this] { return emptyList; },
              program.path(),
              "012-345-678901",
              highlight} {}
    bool go() { return checkNumbers(run, region.dir.path().string()); }
    std::vector<std::string> lines() const {
        std::vector<std::string> out;
        for (std::size_t i = 0; i < report.lineCount(); ++i) out.push_back(u(report.line(i)));
        return out;
    }
    // A line with its coloured runs marked: [blue]...[/] and [red]...[/].
    std::string coloured(std::size_t i) const {
        std::string s;
        report.forEachRun(i, [&](const Run& r) {
            if (r.colour.isDefault())
                s += u(r.text);
            else
                s += std::string(r.colour == kBlue ? "[blue]" : "[red]") + u(r.text) + "[/]";
        });
        return s;
    }
    // The lines of the first file, between its header and its closing line.
    std::vector<std::string> recordLines() const {
        const auto all = lines();
        std::vector<std::string> out;
        bool in = false;
        for (const auto& l : all) {
            if (l.rfind("Участок ", 0) == 0) {
                in = !in && l.find("файл PDL.DBF") != std::string::npos;
                continue;
            }
            if (l.rfind("     Обработано", 0) == 0) break;
            if (in) out.push_back(l);
        }
        return out;
    }
};

// A PDL.DBF record: NUCH, NPD, FM, IM, OT, DTR, NPSU, NPSUI, VDP, VP, POL.
std::vector<std::string> rec(const char* npd, const char* fm, const char* im, const char* ot, const char* dtr,
                             const std::string& npsu, const std::string& npsui = "") {
    return {"7", npd, fm, im, ot, dtr, npsu, npsui, " 1", "03", "М"};
}

TEST(CheckNumbers, TitleLinesClosingLinesAndTheQuestion) {
    Check c({}, CheckOptions{true, false, false, false});
    c.region.file("PDL.DBF", kPdl, {rec("1", "А", "Б", "В", "01.02.1950", "")});
    ASSERT_TRUE(c.go());
    const std::string d = u(w(c.region.district.string()));
    const std::vector<std::string> expected = {"Сверка проставленных стр. номеров с БД ПерсУчета",
                                               "   без ошибок статуса л/счета",
                                               "Участок " + d + "  файл PDL.DBF - 1 записей",
                                               "     Обработано 1 записей, найдено 0 номеров, обнаружено ошибок: 0",
                                               "",
                                               "Участок " + d + "  Ошибка открытия файла OPEKA.DBF",
                                               "     Обработано 0 записей, найдено 0 номеров, обнаружено ошибок: 0",
                                               ""};
    const auto lines = c.lines();
    ASSERT_GE(lines.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 8), expected);
    EXPECT_EQ(lines.size(), 2 + 3 + 3 * 3u);
    // The header line is blue from the blank before the table name.
    EXPECT_EQ(c.coloured(2), "Участок " + d + "  файл[blue] PDL.DBF - 1 записей[/]");
    EXPECT_EQ(c.highlight, kRed) << "back to red";
    EXPECT_EQ(c.host.calls.back(), "confirm Найдено : 0 расхождений. Показать отчет ?");
    // The titles of the other options.
    Check all({}, CheckOptions{false, false, true, true});
    ASSERT_TRUE(all.go());
    const auto titles = all.lines();
    EXPECT_EQ(
        std::vector<std::string>(titles.begin(), titles.begin() + 3),
        (std::vector<std::string>{"Сверка проставленных стр. номеров с БД ПерсУчета", "   со сбором ненайденных ФИО",
                                  "   с формированием пачек заявлений на обмен"}));
}

TEST(CheckNumbers, MissingDirectoryIsFourFilesThatCannotBeOpened) {
    Check c({});
    fs::remove_all(c.region.district);
    ASSERT_TRUE(c.go());
    const auto lines = c.lines();
    ASSERT_EQ(lines.size(), 1 + 4 * 3u);
    EXPECT_EQ(lines[1], "Участок " + u(w(c.region.district.string())) + "  Ошибка открытия файла PDL.DBF");
    EXPECT_EQ(lines[10], "Участок " + u(w(c.region.district.string())) + "  Ошибка открытия файла PDLN.DBF");
}

// Every form test in its order, and what each counts.
TEST(CheckNumbers, NumberFormTestsInTheirOrder) {
    Check c({entry(123456789, "ИВАНОВ", "ИВАН", "ИВАНОВИЧ", k1950)});
    c.region.file("PDL.DBF", kPdl,
                  {rec("1", "А", "Б", "В", "", ""),                                      // no number
                   rec("2", "А", "Б", "В", "", "00000099955"),                           // body below 1000
                   rec("3", "А", "Б", "В", "", "999"),                                   // short, body below 1000
                   rec("4", "А", "Б", "В", "", "123456789"),                             // nine digits: no check
                   rec("5", "А", "Б", "В", "", "123-456-78"),                            // hyphens
                   rec("6", "А", "Б", "В", "", "12345678965"),                           // wrong check number
                   rec("7", "А", "Б", "В", "", "98765432183"),                           // well formed, unknown
                   rec("8", "ИВАНОВ", "ИВАН", "ИВАНОВИЧ", "01.02.1950", "12345678964"),  // found, equal
                   rec("9", "А", "Б", "В", "", "1234567A964")});
    ASSERT_TRUE(c.go());
    const std::string p = "7 ";
    EXPECT_EQ(c.recordLines(),
              (std::vector<std::string>{p + "2 00000099955: А Б В  ошибка в стр. N " + u(displayForm(999)),
                                        p + "3 999: А Б В  ошибка в стр. N " + u(displayForm(999)),
                                        p + "4 123456789: А Б В  ошибка в  стр.N \"123456789\"",
                                        p + "5 123-456-78: А Б В  ошибка в  стр.N \"123-456-78\"",
                                        p + "6 12345678965: А Б В  ошибка к.суммы в N 12345678965",
                                        p + "9 1234567A964: А Б В  ошибка в  стр.N \"1234567A964\""}))
        << "Cyrillic names stay as they are in the name key";
    EXPECT_EQ(c.lines()[c.lines().size() - 11], "     Обработано 9 записей, найдено 7 номеров, обнаружено ошибок: 0");
    // With "Без стр. номеров" the record without a number is reported too.
    Check e({});
    e.emptyList = true;
    e.region.file("PDL.DBF", kPdl, {rec("1", "A", "B", "C", "", "")});
    ASSERT_TRUE(e.go());
    EXPECT_EQ(e.recordLines(), (std::vector<std::string>{"7 1 : a b c  отсутствует стр. номер"}))
        << "Latin capitals are lower-cased in the name key";
}

// The comparisons, each report line with its coloured stretch of the directory's text.
TEST(CheckNumbers, DifferencesAreReportedWithTheDirectorysTextInColour) {
    const std::string n1 = u(numberText(1001)), n2 = u(numberText(1002)), n3 = u(numberText(1003)),
                      n4 = u(numberText(1004)), n5 = u(numberText(1005));
    Check c({entry(1001, "ИВАНОВА", "ИВАН", "ИВАНОВИЧ", k1950), entry(1002, "ПЕТРОВ", "ПЁТР", "", k1950),
             entry(1003, "СИДОРОВ", "СИДОР", "", Date::fromYmd(1951, 2, 1), "C"),
             entry(1004, "КУЗНЕЦОВ", "ИВАН", "", k1950, "C"), entry(1005, "ОРЛОВ", "ОЛЕГ", "", k1950, "X")});
    c.region.file("PDL.DBF", kPdl,
                  {rec("1", "ИВАНОВ", "ИВАН", "ИВАНОВИЧ", "01.02.1950", n1),  // a name part differs
                   rec("2", "ПЕТРОВ", "ПЁТР", "", "02.02.1950", n2),          // birth only
                   rec("3", "СИДОРОВ", "СИДОР", "", "01.02.1950", n3),        // birth and status
                   rec("4", "КУЗНЕЦОВ", "ИВАН", "", "01.02.1950", n4),        // status C
                   rec("5", "ОРЛОВ", "ОЛЕГ", "", "01.02.1950", n5)});         // status X
    ASSERT_TRUE(c.go());
    const auto lines = c.lines();
    std::vector<std::string> coloured;
    for (std::size_t i = 2; i + 3 < lines.size() && lines[i].rfind("     Обработано", 0) != 0; ++i)
        coloured.push_back(c.coloured(i));
    EXPECT_EQ(coloured,
              (std::vector<std::string>{
                  "7 1 " + n1 + ": ИВАНОВ ИВАН ИВАНОВИЧ 01.02.1950  Расхождение в ФИО ",
                  "     в СПУ  числится ИВАНОВ[red]А[/] ИВАН ИВАНОВИЧ",
                  "7 2 " + n2 + ": ПЕТРОВ ПЁТР  02.02.1950  в СПУ со стр.N " + n2 + " указана д/р 0[red]1[/].02.1950",
                  "7 3 " + n3 + ": СИДОРОВ СИДОР  01.02.1950  в СПУ со стр.N " + n3 + " указана д/р 01.02.195[red]1[/]",
                  "7 3 " + n3 + ": СИДОРОВ СИДОР  01.02.1950  в СПУ со стр.N " + n3 + " указана д/р ",
                  "7 4 " + n4 + ": КУЗНЕЦОВ ИВАН  01.02.1950  в СПУ отменен стр.N " + n4,
                  "7 5 " + n5 + ": ОРЛОВ ОЛЕГ  01.02.1950 "}));
    EXPECT_EQ(lines[lines.size() - 11], "     Обработано 5 записей, найдено 5 номеров, обнаружено ошибок: 5");
    EXPECT_EQ(c.host.calls.back(), "confirm Найдено : 5 расхождений. Показать отчет ?");
}

TEST(CheckNumbers, OptionsSoftenTheRules) {
    const std::string n1 = u(numberText(1001)), n2 = u(numberText(1002)), n3 = u(numberText(1003));
    const std::vector<DirectoryEntry> dir = {entry(1001, "ИВАНОВ", "ИВАН", "ПЕТРОВИЧ", k1950, "B"),
                                             entry(1002, "ПЕТРОВ", "ПАВЕЛ", "ИВАНОВИЧ", k1950),
                                             entry(1003, "СИДОРОВ", "СИДОР", "", Date())};
    const std::vector<std::vector<std::string>> records = {
        rec("1", "ИВАНОВ", "ИВАН", "ИВАНОВИЧ", "01.02.1950", n1),    // patronymic differs, status B
        rec("2", "ПЕТРОВА", "ПАВЕЛ", "ИВАНОВНА", "01.02.1950", n2),  // two parts differ
        rec("3", "СИДОРОВ", "СИДОР", "", "01.02.1950", n3)};         // birth against an empty one
    Check plain(dir);
    plain.region.file("PDL.DBF", kPdl, records);
    ASSERT_TRUE(plain.go());
    EXPECT_EQ(plain.recordLines().size(), 5u);  // two for each name difference, one for the birth
    Check soft(dir, CheckOptions{true, true, false, false});
    soft.severe = true;
    soft.region.file("PDL.DBF", kPdl, records);
    ASSERT_TRUE(soft.go());
    EXPECT_EQ(soft.recordLines(),
              (std::vector<std::string>{"7 2 " + n2 + ": ПЕТРОВА ПАВЕЛ ИВАНОВНА 01.02.1950  Расхождение в ФИО ",
                                        "     в СПУ  числится ПЕТРОВ ПАВЕЛ ИВАНОВИЧ"}));
}

// The continuation fields extend the names in PDL.DBF and PDLN.DBF; the second number is
// judged in PDL.DBF only; a missing required field ends the run after the closing lines.
TEST(CheckNumbers, ContinuationFieldsSecondNumbersAndMissingFields) {
    auto withMore = kPdl;
    withMore.push_back({"FMDP", 'C', 10, 0});
    const std::string n1 = u(numberText(1001));
    Check c({entry(1001, "КОНСТАНТИНОПОЛЬСКИЙ-ВЕЛИК", "ИВАН", "", k1950)});
    auto pdl = rec("1", "КОНСТАНТИНОПОЛЬСКИЙ", "ИВАН", "", "01.02.1950", n1, "12345678965");
    pdl.push_back("-ВЕЛИКИЙ");
    c.region.file("PDL.DBF", withMore, {pdl});
    c.region.file("PDLN.DBF", withMore, {pdl});
    ASSERT_TRUE(c.go());
    const auto lines = c.lines();
    // 25 characters after the continuation: equal to the directory's surname.
    EXPECT_EQ(c.recordLines(), (std::vector<std::string>{"7 1 " + n1 +
                                                         ": КОНСТАНТИНОПОЛЬСКИЙ-ВЕЛИК ИВАН   неправильный 2й "
                                                         "стр.N 12345678965"}));
    const auto pdln = std::find(lines.begin(), lines.end(),
                                "Участок " + u(w(c.region.district.string())) + "  файл PDLN.DBF - 1 записей");
    ASSERT_NE(pdln, lines.end());
    EXPECT_EQ(*(pdln + 1), "     Обработано 1 записей, найдено 1 номеров, обнаружено ошибок: 0") << "NPSUI not judged";

    Check missing({});
    auto noSecond = kPdl;
    noSecond.resize(7);
    missing.region.file("PDLN.DBF", noSecond, {rec("1", "А", "Б", "В", "", "")});
    EXPECT_FALSE(missing.go());
    const auto l = missing.lines();
    EXPECT_EQ(l[l.size() - 2], "     Обработано 1 записей, найдено 0 номеров, обнаружено ошибок: 0");
    EXPECT_EQ(missing.host.calls.back().rfind("error ", 0), 0u);

    Check noField({});
    auto short6 = kPdl;
    short6.erase(short6.begin() + 6);  // no NPSU
    noField.region.file("PDL.DBF", short6, {{"7", "1", "А", "Б", "В", "", "", " 1", "03", "М"}});
    EXPECT_FALSE(noField.go());
    EXPECT_EQ(noField.lines()[1], "     Обработано 0 записей, найдено 0 номеров, обнаружено ошибок: 0");
}

// A directory without COND: every found number's processing fails in its place, and the
// walk goes on.
TEST(CheckNumbers, AnErrorWhileComparingIsTheRecordsProcessingError) {
    std::vector<DirectoryEntry> entries = {entry(1001, "А", "Б", "В", k1950)};
    Check c(entries);
    c.directory.hideCond();
    const std::string n1 = u(numberText(1001));
    c.region.file("PDL.DBF", kPdl, {rec("1", "А", "Б", "В", "01.02.1950", n1), rec("2", "А", "Б", "В", "", "")});
    ASSERT_TRUE(c.go());
    EXPECT_EQ(c.recordLines(), (std::vector<std::string>{"7 1 " + n1 + ": А Б В ошибка обработки"}));
}

// ---- the by-products ------------------------------------------------------------------------

TEST(CheckNumbers, UnknownNumbersGoIntoTheNotFoundTableOnce) {
    const std::string unknown = u(numberText(777777777)), other = u(numberText(555555555));
    Check c({}, CheckOptions{false, false, false, true});
    c.region.file("PDL.DBF", kPdl,
                  {rec("1", "ПЕТРОВ", "ПЁТР", "ПЕТРОВИЧ", "01.02.1950", unknown),
                   rec("2", "ДРУГОЙ", "ИВАН", "", "", unknown), rec("3", "СИДОРОВ", "С", "", "", other)});
    ASSERT_TRUE(c.go());
    EXPECT_TRUE(c.recordLines().empty()) << "nothing is reported";
    {
        ParadoxTable t(c.program / "ANKT.DB", EngineSettings{});
        ASSERT_EQ(t.recordCount(), 2);
        t.setIndexFieldNames("");
        const KeyValue k = 777777777;
        ASSERT_TRUE(t.findKey(std::span(&k, 1)));
        EXPECT_EQ(u(t.text(t.fieldByName("FAM"))), "ПЕТРОВ") << "the first record wins";
        EXPECT_EQ(t.date(t.fieldByName("BIRTH")), k1950);
        EXPECT_EQ(u(t.text(t.fieldByName("SEX"))), "М");
        EXPECT_EQ(t.text(t.fieldByName("COND")), "P");
    }
    // A second run keeps the records of the first.
    Check again({}, CheckOptions{false, false, false, true});
    again.region.file("PDL.DBF", kPdl, {rec("1", "НОВЫЙ", "Н", "", "", u(numberText(111111111)))});
    fs::copy_file(c.program / "ANKT.DB", again.program / "ANKT.DB");
    fs::copy_file(c.program / "ANKT.PX", again.program / "ANKT.PX");
    ASSERT_TRUE(again.go());
    EXPECT_EQ(ParadoxTable(again.program / "ANKT.DB", EngineSettings{}).recordCount(), 3);
    // A table that cannot be opened: said once, and the run goes on without it.
    Check broken({}, CheckOptions{false, false, false, true});
    test::writeBytes(broken.program / "ANKT.DB", "not a table");
    broken.region.file("PDL.DBF", kPdl, {rec("1", "А", "Б", "В", "", unknown)});
    ASSERT_TRUE(broken.go());
    EXPECT_EQ(broken.lines()[2], "Ошибка при открытии таблицы ANKT");
    EXPECT_FALSE(broken.run.options.notFoundList);
    EXPECT_EQ(test::readBytes(broken.program / "ANKT.DB"), "not a table");
}

std::string dos(const std::string& utf8) {
    std::string out;
    for (const char c : w(utf8)) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0xE0)
            out += static_cast<char>(b - 0x60);  // а..я -> 866 capitals
        else if (b >= 0xC0)
            out += static_cast<char>(b - 0x40);  // А..Я
        else
            out += c;
    }
    return out;
}

TEST(CheckNumbers, TheExchangeBatchHoldsItsHeadLinesAndOneApplicationPerPerson) {
    std::vector<DirectoryEntry> dir;
    std::vector<std::vector<std::string>> records;
    for (int i = 1; i <= 6; ++i) {  // six persons whose data are equal
        dir.push_back(entry(1000 + i, "РАВНЫЙ", "Р", "Р", k1950));
        records.push_back(rec("1", "РАВНЫЙ", "Р", "Р", "01.02.1950", u(numberText(1000 + i))));
    }
    dir.push_back(entry(123456789, "ИВАНОВ", "ИВАН", "ИВАНОВИЧ", k1950));
    records.push_back(rec("7", "ИВАНОВА", "ИВАН", "ИВАНОВИЧ", "01.02.1950", "12345678964"));
    dir.push_back(entry(2001, "Ква\"зи", "ИМЯ", "", Date::fromYmd(1950, 2, 3)));
    records.push_back(rec("8", "ква\"зи", "ИМЯ", "", "01.02.1950", u(numberText(2001))));
    dir.push_back(entry(2002, "ДАТА", "Д", "", k1950));
    records.push_back(rec("9", "ДАТА", "Д", "", "03.04.1951", u(numberText(2002))));
    dir.push_back(entry(2003, "ПУСТАЯ", "Д", "", k1950));
    records.push_back(rec("10", "ПУСТАЯ", "Д", "", "", u(numberText(2003))));  // birth empty: no line
    Check c(dir, CheckOptions{false, false, true, false});
    c.region.file("PDL.DBF", kPdl, records);
    ASSERT_TRUE(c.go());
    const std::string batch = test::readBytes(c.program / kBatchFileName);
    const std::string head =
        dos("\"ЗГЛВ\",\"04.00\",\"NOMSTAV\",\"V04.10\"\r\n"
            "\"РБТД\",\"РБТД\",\"012-345-678901\",0,0,\"ОПФР\"\r\n"
            "\"ПАЧК\",1,\"ОБМН\",\"ОП61\",\"10/10/2004\",0,0,\"\",\"\",\"\",\"\",\"\",0,0,0,0,0,0,0,0,0\r\n"
            "\"ТИПД\",\"ОБМН\",100\r\n");
    ASSERT_EQ(batch.substr(0, head.size()), head);
    const std::string tail =
        ",0,0,0,\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",,\"\",\"\",\"\",\"\",\"\"\r\n";
    EXPECT_EQ(batch.substr(head.size()),
              dos("\"ОБМН\",1,\"10/10/2005\",\"123-456-789 64\",\"ИВАНОВ\",\"ИВАН\",\"ИВАНОВИЧ\",\"ИВАНОВА\",\"\",\"\","
                  "\"\",\"\",\"\"" +
                  tail + "\"ОБМН\",2,\"10/10/2005\",\"" + u(displayForm(2001)) +
                  "\",\"КВА'ЗИ\",\"ИМЯ\",\"\",\"КВА'ЗИ\",\"\",\"\",\"\",\"\",\"01/02/1950\"" + tail +
                  "\"ОБМН\",3,\"10/10/2005\",\"" + u(displayForm(2002)) +
                  "\",\"ДАТА\",\"Д\",\"\",\"\",\"\",\"\",\"\",\"\",\"03/04/1951\"" + tail));
}

// The example of the batch format, the seventh application of a run, byte for byte.
TEST(CheckNumbers, TheApplicationLineOfTheExample) {
    test::TempDir dir;
    {
        Persdat2 b(dir / kBatchFileName, "000-000-000000");
        for (int n = 1; n <= 7; ++n)
            b.application({n, 123456789, w("ИВАНОВ"), w("ИВАН"), w("ИВАНОВИЧ"), w("ИВАНОВА"), w("ИВАН"), w("ИВАНОВИЧ"),
                           true, false, "01.02.1950"});
        b.close();
    }
    const std::string all = test::readBytes(dir / kBatchFileName);
    std::vector<std::string> lines;
    for (std::size_t at = 0, nl; (nl = all.find("\r\n", at)) != std::string::npos; at = nl + 2)
        lines.push_back(all.substr(at, nl - at));
    ASSERT_EQ(lines.size(), 4u + 7u);
    EXPECT_EQ(lines[10],
              dos("\"ОБМН\",7,\"10/10/2005\",\"123-456-789 64\",\"ИВАНОВ\",\"ИВАН\",\"ИВАНОВИЧ\",\"ИВАНОВА\","
                  "\"\",\"\",\"\",\"\",\"\",0,0,0,\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",,"
                  "\"\",\"\",\"\",\"\",\"\""));
}

TEST(CheckNumbers, TheBatchCounterGoesRoundAfterAHundred) {
    std::vector<DirectoryEntry> dir;
    std::vector<std::vector<std::string>> records;
    for (int i = 1; i <= 205; ++i) {
        dir.push_back(entry(5000 + i, "ИМЯ", "И", "", k1950));
        records.push_back(rec("1", "ИНОЕ", "И", "", "01.02.1950", u(numberText(5000 + i))));
    }
    Check c(dir, CheckOptions{false, false, true, false});
    c.region.file("PDL.DBF", kPdl, records);
    ASSERT_TRUE(c.go());
    const std::string batch = test::readBytes(c.program / kBatchFileName);
    std::vector<int> counters;
    const std::string key = dos("\"ОБМН\",");
    for (std::size_t at = batch.find("\r\n" + key); at != std::string::npos; at = batch.find("\r\n" + key, at + 2))
        counters.push_back(std::stoi(batch.substr(at + 2 + key.size())));
    ASSERT_EQ(counters.size(), 205u);
    EXPECT_EQ(counters[98], 99);
    EXPECT_EQ(counters[99], 100);
    EXPECT_EQ(counters[100], 1);
    EXPECT_EQ(counters[204], 5);
}

// ---- the same over a file walked in parts ---------------------------------------------------

struct Outcome {
    std::vector<std::string> lines;
    std::string batch;
    std::set<std::int32_t> notFound;
};

Outcome mixedRun(bool parts) {
    std::vector<DirectoryEntry> dir;
    std::vector<std::vector<std::string>> records;
    for (int i = 0; i < 3000; ++i) {
        const int body = 100000 + i % 900;
        if (i < 900 && i % 7 != 3) dir.push_back(entry(body, "ФАМ", "ИМ", "ОТ", k1950, i % 11 == 0 ? "C" : "A"));
        const char* fm = i % 5 == 0 ? "ФАМА" : "ФАМ";
        const char* dtr = i % 4 == 0 ? "02.02.1950" : "01.02.1950";
        std::string npsu = u(numberText(body));
        if (i % 13 == 0) npsu = "";
        if (i % 17 == 0) npsu = "12-34";
        records.push_back(rec(std::to_string(i).c_str(), fm, "ИМ", "ОТ", dtr, npsu, i % 19 == 0 ? "1" : ""));
    }
    Check c(dir, CheckOptions{false, false, true, true});
    c.directory.givesCursors = parts;
    c.settings.threads = parts ? 3 : 1;
    test::ChunkSlots chunks(parts ? 7 : 1 << 20);
    c.emptyList = true;
    c.region.file("PDL.DBF", kPdl, records);
    EXPECT_TRUE(c.go());
    Outcome o;
    for (std::size_t i = 0; i < c.report.lineCount(); ++i) o.lines.push_back(c.coloured(i));
    o.batch = test::readBytes(c.program / kBatchFileName);
    ParadoxTable t(c.program / "ANKT.DB", EngineSettings{});
    for (t.first(); !t.eof(); t.next()) o.notFound.insert(t.integer(0));
    // The report's directory differs from run to run.
    const std::string place = u(w(c.region.district.string()));
    for (std::string& l : o.lines)
        for (std::size_t at; (at = l.find(place)) != std::string::npos;) l.replace(at, place.size(), "U01");
    return o;
}

TEST(CheckNumbers, AFileWalkedInPartsGivesTheReportBatchAndTableOfOneWalk) {
    const Outcome one = mixedRun(false), parts = mixedRun(true);
    ASSERT_GT(one.lines.size(), 1000u);
    EXPECT_EQ(parts.lines, one.lines);
    EXPECT_EQ(parts.batch, one.batch);
    EXPECT_EQ(parts.notFound, one.notFound);
    EXPECT_FALSE(one.notFound.empty());
}

}  // namespace
}  // namespace check_numbers_test
}  // namespace strnum
