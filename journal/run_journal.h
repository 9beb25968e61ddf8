// The journal of a writing run: every field the run writes into district files, with its
// bytes before and after, so that the run can be undone (journal/undo.h).
//
// A file journal/YYYY-MM-DD_HH-MM-SS.jsonl in the program directory, readable by its owner
// alone (it holds personal data), one JSON object per line (UTF-8):
//   {"journal":"strnum","format":1,"operation":"assign","started":"2026-12-09T14:03:27",
//    "program":"strnum 0.1","way":"C:\\ORTAN","nums":"C:\\SVERKIN"}            what the run was
//   {"file":1,"path":"/srv/ortan/u01/PDL.DBF","size":1923074,
//    "modified":"2026-12-09T13:58:01"}                       a district file as first opened
//   {"w":1,"record":17,"field":"NPSU","before":"2020...","after":"3131..."}  a field written
//   {"end":"2026-12-09T14:03:29","ok":true,"counters":{"found":..}}           how it ended
// Field lines are written before the record they change (write-ahead) and handed to the
// operating system then, with no fsync per record: a run killed at any moment leaves a
// journal naming every write that reached a file.  A journal without its last line is a
// run that did not end.  Notes are held only until the next record's write: memory does
// not grow with the number of writes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tables/write_journal.h"

namespace strnum {

class File;

inline constexpr const char* kJournalFolder = "journal";

struct JournalRun {
    std::string operation;  // "assign"
    std::string way, nums;  // the directories as the run was given them (1251)
};

class RunJournal final : public WriteJournal {
public:
    // Removes the journals of programDirectory/journal older than keepDays days, then
    // creates the run's journal and writes its first line.  Throws Error (Io).
    static std::shared_ptr<RunJournal> start(const std::filesystem::path& programDirectory, const JournalRun& run,
                                             int keepDays);
    ~RunJournal() override;

    const std::filesystem::path& path() const { return path_; }

    int fileOpened(const std::filesystem::path& file) override;
    void note(int file, std::int64_t record, std::string_view field, std::string_view before,
              std::string_view after) override;
    void flush() override;
    std::string failure() const override;

    // The last line: the run's counters, or its error (1251; empty when it ended well).
    // Never throws: a journal that cannot be ended is one of a run that did not end.
    void finish(bool ok, const std::vector<std::pair<std::string, std::int64_t>>& counters, std::string_view error);

    // Journals kept of a program directory, newest first.
    static std::vector<std::filesystem::path> list(const std::filesystem::path& programDirectory);

private:
    RunJournal() = default;
    int fileNumber(const std::filesystem::path& file);  // under the lock
    void line(std::string_view text);                   // under the lock

    std::filesystem::path path_;
    std::unique_ptr<File> file_;
    mutable std::mutex lock_;
    std::string held_;      // lines not yet handed to the system
    bool broken_ = false;   // a write of the journal failed: no more lines, no more table writes
    std::string brokenBy_;  // the failure, as failure() says it
    std::map<std::filesystem::path, int> files_;
};

// The local time as the journal writes it: "2026-12-09T14:03:27".
std::string journalTime();

}  // namespace strnum
