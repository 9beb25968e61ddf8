// Undoing a writing run from its journal.
//
// Every field the journal names is put back to its bytes before the run where it still
// holds exactly what the run wrote, under the record's lock as any edit takes it (the
// record re-read under the lock).  A field that holds something else now (another program
// changed it since) is left as it is and reported with what it holds; one that holds its
// old bytes already counts as neither (so a second undo changes nothing).  A file that has
// gone is reported.  Writes noted more than once are put back from the last to the first.
//
// The report, per district file:
//   "Участок /srv/ortan/u01  файл PDL.DBF - восстановлено 12, оставлено 1"
// with a line for every field left before it, and the totals last.
#pragma once

#include <cstdint>
#include <filesystem>

#include "journal/journal_reader.h"
#include "report/report.h"
#include "tables/engine_settings.h"

namespace strnum {

struct UndoTotals {
    std::int64_t restored = 0;  // fields put back (or that would be, in a dry run)
    std::int64_t left = 0;      // fields left as they are: changed since, or their file gone
    std::int64_t already = 0;   // fields that held their old bytes already
};

// dryRun: report what would be done and write nothing.  The journal's damage, when there
// is one, is reported first and counts as one field left.
UndoTotals undoJournal(const JournalContents& journal, bool dryRun, const EngineSettings& settings, Report& report);

// "Всего: восстановлено N, оставлено M" (1251).
std::string undoSummary(const UndoTotals& totals);

}  // namespace strnum
