#include "hints/near_matches.h"

#include <gtest/gtest.h>

#include "data/table_object.h"
#include "identity/insurance_number.h"
#include "journal/journal_reader.h"
#include "journal/run_journal.h"
#include "journal/undo.h"
#include "support/memory_directory.h"
#include "support/region.h"
#include "support/test_support.h"
#include "walk/recording_host.h"

namespace strnum {
namespace near_matches_test {  // names of its own: the Windows build compiles test files together
namespace {

using test::DirectoryEntry;
using test::MemoryDirectory;
using test::RecordingHost;
using test::u;
using test::w;

const std::vector<DbfFieldSpec> kPdlFields = {
    {"NPD", 'C', 8, 0},   {"FM", 'C', 30, 0},    {"IM", 'C', 20, 0}, {"OT", 'C', 20, 0}, {"DTR", 'D', 8, 0},
    {"NPSU", 'C', 11, 0}, {"NPSUI", 'C', 11, 0}, {"VDP", 'C', 2, 0}, {"VP", 'C', 2, 0},  {"POL", 'C', 1, 0}};

DirectoryEntry person(std::int32_t num, const char* fam, const char* nam, const char* otch, Date birth,
                      const char* cond = "A") {
    return {num, w(fam), w(nam), w(otch), birth, cond};
}

const Date k1950 = Date::fromYmd(1950, 2, 1);
const Date k1961 = Date::fromYmd(1961, 11, 5);

// A district whose PDL.DBF holds a person found exactly, two typed as another office typed
// them, and one the directory lacks; a directory of them and of many others.
struct HintRegion {
    test::Region region;
    RecordingHost host;
    Report report;
    TableObject tblPDL;
    EngineSettings settings;
    MemoryDirectory directory;
    std::vector<NotFoundPerson> missed;
    AssignRun run;

