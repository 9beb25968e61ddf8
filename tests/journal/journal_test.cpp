// The journal of a writing run and its undo: every district file back byte for byte (its
// header date aside) after a run, after runs killed at random moments, and around edits
// other programs made since; a journal cut short or damaged undone up to the damage; a
// journal that cannot be written stops the writes; old journals go; the journal is private.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <map>
#include <random>
#include <thread>

#include "dbase/dbf_table.h"
#include "demo/demo_region.h"
#include "journal/journal_reader.h"
#include "journal/run_journal.h"
#include "journal/undo.h"
#include "operations/assign_numbers.h"
#include "settings/settings.h"
#include "support/test_support.h"
#include "system/file_faults.h"
#include "system/paths.h"
#include "walk/recording_host.h"
#include "walk/text_host.h"

namespace strnum {
namespace {

namespace fs = std::filesystem;
using test::u;
using test::w;

// Every district file of a region with its bytes; the header's date (bytes 1-3) blanked.
std::map<std::string, std::string> districtFiles(const fs::path& region) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(region / "ORTAN")) {
        if (!e.is_regular_file() || e.path().extension() != ".DBF") continue;
        std::string bytes = test::readBytes(e.path());
        if (bytes.size() > 4) bytes.replace(1, 3, "...");
        files[e.path().string()] = std::move(bytes);
    }
    return files;
}

// Records whose bytes differ between two states of the same district files.
std::int64_t changedRecords(const std::map<std::string, std::string>& a, const std::map<std::string, std::string>& b) {
    std::int64_t changed = 0;
    for (const auto& [file, was] : a) {
        const std::string& before = was;
        const std::string& after = b.at(file);
        const auto u16 = [&](std::size_t at) {
            return static_cast<std::size_t>(static_cast<unsigned char>(before[at]) |
                                            static_cast<unsigned char>(before[at + 1]) << 8);
        };
        const std::size_t header = u16(8), length = u16(10);
        for (std::size_t at = header; at + length <= before.size() && at + length <= after.size(); at += length)
            changed += before.compare(at, length, after, at, length) != 0;
    }
    return changed;
}

struct WritingRun {
    test::TempDir dir;
    fs::path region = dir / "region";
    Settings settings;
    std::map<std::string, std::string> before;
    bool ok = false;
    TextHost host;
    Report report;
    explicit WritingRun(DemoOptions options = DemoOptions{3, 80, 0, 5}) {
        writeDemoRegion(region, options);
        settings = loadSettings(region / kSettingsFileName);
        before = districtFiles(region);
    }
    // A writing assignment with its journal in the region's folder; the journal's path.
    fs::path assign(AssignCounters* total = nullptr) {
        auto journal = RunJournal::start(region, {"assign", settings.wayPath, settings.dbPath}, 90);
        EngineSettings engine = settings.engine;
        engine.journal = journal;
        host = TextHost();
        TableObject tblPDL(engine), tblNUM(settings.engine);
        tblNUM.setDirectory(resolveDirectory(settings.dbPath, settings.engine));
        tblNUM.setTableName("NUMS");
        AssignRun run{host,
                      report,
                      tblPDL,
                      [&]() -> Table& {
                          if (!tblNUM.isOpen()) tblNUM.open();
                          return tblNUM.table();
                      },
                      engine,
                      false,
                      {}};
        ok = assignNumbers(run, settings.wayPath);
        journal->finish(ok, assignCounters(run.total), {});
        if (total) *total = run.total;
        return journal->path();
    }
    UndoTotals undo(const fs::path& journal, bool dryRun = false, Report* shown = nullptr) {
        Report report;
        const UndoTotals t = undoJournal(readJournal(journal), dryRun, settings.engine, shown ? *shown : report);
        return t;
    }
};

