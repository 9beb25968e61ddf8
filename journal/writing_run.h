// The journal of a writing run, kept the same way by both front ends: started before the run
// (none when [Journal] Keep is 0, or for a run that only counts), named in strnum.log in the
// program directory, handed to the tables through the run's engine settings, and finished
// with the run's counters or its error.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "journal/run_journal.h"
#include "tables/engine_settings.h"

namespace strnum {

class WritingRunJournal {
public:
    // keepDays 0: no journal.  The journal is put into `settings` (the run's copy).  Throws
    // Error (Io) when it cannot be started: the run must not write then.
    WritingRunJournal(const std::filesystem::path& programDirectory, const JournalRun& run, int keepDays,
                      EngineSettings& settings);

    // The journal's file; empty when none is kept.
    std::filesystem::path path() const { return journal_ ? journal_->path() : std::filesystem::path(); }
    // The last line: the counters, or the error (1251) of a run that ended with one.
    void finish(bool ok, const std::vector<std::pair<std::string, std::int64_t>>& counters, std::string_view error);

private:
    std::shared_ptr<RunJournal> journal_;
};

}  // namespace strnum
