// The search: in every district, the records of the four district files that carry a given
// insurance number, or a given surname with an optional name and patronymic, listed with
// the district, the file and the personal-file number.  Nothing is written.
//
// The run is a district walk that skips missing directories; each file is walked by the
// district-file pass (walk/pass.h).  Files that are not there are passed by without a word;
// one that is there and cannot be read is told beside the report.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "walk/pass.h"

namespace strnum {

// The four edits as typed (1251): edtNum, edtFAM, edtNAM, edtOtch.
struct FindCriteria {
    std::string number, surname, name, patronymic;
};

// One found record, as the report line names it (for scripts: strnum-cli find --json).
struct FoundRecord {
    std::string directory;  // the district directory, W as written
    std::string table;      // PDL.DBF ...
    std::string key, surname, name, patronymic, birth, numberText;
    std::int32_t body = 0;
};

struct FindRun : RunContext {
    FindCriteria criteria;  // fixed when the run starts
    // Every found record, in the order of the report (none when empty).
    std::function<void(const FoundRecord&)> found;
    // Run totals.
    std::int32_t foundCount = 0, readCount = 0;
};

// The whole search over the district list in wayDirectory (1251, as typed).  Returns true
// when it ended without an error (a number that is no integer is one, shown before the
// walk).
bool findRecords(FindRun& run, std::string_view wayDirectory);

// "Найдено : " + found + " записей. Показать отчет ?"
std::string findSummary(std::int32_t found);

}  // namespace strnum