TEST(Journal, ARunUndoneLeavesEveryDistrictFileAsBefore) {
    WritingRun r;
    AssignCounters total;
    const fs::path journal = r.assign(&total);
    ASSERT_GT(total.written, 10);
    EXPECT_NE(districtFiles(r.region), r.before);

    // The journal: private, what the run was, a line per field written, how it ended.
    EXPECT_EQ(test::whoMayOpen(journal), "owner");
    EXPECT_EQ(journal.parent_path(), r.region / "journal");
    const JournalContents j = readJournal(journal);
    EXPECT_FALSE(j.damage.has_value()) << u(j.damage.value_or(""));
    EXPECT_EQ(j.operation, "assign");
    EXPECT_TRUE(j.ended);
    EXPECT_TRUE(j.ok);
    EXPECT_GE(static_cast<std::int64_t>(j.writes.size()), total.written);
    EXPECT_FALSE(j.files.empty());

    // A dry run changes nothing and tells what it would do.
    const auto written = districtFiles(r.region);
    const UndoTotals dry = r.undo(journal, true);
    EXPECT_EQ(dry.restored, static_cast<std::int64_t>(j.writes.size()));
    EXPECT_EQ(districtFiles(r.region), written);

    Report report;
    const UndoTotals t = r.undo(journal, false, &report);
    EXPECT_EQ(t.restored, static_cast<std::int64_t>(j.writes.size()));
    EXPECT_EQ(t.left, 0);
    EXPECT_EQ(districtFiles(r.region), r.before);
    const std::string last(report.line(report.lineCount() - 1));
    EXPECT_EQ(u(last), "Всего: восстановлено " + std::to_string(t.restored) + ", оставлено 0");
    EXPECT_TRUE(u(report.line(1)).starts_with("Участок ")) << u(report.line(1));

    // Twice: nothing more to do.
    const UndoTotals again = r.undo(journal);
    EXPECT_EQ(again.restored, 0);
    EXPECT_EQ(again.left, 0);
    EXPECT_EQ(again.already, t.restored);
    EXPECT_EQ(districtFiles(r.region), r.before);
}

TEST(Journal, EditsMadeSinceStayAndAreReported) {
    WritingRun r;
    const fs::path journal = r.assign();
    const JournalContents j = readJournal(journal);
    ASSERT_GE(j.writes.size(), 4u);
    // Another program changes two written fields and another field of those records.
    std::vector<std::tuple<fs::path, std::int64_t, std::string>> changed;
    for (std::size_t k = 0; k < 2; ++k) {
        const JournalWrite& wr = j.writes[k * 3];
        const fs::path file = j.files.at(wr.file).path;
        DbfTable t(file, "X", r.settings.engine);
        ASSERT_TRUE(t.goToRecord(wr.record));
        t.edit();
        const FieldId f = *t.findField(wr.field);
        std::string other(wr.after.size(), '7');
        t.setFieldBytes(f, other);
        t.setText(t.fieldByName(j.files.at(wr.file).path.filename() == "NZKORM.DBF" ? "FAM" : "FM"), w("ПРАВКА"));
        t.post();
        changed.emplace_back(file, wr.record, wr.field);
    }
    Report report;
    const UndoTotals t = r.undo(journal, false, &report);
    EXPECT_EQ(t.left, 2);
    EXPECT_EQ(t.restored, static_cast<std::int64_t>(j.writes.size()) - 2);
    std::string all;
    for (std::size_t i = 0; i < report.lineCount(); ++i) all += u(report.line(i)) + "\n";
    for (const auto& [file, record, field] : changed) {
        EXPECT_NE(all.find("запись " + std::to_string(record) + ", поле " + u(field) +
                           ": изменено после запуска, сейчас \"7777"),
                  std::string::npos)
            << all;
        DbfTable t(file, "X", r.settings.engine);
        ASSERT_TRUE(t.goToRecord(record));
        EXPECT_EQ(t.fieldBytes(*t.findField(field)).substr(0, 4), "7777");  // the edit stays
        EXPECT_EQ(u(t.text(t.fieldByName(file.filename() == "NZKORM.DBF" ? "FAM" : "FM"))), "ПРАВКА");
    }
}

