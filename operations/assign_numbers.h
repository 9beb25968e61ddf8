// Assigning numbers: the system's main task.
//
// For every district of the district list, four district files are walked; each record's
// person is looked up in the number directory by surname, name, patronymic and birth
// date, and where the person is found the directory's number is written into a record
// whose own number is missing or malformed.  Differing numbers, twins in the directory
// and failed writes are reported; found, differing and written are counted.  In
// count-only mode the same report and counts are made and no record changes.
//
// The run is a district walk: errors that end it are shown by the host after its closing
// step and summary question.  Each file is walked by the district-file pass (walk/pass.h),
// which brings the speed: the file read once, records read ahead with their directory
// searches announced, writes made many at a time, the file walked in chunks on all cores
// with the report, the writes and the counters of one walk.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/date.h"
#include "walk/pass.h"

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

// A record whose person the directory does not have under its surname, name, patronymic
// and birth date, as the lookup read it (texts 1251, cut to their lengths).
struct NotFoundPerson {
    std::string district;        // W as written in the district list
    int kind = 0;                // the file's kind (data/file_descriptions.h)
    std::filesystem::path file;  // the district file the record was read from
    std::int64_t record = 0;     // its place in the file: 1 the first, deleted ones counted
    std::string key, surname, name, patronymic, numberText;
    Date birth;
};

struct AssignRun : RunContext {
    bool countOnly = false;  // fixed when the run starts
    AssignCounters total;
    // When set, every record whose person is not found is added here, in the walk's order.
    std::vector<NotFoundPerson>* notFound = nullptr;
};

// The whole operation over the district list in wayDirectory (1251, as typed).  Returns
// true when it ended without an error.
bool assignNumbers(AssignRun& run, std::string_view wayDirectory);

// The counters by name, for the run's journal.
std::vector<std::pair<std::string, std::int64_t>> assignCounters(const AssignCounters& total);

// "Найдено по ФИО : ..., ошибочных : ..., проставлено: ... номеров. Показать отчет ?"
std::string assignSummary(const AssignCounters& total);

}  // namespace strnum
