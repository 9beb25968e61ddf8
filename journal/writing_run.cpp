#include "journal/writing_run.h"

#include "base/ru.h"
#include "base/text.h"
#include "system/program_log.h"

namespace strnum {

using namespace strnum::literals;

WritingRunJournal::WritingRunJournal(const std::filesystem::path& programDirectory, const JournalRun& run, int keepDays,
                                     EngineSettings& settings) {
    if (keepDays <= 0) return;
    journal_ = RunJournal::start(programDirectory, run, keepDays);
    settings.journal = journal_;
    appendProgramLog(programDirectory, str("Простановка номеров: журнал записей "_cp) + pathTo1251(journal_->path()));
}

void WritingRunJournal::finish(bool ok, const std::vector<std::pair<std::string, std::int64_t>>& counters,
                               std::string_view error) {
    if (journal_) journal_->finish(ok, counters, ok ? std::string_view() : error);
}

}  // namespace strnum