// The command-line run killed at random moments; undo then brings every file back.
TEST(Journal, RunsKilledAtRandomMomentsAreUndoneCompletely) {
    std::mt19937 random(20261209);
    double full = 0;
    int cutShort = 0;  // runs killed after some writes and before their end
    // The moments follow how long runs take on this machine now: a run that ended before
    // its kill makes the later kills come sooner, one killed before its journal later.
    for (int attempt = 0; attempt < 60 && (attempt < 21 || cutShort < 3); ++attempt) {
        WritingRun r(DemoOptions{4, 600, 0, 11});
        const auto t0 = std::chrono::steady_clock::now();
        test::ChildProcess run({test::cliProgram(), "assign"}, r.region, test::ChildProcess::Output::Discarded);
        if (attempt == 0) {
            // The first run goes to its end: how long a run takes, and that undo works on it.
            (void)run.wait();
            full = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        } else {
            std::uniform_real_distribution<double> at(0.0, full);
            std::this_thread::sleep_for(std::chrono::duration<double>(at(random)));
            run.kill();
        }
        const auto journals = RunJournal::list(r.region);
        if (journals.empty()) {  // killed before its journal: nothing can have been written
            EXPECT_EQ(districtFiles(r.region), r.before) << "attempt " << attempt;
            full *= 1.3;
            continue;
        }
        ASSERT_EQ(journals.size(), 1u);
        const UndoTotals t = r.undo(journals[0]);
        const bool ended = readJournal(journals[0]).ended;
        if (attempt > 0 && t.restored > 0 && !ended) ++cutShort;
        if (attempt > 0 && ended) full *= 0.7;
        EXPECT_EQ(districtFiles(r.region), r.before) << "attempt " << attempt << ", restored " << t.restored;
        if (attempt == 0) {
            EXPECT_GT(t.restored, 0);
        }
    }
    EXPECT_GE(cutShort, 3);
}

TEST(Journal, ADamagedJournalIsUndoneUpToTheDamage) {
    WritingRun r;
    const fs::path journal = r.assign();
    const std::string bytes = test::readBytes(journal);
    const JournalContents whole = parseJournal(bytes, "j");
    ASSERT_GT(whole.writes.size(), 6u);

    // The last line cut: every write before it still counts.
    const std::string cut = bytes.substr(0, bytes.size() - 5);
    const JournalContents c = parseJournal(cut, "j");
    ASSERT_TRUE(c.damage.has_value());
    EXPECT_NE(u(*c.damage).find("оборвана"), std::string::npos);
    EXPECT_EQ(c.writes.size(), whole.writes.size());
    EXPECT_FALSE(c.ended);

    // A line of garbage in the middle: the writes before it, a message naming the line.
    std::size_t at = 0;
    for (int lines = 0; lines < 6; ++lines) at = bytes.find('\n', at) + 1;
    const std::string garbage = bytes.substr(0, at) + "{\"w\":1,\"record\":\n" + bytes.substr(at);
    const JournalContents g = parseJournal(garbage, "j");
    ASSERT_TRUE(g.damage.has_value());
    EXPECT_NE(u(*g.damage).find("строка 7"), std::string::npos) << u(*g.damage);
    EXPECT_LT(g.writes.size(), whole.writes.size());
    test::writeBytes(journal, garbage);
    Report report;
    const UndoTotals t = r.undo(journal, false, &report);
    EXPECT_EQ(t.restored, static_cast<std::int64_t>(g.writes.size()));
    EXPECT_EQ(t.left, 1);  // the damage itself
    std::string all;
    for (std::size_t i = 0; i < report.lineCount(); ++i) all += u(report.line(i)) + "\n";
    EXPECT_NE(all.find("строка 7"), std::string::npos) << all;

    // Not a journal at all, and an empty one.
    EXPECT_TRUE(parseJournal("{\"x\":1}\n", "j").damage.has_value());
    EXPECT_TRUE(parseJournal("", "j").damage.has_value());
    EXPECT_TRUE(parseJournal("\x01\x02\n\n", "j").damage.has_value());
    const JournalContents unknown = parseJournal(
        "{\"journal\":\"strnum\"}\n{\"w\":9,\"record\":1,\"field\":\"F\",\"before\":\"20\",\"after\":\"31\"}\n", "j");
    EXPECT_TRUE(unknown.writes.empty());
    EXPECT_TRUE(unknown.damage.has_value());
}

