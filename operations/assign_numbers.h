// Assigning numbers: the system's main task.
//
// For every district of the district list, four district files are walked; each record's
// person is looked up in the number directory by surname, name, patronymic and birth
// date, and where the person is found the directory's number is written into a record
// whose own number is missing or malformed.  Differing numbers, twins in the directory
// and failed writes are reported; found, differing and written are counted.  In
// count-only mode the same report and counts are made and no record changes.
//
// The run is a district walk (walk/district_walk.h): errors that end it are shown by the
// host after its closing step and summary question.  Each file is walked by the
// district-file pass (walk/file_walk.h), which brings the speed: records read ahead with
// their directory searches announced, writes made many at a time, a large file walked in
// parts on all cores with the report, the writes and the counters of one walk.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "data/table_object.h"
#include "report/report.h"
#include "tables/engine_settings.h"
#include "tables/table.h"
#include "walk/host.h"

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
    // District files of at least this many slots are walked in parts on the threads the
    // settings give (when the directory gives cursors of its own); 0: never.
    std::int64_t splitFrom = 1024;
};

// The whole operation over the district list in wayDirectory (1251, as typed).  Returns
// true when it ended without an error.
bool assignNumbers(AssignRun& run, std::string_view wayDirectory);

// One file of one district (kind 0..3); adds its counters to run.total.  Throws what ends
// the run (a required field missing), after the file's closing lines.
void assignNumbersInFile(AssignRun& run, int kind, const std::string& written, const std::filesystem::path& directory);

// The counters by name, for the run's journal.
std::vector<std::pair<std::string, std::int64_t>> assignCounters(const AssignCounters& total);

// "Найдено по ФИО : ..., ошибочных : ..., проставлено: ... номеров. Показать отчет ?"
std::string assignSummary(const AssignCounters& total);

}  // namespace strnum
