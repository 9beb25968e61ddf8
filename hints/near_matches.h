// Near matches for the persons a number assignment did not find, and the numbers of the ones
// a clerk chose written into their records.
//
//     std::vector<NotFoundPerson> missed;  run.notFound = &missed;  assignNumbers(run, way);
//     std::vector<NearMatch> matches = findNearMatches(run.numberDirectory(), std::move(missed), threads);
//     writeNearMatches(matches, report, kRed);                  // the report of them
//     writeChosenHints(chosen, settings, report, host, counters);  // a writing run of its own
//
// Finding writes nothing anywhere.  Writing follows the rules of the assignment's own write:
// the record edited under its lock, only the number fields changed (and in PDL.DBF the
// second number where its rule says), each field noted in the run's journal first; a record
// that is no longer the one the hint was found for (another person, a number written
// meanwhile, deleted) is not written, and says so.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "hints/hint.h"
#include "hints/near_match_index.h"
#include "operations/assign_numbers.h"
#include "report/report.h"
#include "tables/engine_settings.h"
#include "tables/table.h"
#include "walk/host.h"

namespace strnum {

// A hint with the entry it names, as the directory holds it.
struct ShownHint {
    Hint hint;
    DirectoryPerson entry;
    std::string status;  // the entry's COND (1251)
};

struct NearMatch {
    NotFoundPerson person;
    std::vector<ShownHint> hints;  // best first; none when no entry is likely enough
};

// The near matches of every person, in the order given.  The index is built over the open
// number directory on `threads` threads (tables/engine_settings.h: 0 for every core).
// Throws Error when the directory cannot serve (no person order, NUM not numeric).
std::vector<NearMatch> findNearMatches(Table& directory, std::vector<NotFoundPerson> persons, int threads);

// The report of the near matches: a heading, then for each person with a hint the record's
// line and one line per hint (its number in display form, its surname, name, patronymic and
// birth date with the stretch that differs from the record's in the highlight colour, the
// account's status, the confidence), then how many persons had none.
void writeNearMatches(std::span<const NearMatch> matches, ReportSink& report, Colour highlight);

// What differs, by name ("surname", "name", "patronymic", "birth"), in that order.
std::vector<std::string> differenceNames(unsigned differs);

// "Участок U01  файл PDL.DBF  запись 17: " and the record's key, names and birth date (1251).
std::string recordLine(const NotFoundPerson& p);

// A hint the clerk chose: the record and the number to write into it.
struct ChosenHint {
    NotFoundPerson person;
    std::int32_t num = 0;
};

struct ChosenCounters {
    std::int32_t written = 0;     // records given their number
    std::int32_t notWritten = 0;  // records left as they were (changed meanwhile, or a write failed)
};

// Writes the chosen numbers, one line per record into the report.  A record that cannot be
// written (its file cannot be opened for writing, its lock is held, the disk refuses) is
// told with its reason (Host::notice) and the others go on.  Returns false when the run
// ended early because the journal took no more notes (Host::showError has said why;
// nothing after that record is written).  When `written` is given it ends with one flag per
// chosen hint, in their order: whether its number was written.
bool writeChosenHints(std::span<const ChosenHint> chosen, const EngineSettings& settings, ReportSink& report,
                      Host& host, ChosenCounters& counters, std::vector<bool>* written = nullptr);

// The counters by name, for the run's journal.
std::vector<std::pair<std::string, std::int64_t>> chosenCounters(const ChosenCounters& c);

}  // namespace strnum
