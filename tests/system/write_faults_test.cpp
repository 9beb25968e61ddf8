// Every path that writes a file, with a write that fails at each of its calls in turn: a
// full disk (nothing written), an I/O error after part of the bytes, a file made read-only,
// a file removed.  After each failure the error names the file in Russian, and what is on
// disk is what was there before or what was to be written, never a mixture: a dBASE record
// all old or all new with the rest of the table untouched, a Paradox table that opens with
// every record posted before, a report file or a settings file the old one or the new one.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <functional>
#include <memory>
#include <set>

#include "base/error.h"
#include "batches/not_found_table.h"
#include "dbase/dbf_table.h"
#include "paradox/paradox_table.h"
#include "paradox/paradox_writer.h"
#include "report/output_file.h"
#include "report/paged_text.h"
#include "report/rtf_writer.h"
#include "settings/settings.h"
#include "support/paradox_index_check.h"
#include "support/test_support.h"
#include "system/file_faults.h"

namespace strnum {
namespace {

namespace fs = std::filesystem;
using test::readBytes;
using test::TempDir;
using test::w;

// The ways a write call fails.  `half`: the bytes of a Write reach the file up to half way.
struct FaultKind {
    const char* what;
    int error;
    bool half;
};
const FaultKind kFaultKinds[] = {
    {"no space left", ENOSPC, false},
    {"I/O error half way", EIO, true},
    {"made read-only", EACCES, false},
#ifdef ESTALE  // a Unix error; Windows names no such case apart
    {"removed (on a network share)", ESTALE, false},
#endif
};

// An injector that counts write calls and fails call number `at` (0-based), or every call
// from `at` on when `persistent`.
faults::Injector failingAt(std::size_t at, const FaultKind& kind, bool persistent = false,
                           std::shared_ptr<std::atomic<std::size_t>> calls = nullptr) {
    if (!calls) calls = std::make_shared<std::atomic<std::size_t>>(0);
    return [=](const faults::WriteCall& c) {
        const std::size_t n = (*calls)++;
        if (n != at && !(persistent && n > at)) return faults::Fault{};
        return faults::Fault{kind.error, kind.half ? c.size / 2 : 0};
    };
}

// How many write calls `action` makes when nothing fails.
std::size_t writeCallsOf(const std::function<void()>& action) {
    auto calls = std::make_shared<std::atomic<std::size_t>>(0);
    {
        faults::ScopedInjector count([calls](const faults::WriteCall&) {
            ++*calls;
            return faults::Fault{};
        });
        action();
    }
    return *calls;
}

// The failure names the file and speaks Russian.
void expectNamesFile(const Error& e, const std::string& fileName) {
    const std::string text = e.utf8();
    EXPECT_NE(text.find(fileName), std::string::npos) << text;
    EXPECT_TRUE(text.find("Ошибка") != std::string::npos || text.find("Не удал") != std::string::npos ||
                text.find("Не удается") != std::string::npos || text.find("удален") != std::string::npos)
        << text;
}

// ---- dBASE: the record edit and its header date --------------------------------------------

struct DbfCase {
    TempDir dir;
    fs::path file;
    std::string before;
    std::size_t headerLength = 0, recordLength = 0;
    DbfCase() {
        file = test::copyCorpus("dbf/kladr/SOCRBASE.DBF", dir);  // last updated in 2010
        before = readBytes(file);
        DbfTable t(file, "SOCRBASE.DBF", {});
        headerLength = t.header().headerLength;
        recordLength = t.header().recordLength;
    }
    std::string_view record(const std::string& bytes, std::int64_t k) const {  // k from 1
        return std::string_view(bytes).substr(headerLength + static_cast<std::size_t>(k - 1) * recordLength,
                                              recordLength);
    }
    // Each record all old or all new, records not edited and the header but its date as
    // before, the date old or new.  Returns which records are new.
    std::set<std::int64_t> check(const std::set<std::int64_t>& edited, const std::string& after) const {
        std::set<std::int64_t> changed;
        EXPECT_EQ(after.size(), before.size());
        if (after.size() != before.size()) return changed;
        EXPECT_EQ(after.substr(0, 1), before.substr(0, 1));
        const std::array<char, 3> today = dbfUpdateDateToday(DbfTable(file, "SOCRBASE.DBF", {}).header());
        EXPECT_TRUE(after.substr(1, 3) == before.substr(1, 3) || after.substr(1, 3) == std::string(today.data(), 3))
            << "the header's date is the old one or today's";
        EXPECT_EQ(after.substr(4, headerLength - 4), before.substr(4, headerLength - 4)) << "header";
        const std::int64_t slots = static_cast<std::int64_t>((before.size() - headerLength) / recordLength);
        for (std::int64_t k = 1; k <= slots; ++k) {
            if (record(after, k) == record(before, k)) continue;
            EXPECT_TRUE(edited.count(k)) << "record " << k << " was not edited";
            changed.insert(k);
        }
        EXPECT_EQ(after.substr(headerLength + static_cast<std::size_t>(slots) * recordLength),
                  before.substr(headerLength + static_cast<std::size_t>(slots) * recordLength));
        return changed;
    }
};

// Record k's SOCRNAME becomes "ЗАПИСЬ k": the whole field differs from what was there.
void editRecord(Table& t, std::int64_t k) {
    for (t.first(); !t.eof() && t.recordNumber() != k; t.next()) {
    }
    t.edit();
    t.setText(t.fieldByName("SOCRNAME"), w("ЗАПИСЬ ") + std::to_string(k));
    t.post();
}

TEST(WriteFaults, DbfRecordEditIsAllOldOrAllNew) {
    const std::size_t calls = writeCallsOf([] {
        DbfCase c;
        DbfTable t(c.file, "SOCRBASE.DBF", {});
        editRecord(t, 7);
    });
    ASSERT_GE(calls, 2u) << "the record and the header date";
    for (const FaultKind& kind : kFaultKinds)
        for (bool persistent : {false, true})
            for (std::size_t at = 0; at < calls; ++at) {
                SCOPED_TRACE(std::string(kind.what) + (persistent ? ", and every call after" : "") + ", call " +
                             std::to_string(at));
                DbfCase c;
                DbfTable t(c.file, "SOCRBASE.DBF", {});
                bool failed = false;
                {
                    faults::ScopedInjector fail(failingAt(at, kind, persistent));
                    try {
                        editRecord(t, 7);
                    } catch (const Error& e) {
                        failed = true;
                        expectNamesFile(e, "SOCRBASE.DBF");
                        EXPECT_NE(e.utf8().find("запись 7"), std::string::npos) << e.utf8();
                        t.cancel();
                    }
                }
                const std::string after = readBytes(c.file);
                const auto changed = c.check({7}, after);
                // A post that failed left the record as it was; one that did not fail wrote it.
                EXPECT_EQ(changed.count(7), failed ? 0u : 1u);
                // The table reads on and can be written once the disk is back.
                editRecord(t, 7);
                DbfTable again(c.file, "SOCRBASE.DBF", {});
                for (again.first(); again.recordNumber() != 7; again.next()) {
                }
                EXPECT_EQ(again.text(again.fieldByName("SOCRNAME")), w("ЗАПИСЬ 7"));
            }
}

TEST(WriteFaults, DbfChunkWritesAreEachAllOldOrAllNew) {
    const auto run = [](DbfTable& t) {
        t.load(true);
        std::unique_ptr<Table> chunk = t.chunk(0, t.loadedSlots());
        const FieldId name = t.fieldByName("SOCRNAME");
        for (chunk->first(); !chunk->eof(); chunk->next()) {
            if (chunk->recordNumber() != 3 && chunk->recordNumber() != 4 && chunk->recordNumber() != 9) continue;
            chunk->edit();
            chunk->setText(name, w("ЗАПИСЬ ") + std::to_string(chunk->recordNumber()));
            chunk->post();
        }
        return t.write(*chunk);
    };
    const std::size_t calls = writeCallsOf([&] {
        DbfCase c;
        DbfTable t(c.file, "SOCRBASE.DBF", {});
        run(t);
    });
    for (const FaultKind& kind : kFaultKinds)
        for (std::size_t at = 0; at < calls; ++at) {
            SCOPED_TRACE(std::string(kind.what) + ", call " + std::to_string(at));
            DbfCase c;
            DbfTable t(c.file, "SOCRBASE.DBF", {});
            std::vector<bool> written;
            {
                faults::ScopedInjector fail(failingAt(at, kind));
                written = run(t);
            }
            ASSERT_EQ(written.size(), 3u);
            const auto changed = c.check({3, 4, 9}, readBytes(c.file));
            EXPECT_EQ(changed.count(3) == 1, written[0]);
            EXPECT_EQ(changed.count(4) == 1, written[1]);
            EXPECT_EQ(changed.count(9) == 1, written[2]);
        }
}

// Wine keeps the name of a removed file that is still open and lets it be opened again,
// where Windows takes the name away (or refuses it as being removed): what Windows does
// cannot be shown under it.
constexpr const char* kWineKeepsRemovedNames = "Wine keeps a removed file's name while the file is open";

TEST(WriteFaults, DbfFileRemovedOrReplacedAfterOpeningIsNotWrittenInTheDark) {
    if (test::underWine()) GTEST_SKIP() << kWineKeepsRemovedNames;
    for (bool replaced : {false, true}) {
        DbfCase c;
        DbfTable t(c.file, "SOCRBASE.DBF", {});
        DbfTable behind(c.file, "SOCRBASE.DBF", {});
        fs::remove(c.file);
        if (replaced) test::writeBytes(c.file, c.before);  // another program made it anew
        try {
            editRecord(t, 2);
            ADD_FAILURE() << "a write to a removed file reported success";
        } catch (const Error& e) {
            EXPECT_EQ(e.kind(), ErrorKind::Io);
            expectNamesFile(e, "SOCRBASE.DBF");
            t.cancel();
        }
        behind.load(true);
        std::unique_ptr<Table> chunk = behind.chunk(0, behind.loadedSlots());
        editRecord(*chunk, 2);
        EXPECT_EQ(behind.write(*chunk), std::vector<bool>{false});
        if (replaced) {
            EXPECT_EQ(readBytes(c.file), c.before);
        }
    }
}

// ---- Paradox: creation, and keyed inserts with their .PX -----------------------------------

std::set<std::int32_t> numsIn(const fs::path& db) {
    ParadoxTable t(db, EngineSettings{});
    std::set<std::int32_t> nums;
    for (t.first(); !t.eof(); t.next()) nums.insert(t.integer(0));
    EXPECT_EQ(static_cast<std::size_t>(t.recordCount()), nums.size()) << "each number once";
    return nums;
}

TEST(WriteFaults, ParadoxCreationLeavesATableOrNoneAndCanBeRepeated) {
    const std::size_t calls = writeCallsOf([] {
        TempDir dir;
        createNotFoundTable(dir.path());
    });
    ASSERT_GE(calls, 3u);
    for (const FaultKind& kind : kFaultKinds)
        for (std::size_t at = 0; at < calls; ++at) {
            SCOPED_TRACE(std::string(kind.what) + ", call " + std::to_string(at));
            TempDir dir;
            {
                faults::ScopedInjector fail(failingAt(at, kind));
                try {
                    createNotFoundTable(dir.path());
                    ADD_FAILURE() << "the creation did not fail";
                } catch (const Error& e) {
                    expectNamesFile(e, "ANKT");
                }
            }
            if (fs::exists(dir / "ANKT.DB")) {
                EXPECT_TRUE(numsIn(dir / "ANKT.DB").empty());
            }
            // Nothing left in the way of the next attempt.
            NotFoundTable t(dir.path());
            EXPECT_TRUE(t.add(5, w("ПЕТРОВ"), "", "", Date(), "M"));
            t.flush();
            EXPECT_EQ(numsIn(dir / "ANKT.DB"), std::set<std::int32_t>{5});
        }
}

// A table of 60 numbers 10, 20 ... 600 in full blocks of 25 records.
void fillNotFound(const fs::path& dir) {
    NotFoundTable t(dir);
    for (std::int32_t n = 10; n <= 600; n += 10) ASSERT_TRUE(t.add(n, w("ИВАНОВ"), w("ИВАН"), "", Date(), "M"));
}

std::set<std::int32_t> tens() {
    std::set<std::int32_t> s;
    for (std::int32_t n = 10; n <= 600; n += 10) s.insert(n);
    return s;
}

void copyTable(const fs::path& from, const fs::path& to) {
    for (const char* f : {"ANKT.DB", "ANKT.PX"}) fs::copy_file(from / f, to / f);
}

// The keyed writer, inserting one record at a time into the table in place.
TEST(WriteFaults, ParadoxInsertKeepsEveryRecordPostedBefore) {
    TempDir pristine;
    fillNotFound(pristine.path());
    const std::set<std::int32_t> before = tens();
    ASSERT_EQ(numsIn(pristine / "ANKT.DB"), before);
    const auto record = [](std::int32_t num) {
        std::string r(79, '\0');
        pxEncodeInt(r.data(), 4, num);
        return r;
    };
    // 15 goes into a full block (it splits), 601 after the last record, 5 before the first.
    for (std::int32_t num : {15, 601, 5}) {
        const std::size_t calls = writeCallsOf([&] {
            TempDir dir;
            copyTable(pristine.path(), dir.path());
            ParadoxKeyedWriter(dir / "ANKT.DB", "ANKT.DB").insert(record(num));
        });
        for (const FaultKind& kind : kFaultKinds)
            for (std::size_t at = 0; at < calls; ++at) {
                SCOPED_TRACE(std::to_string(num) + ", " + kind.what + ", call " + std::to_string(at));
                TempDir dir;
                copyTable(pristine.path(), dir.path());
                std::unique_ptr<ParadoxKeyedWriter> t;
                {
                    faults::ScopedInjector fail(failingAt(at, kind));
                    try {
                        t = std::make_unique<ParadoxKeyedWriter>(dir / "ANKT.DB", "ANKT.DB");  // writes the .PX
                        t->insert(record(num));
                        ADD_FAILURE() << "the insert did not fail";
                    } catch (const Error& e) {
                        expectNamesFile(e, "ANKT");
                    }
                }
                std::set<std::int32_t> now = numsIn(dir / "ANKT.DB");
                now.erase(num);  // the insert that failed may be in or not
                EXPECT_EQ(now, before);
                // The same writer goes on once the disk is back, next to the failed insert,
                // and leaves an index that fits the blocks; so does a new one.
                if (t) {
                    t->insert(record(num + 1));
                    t.reset();
                    test::expectIndexConsistent(dir / "ANKT.DB");
                }
                ParadoxKeyedWriter(dir / "ANKT.DB", "ANKT.DB").insert(record(800));
                now = numsIn(dir / "ANKT.DB");
                for (std::int32_t n : before) EXPECT_TRUE(now.count(n)) << n;
                EXPECT_TRUE(now.count(800));
                test::expectIndexConsistent(dir / "ANKT.DB");
            }
    }
}

// The not-found table's gathered records are written together: after a failure at any
// call the table is the old one (every record as before, an index that fits), nothing of
// the attempt is left beside it, and the records stay gathered for the next writing.
TEST(WriteFaults, NotFoundRecordsAreWrittenAllOrKeptGathered) {
    TempDir pristine;
    fillNotFound(pristine.path());
    const std::set<std::int32_t> before = tens();
    const std::vector<std::int32_t> added = {15, 601, 5};
    const auto addAll = [&](NotFoundTable& t) {
        for (const std::int32_t n : added) ASSERT_TRUE(t.add(n, w("СИДОРОВ"), "", "", Date(), "M"));
    };
    const std::size_t calls = writeCallsOf([&] {
        TempDir dir;
        copyTable(pristine.path(), dir.path());
        NotFoundTable t(dir.path());
        addAll(t);
        t.flush();
    });
    std::set<std::int32_t> after = before;
    after.insert(added.begin(), added.end());
    for (const FaultKind& kind : kFaultKinds)
        for (bool persistent : {false, true})
            for (std::size_t at = 0; at < calls; ++at) {
                SCOPED_TRACE(std::string(kind.what) + (persistent ? ", and every call after" : "") + ", call " +
                             std::to_string(at));
                TempDir dir;
                copyTable(pristine.path(), dir.path());
                std::unique_ptr<NotFoundTable> t;
                bool failed = false;
                {
                    faults::ScopedInjector fail(failingAt(at, kind, persistent));
                    try {
                        t = std::make_unique<NotFoundTable>(dir.path());
                        addAll(*t);
                        t->flush();  // a failure of the last steps is mended on the way
                    } catch (const Error& e) {
                        failed = true;
                        expectNamesFile(e, "ANKT");
                    }
                }
                const std::set<std::int32_t> now = numsIn(dir / "ANKT.DB");
                if (failed) {
                    EXPECT_TRUE(now == before || now == after);
                } else {
                    EXPECT_EQ(now, after);
                    test::expectIndexConsistent(dir / "ANKT.DB");
                }
                EXPECT_FALSE(fs::exists(dir / "ANKT.~new"));
                if (t) {
                    t->flush();
                    t.reset();
                    EXPECT_EQ(numsIn(dir / "ANKT.DB"), after);
                }
                { NotFoundTable again(dir.path()); }
                test::expectIndexConsistent(dir / "ANKT.DB");
            }
}

TEST(WriteFaults, ParadoxTableRemovedAfterOpeningIsNotWrittenInTheDark) {
    if (test::underWine()) GTEST_SKIP() << kWineKeepsRemovedNames;
    TempDir dir;
    fillNotFound(dir.path());
    NotFoundTable t(dir.path());
    fs::remove(dir / "ANKT.DB");
    EXPECT_TRUE(t.add(15, w("СИДОРОВ"), "", "", Date(), "M"));
    try {
        t.flush();
        ADD_FAILURE() << "records written to a removed table reported success";
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::Io);
        expectNamesFile(e, "ANKT.DB");
    }
}

// ---- the report's paged text and rich text, the settings file --------------------------------

// `save` writes `target` anew; after each failure it holds its old bytes, and no file of
// the attempt is left beside it.
void expectOldOrNew(const fs::path& target, const std::function<void()>& save) {
    const std::string old = "the file as it was\r\n";
    const std::size_t calls = writeCallsOf([&] {
        test::writeBytes(target, old);
        save();
    });
    const std::string fresh = readBytes(target);
    ASSERT_NE(fresh, old);
    ASSERT_GE(calls, 3u) << "create, write, sync, replace";
    for (const FaultKind& kind : kFaultKinds)
        for (bool persistent : {false, true})
            for (std::size_t at = 0; at < calls; ++at) {
                SCOPED_TRACE(std::string(kind.what) + (persistent ? ", and every call after" : "") + ", call " +
                             std::to_string(at));
                test::writeBytes(target, old);
                {
                    faults::ScopedInjector fail(failingAt(at, kind, persistent));
                    try {
                        save();
                        ADD_FAILURE() << "the save did not fail";
                    } catch (const Error& e) {
                        EXPECT_EQ(e.kind(), ErrorKind::Io);
                        expectNamesFile(e, target.filename().string());
                    }
                }
                EXPECT_EQ(readBytes(target), old);
                std::size_t files = 0;
                for ([[maybe_unused]] const auto& entry : fs::directory_iterator(target.parent_path())) ++files;
                EXPECT_EQ(files, 1u) << "a file of the failed attempt was left";
            }
    save();
    EXPECT_EQ(readBytes(target), fresh);
}

Report sampleReport() {
    Report r;
    for (int i = 0; i < 150; ++i) r.appendLine(w("Участок ") + std::to_string(i));
    r.appendRun(w("красным"), kRed);
    return r;
}

TEST(WriteFaults, PagedTextAndRichTextFilesAreTheOldOrTheNew) {
    const Report report = sampleReport();
    TempDir dir;
    expectOldOrNew(dir / "REPORT.TXT", [&] {
        OutputFile out(dir / "REPORT.TXT");
        writePagedText(report, out, PageOptions{});
        out.close();
    });
    TempDir rich;
    expectOldOrNew(rich / "REPORT.RTF", [&] {
        OutputFile out(rich / "REPORT.RTF");
        writeRtf(report, out);
        out.close();
    });
}

TEST(WriteFaults, SettingsFileIsTheOldOrTheNew) {
    TempDir dir;
    expectOldOrNew(dir / "SOBES.INI", [&] { saveDirectories(dir / "SOBES.INI", "C:\\SVERKIN", "C:\\ORTAN"); });
}

}  // namespace
}  // namespace strnum
