// Assigning numbers: the system's main task.
//
// For every district of the district list, four district files are walked; each record's
// person is looked up in the number directory by surname, name, patronymic and birth
// date, and where the person is found the directory's number is written into a record
// whose own number is missing or malformed.  Differing numbers, twins in the directory
// and failed writes are reported; found, differing and written are counted.  In
// count-only mode the same report and counts are made and no record changes.
//
// The run is a district walk (app/district_walk.h): errors that end it are shown by the
// host after its closing step and summary question.
//
// Speed over a region of a million records: each record is read once, eight records ahead
// of the walk, and its directory search announced from there (the directory brings the
// search's data into the cache meanwhile); writes are kept by the district file and made
// 256 at a time under one lock of their records' range (data/dbf_table.h), the report lines
// waiting with them so that each comes out in its place, a failed write's line included.
// Before the run ends on an error, the kept writes are made and their lines reported.
//
// A district file of splitFrom slots or more is walked in two halves at once: the later
// half on a second thread, over a second object of the file and a reading cursor of the
// directory, holding its lines and keeping its writes; when the earlier half is done, the
// later half's writes are made and its lines reported after the earlier half's, exactly as
// one walk would have them.  When the earlier half ends the run with an error, or ends
// before the middle of the file, nothing of the later half is written or reported.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "UREPORT2/report.h"
#include "app/host.h"
#include "data/engine_settings.h"
#include "data/table.h"
#include "data/table_object.h"

namespace strnum {

struct AssignCounters {
    std::int32_t found = 0;      // records whose person has a directory entry
    std::int32_t differing = 0;  // found records with a non-empty number unlike the directory's
    std::int32_t written = 0;    // numbers written (or that would be in count-only mode), second numbers filled
    AssignCounters& operator+=(const AssignCounters& o) {
        found += o.found;
        differing += o.differing;
        written += o.written;
        return *this;
    }
};

struct AssignRun {
    Host& host;
    Report& report;
    // The shared district-file table object; left closed after the run.
    TableObject& tblPDL;
    // The number directory, opened when it is closed and left open: returns the open table.
    std::function<Table&()> numberDirectory;
    const EngineSettings& settings;
    bool countOnly = false;  // fixed when the run starts
    AssignCounters total;
    // District files of at least this many slots are walked in two halves on two threads
    // (when the machine has two cores and the directory gives a second cursor); 0: never.
    std::int64_t splitFrom = 1024;
};

// The whole operation over the district list in wayDirectory (1251, as typed).  Returns
// true when it ended without an error.
bool assignNumbers(AssignRun& run, std::string_view wayDirectory);

// One file of one district (kind 0..3); adds its counters to run.total.  Throws what ends
// the run (a required field missing), after the file's closing lines.
void assignNumbersInFile(AssignRun& run, int kind, const std::string& written, const std::filesystem::path& directory);

// "Найдено по ФИО : ..., ошибочных : ..., проставлено: ... номеров. Показать отчет ?"
std::string assignSummary(const AssignCounters& total);

}  // namespace strnum