    HintRegion()
        : directory(entries()), run{host,     report, tblPDL, [this]() -> Table& { return directory; },
                                    settings, true,   {},     &missed} {
        directory.givesCursors = true;
        region.file("PDL.DBF", kPdlFields,
                    {{"1", "ИВАНОВ", "ИВАН", "ИВАНОВИЧ", "01.02.1950", "", "", " 3", "01"},
                     {"2", "ФЕДОРОВ", "ПЕТР", "СЕМЕНОВИЧ", "01.02.1950", "", "", " 3", "01"},
                     {"3", "КУЗНЕЦОВА", "ПАВЛОВНА", "ЛЮДМИЛА", "05.11.1961", "123", "", " 1", "03"},
                     {"4", "ЦЫПЛАКОВ", "ЕРМОЛАЙ", "ФОКИЧ", "07.07.1907", "", "", " 3", "01"}});
    }
    static std::vector<DirectoryEntry> entries() {
        std::vector<DirectoryEntry> e = {person(11, "ИВАНОВ", "ИВАН", "ИВАНОВИЧ", k1950),
                                         person(22, "ФЁДОРОВ", "ПЁТР", "СЕМЁНОВИЧ", k1950, "B"),
                                         person(33, "КУЗНЕЦОВА", "ЛЮДМИЛА", "ПАВЛОВНА", k1961)};
        const char* const fams[] = {"СМИРНОВ", "ПОПОВ", "ВАСИЛЬЕВ", "СОКОЛОВ", "МИХАЙЛОВ", "НОВИКОВ", "МОРОЗОВ"};
        const char* const nams[] = {"АЛЕКСЕЙ", "СЕРГЕЙ", "НИКОЛАЙ", "ОЛЕГ", "ЮРИЙ"};
        const char* const otchs[] = {"ПЕТРОВИЧ", "АНДРЕЕВИЧ", "ЮРЬЕВИЧ", "ОЛЕГОВИЧ"};
        for (int i = 0; i < 700; ++i)
            e.push_back(person(1000 + i, fams[i % 7], nams[i / 7 % 5], otchs[i / 35 % 4],
                               Date::fromYmd(1930 + i % 50, 1 + i % 12, 1 + i % 28)));
        std::sort(e.begin(), e.end(), [](const DirectoryEntry& a, const DirectoryEntry& b) {
            return std::tie(a.fam, a.nam, a.otch, a.birth) < std::tie(b.fam, b.nam, b.otch, b.birth);
        });
        return e;
    }
    std::vector<NearMatch> find() {
        EXPECT_TRUE(assignNumbers(run, region.dir.path().string()));
        return findNearMatches(directory, missed, 1);
    }
};

TEST(NearMatches, AnAssignmentNotesWhomItMissesAndTheirHintsNameTheRightEntries) {
    HintRegion r;
    const std::vector<NearMatch> m = r.find();
    // The person found exactly is not looked at; the others in the order of the walk.
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(m[0].person.record, 2);
    EXPECT_EQ(m[1].person.record, 3);
    EXPECT_EQ(m[2].person.record, 4);
    EXPECT_EQ(m[0].person.district, r.region.district.string());
    EXPECT_EQ(m[0].person.kind, 0);
    EXPECT_EQ(u(m[1].person.numberText), "123");
    // Ё written as Е: only the spelling differs; name and patronymic exchanged.
    ASSERT_FALSE(m[0].hints.empty());
    EXPECT_EQ(m[0].hints[0].hint.num, 22);
    EXPECT_EQ(u(m[0].hints[0].status), "B");
    EXPECT_EQ(differenceNames(m[0].hints[0].hint.differs), (std::vector<std::string>{"surname", "name", "patronymic"}));
    ASSERT_FALSE(m[1].hints.empty());
    EXPECT_EQ(m[1].hints[0].hint.num, 33);
    EXPECT_EQ(differenceNames(m[1].hints[0].hint.differs), (std::vector<std::string>{"name", "patronymic"}));
    EXPECT_TRUE(m[2].hints.empty());
    // Nothing was written by finding them.
    EXPECT_EQ(r.region.column("PDL.DBF", "NPSU"), (std::vector<std::string>{"", "", "123", ""}));
}

TEST(NearMatches, TheReportColoursTheStretchThatDiffers) {
    HintRegion r;
    const std::vector<NearMatch> m = r.find();
    Report report;
    writeNearMatches(m, report, kRed);
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < report.lineCount(); ++i) lines.push_back(u(report.line(i)));
    const std::string d = r.region.district.string();
    ASSERT_GE(lines.size(), 7u);
    EXPECT_EQ(lines[1], "Не найдено : 3, есть похожие : 2, из них точно : 2");
    EXPECT_EQ(lines[3], "Участок " + d + "  файл PDL.DBF  запись 2: 2 ФЕДОРОВ ПЕТР СЕМЕНОВИЧ 01.02.1950");
    EXPECT_EQ(lines[4], "   1) 000-000-022 06  ФЁДОРОВ ПЁТР СЕМЁНОВИЧ 01.02.1950  статус <B>  точно");
    EXPECT_EQ(lines.back(), "Без похожих : 1");
    // In red: the Ё of each part and what follows up to the common ending.
    std::vector<std::string> red;
    report.forEachRun(4, [&](const strnum::Run& run) {
        if (run.colour == kRed) red.push_back(u(run.text));
    });
    EXPECT_EQ(red, (std::vector<std::string>{"Ё", "Ё", "Ё"}));
}

// The journal of a writing run of its own, as the window keeps it.
struct ChosenRun {
    HintRegion r;
    std::shared_ptr<RunJournal> journal;
    EngineSettings engine;
    RecordingHost host;
    Report report;
    ChosenCounters counters;
    std::vector<bool> written;  // per chosen hint, by the last write
    ChosenRun() {
        journal = RunJournal::start(r.region.dir.path(), {"hints", "", ""}, 90);
        engine.journal = journal;
    }
    bool write(const std::vector<ChosenHint>& chosen) {
        const bool ok = writeChosenHints(chosen, engine, report, host, counters, &written);
        journal->finish(ok, chosenCounters(counters), {});
        return ok;
    }
    std::vector<std::string> lines() const {
        std::vector<std::string> out;
        for (std::size_t i = 0; i < report.lineCount(); ++i) out.push_back(u(report.line(i)));
        return out;
    }
};

TEST(NearMatches, ChosenNumbersAreWrittenAsTheAssignmentWritesAndAreUndone) {
    ChosenRun c;
    const std::vector<NearMatch> m = c.r.find();
    const auto before = test::readBytes(c.r.region.district / "PDL.DBF");
    // Record 2 (second number by its rule too) and record 3 (a malformed number replaced).
    ASSERT_TRUE(c.write({{m[0].person, m[0].hints[0].hint.num}, {m[1].person, m[1].hints[0].hint.num}}));
    EXPECT_EQ(c.counters.written, 2);
    EXPECT_EQ(c.written, (std::vector<bool>{true, true}));
    EXPECT_EQ(c.r.region.column("PDL.DBF", "NPSU"), (std::vector<std::string>{"", "00000002206", "00000003309", ""}));
    EXPECT_EQ(c.r.region.column("PDL.DBF", "NPSUI"), (std::vector<std::string>{"", "00000002206", "", ""}));
    const std::string d = c.r.region.district.string();
    EXPECT_EQ(c.lines()[1], "Проставлен номер 000-000-022 06 у N 2 ФЕДОРОВ ПЕТР СЕМЕНОВИЧ 01.02.1950 (участок " + d +
                                ", файл PDL.DBF, запись 2)");
    EXPECT_EQ(c.lines().back(), "Проставлено : 2, не проставлено : 0");

    Report shown;
    const UndoTotals t = undoJournal(readJournal(c.journal->path()), false, EngineSettings{}, shown);
    (void)t;
    const auto after = test::readBytes(c.r.region.district / "PDL.DBF");
    // Every record byte as before (the header's date of last change may differ).
    EXPECT_EQ(after.substr(32), before.substr(32));
}

TEST(NearMatches, ARecordThatChangedSinceTheSearchIsNotWritten) {
    ChosenRun c;
    const std::vector<NearMatch> m = c.r.find();
    // Meanwhile another program wrote a number into record 2 and another person into record 3.
    {
        auto t = openTable(c.r.region.district, "PDL.DBF", TableType::Dbase, {});
        ASSERT_TRUE(t->goToRecord(2));
        t->edit();
        t->setText(t->fieldByName("NPSU"), "00000000101");
        t->post();
        ASSERT_TRUE(t->goToRecord(3));
        t->edit();
        t->setText(t->fieldByName("FM"), w("СИДОРОВА"));
        t->post();
    }
    const auto before = test::readBytes(c.r.region.district / "PDL.DBF");
    ChosenHint gone = {m[0].person, 22};
    gone.person.record = 9;  // past the end of the file
    ASSERT_TRUE(c.write({{m[0].person, 22}, {m[1].person, 33}, gone}));
    EXPECT_EQ(c.counters.written, 0);
    EXPECT_EQ(c.counters.notWritten, 3);
    EXPECT_EQ(c.written, (std::vector<bool>{false, false, false}));
    EXPECT_EQ(test::readBytes(c.r.region.district / "PDL.DBF"), before);
    const auto lines = c.lines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_NE(lines[1].find("в записи уже есть номер 00000000101"), std::string::npos) << lines[1];
    EXPECT_NE(lines[2].find("запись изменилась после поиска: в ней другой человек"), std::string::npos) << lines[2];
    EXPECT_NE(lines[3].find("записи больше нет в файле"), std::string::npos) << lines[3];
    EXPECT_EQ(c.host.calls.size(), 3u);  // a notice for each
}

}  // namespace
}  // namespace near_matches_test
}  // namespace strnum