// A journal that cannot be written ends the run before the first record it could not note,
// in a small file and in one walked in parts on two threads.
void journalThatCannotBeWritten(const DemoOptions& options, int threads, int failingWrite) {
    WritingRun r(options);
    r.settings.engine.threads = threads;
    int journalWrites = 0;
    faults::ScopedInjector fail([&](const faults::WriteCall& c) {
        if (c.call == faults::Call::Write && c.file.parent_path().filename() == "journal" &&
            ++journalWrites == failingWrite)
            return faults::Fault{ENOSPC, 10};
        return faults::Fault{};
    });
    AssignCounters total;
    const fs::path journal = r.assign(&total);
    // The run ends with the journal's error, before the first record it could not note;
    // nothing was reported as a failed write, and the counters hold what was written.
    EXPECT_FALSE(r.ok);
    ASSERT_EQ(r.host.errors.size(), 1u);
    EXPECT_NE(u(r.host.errors[0]).find(u(pathTo1251(journal))), std::string::npos) << u(r.host.errors[0]);
    EXPECT_NE(u(r.host.errors[0]).find("нет места на диске"), std::string::npos) << u(r.host.errors[0]);
    for (std::size_t i = 0; i < r.report.lineCount(); ++i)
        EXPECT_EQ(u(r.report.line(i)).find("Ошибка записи"), std::string::npos) << u(r.report.line(i));
    EXPECT_EQ(changedRecords(r.before, districtFiles(r.region)), total.written);
    EXPECT_NE(u(r.host.question).find("проставлено: " + std::to_string(total.written) + " номеров"), std::string::npos);
    // Whatever reached the district files is in the journal: undo brings all back.
    const JournalContents j = readJournal(journal);
    EXPECT_TRUE(j.damage.has_value());  // the line cut by the full disk
    Report report;
    undoJournal(j, false, r.settings.engine, report);
    EXPECT_EQ(districtFiles(r.region), r.before);
}

TEST(Journal, AJournalThatCannotBeWrittenStopsTheWrites) { journalThatCannotBeWritten(DemoOptions{3, 80, 0, 5}, 1, 4); }

TEST(Journal, AJournalThatCannotBeWrittenStopsTheWritesOfAFileWalkedInChunks) {
    // How many writes of its journal the run makes (its first line, the notes of each chunk's
    // records, the last line); then failing early, in the middle and at the last notes.
    const DemoOptions region{2, 12000, 0, 7};
    test::ChunkSlots chunks(1000);
    int writes = 0;
    {
        WritingRun r(region);
        r.settings.engine.threads = 2;
        faults::ScopedInjector count([&](const faults::WriteCall& c) {
            if (c.call == faults::Call::Write && c.file.parent_path().filename() == "journal") ++writes;
            return faults::Fault{};
        });
        r.assign();
    }
    ASSERT_GT(writes, 8);
    for (const int failing : {2, writes / 3, 2 * writes / 3, writes - 1}) {
        SCOPED_TRACE(failing);
        journalThatCannotBeWritten(region, 2, failing);
    }
}

TEST(Journal, OldJournalsGoAtTheStartOfAWritingRun) {
    test::TempDir dir;
    auto first = RunJournal::start(dir.path(), {"assign", "", ""}, 90);
    first->finish(true, {}, {});
    const fs::path old = first->path().parent_path() / "2020-01-01_00-00-00.jsonl";
    fs::rename(first->path(), old);
    first.reset();
    fs::last_write_time(old, fs::file_time_type::clock::now() - std::chrono::hours(24 * 91));
    auto second = RunJournal::start(dir.path(), {"assign", "", ""}, 90);
    EXPECT_FALSE(fs::exists(old));
    EXPECT_TRUE(fs::exists(second->path()));
    auto third = RunJournal::start(dir.path(), {"assign", "", ""}, 90);  // the same second: a name of its own
    EXPECT_NE(third->path(), second->path());
    EXPECT_EQ(RunJournal::list(dir.path()).size(), 2u);
}

}  // namespace
}  // namespace strnum
