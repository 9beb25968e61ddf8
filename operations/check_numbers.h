// The district check: for every district, the numbers written in the four district files
// are checked (form, check number, presence in the number directory), and the surname,
// name, patronymic, birth date and account status of the directory entry are compared with
// the record.  Every problem is a report line, the differing stretch of the directory's
// text shown in the highlight colour.  Nothing of a district file is written.  On request
// the numbers the directory does not know go into the not-found table ANKT, and the persons
// whose data differ get exchange applications in the batch file 00000100.001 (both in the
// program directory).
//
// The run is a district walk (walk/district_walk.h) that does not skip missing directories;
// each file is walked by the district-file pass (walk/file_walk.h).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "walk/pass.h"

namespace strnum {

// The four option flags, taken from their check boxes when the run starts.
struct CheckOptions {
    bool noStatusErrors = false;  // chkNoStatErrors
    bool noBirthErrors = false;   // chkNoBirthErrors
    bool batches = false;         // chkCreateOBMN
    bool notFoundList = false;    // chkAnkList; cleared when the table cannot be opened
};

struct CheckRun : RunContext {
    CheckOptions options;
    // chkSeverErrors, read at each file pass; chkEmptyList, read as the walk goes.
    std::function<bool()> severeOnly;
    std::function<bool()> emptyList;
    // Where ANKT.DB and 00000100.001 are: the program directory.
    std::filesystem::path programDirectory;
    std::string batchRegNum = "000-000-000000";  // [Batch] RegNum
    // The main window's highlight colour: red, blue for a file's header line.
    Colour& highlight;
    // Run totals.
    std::int32_t errors = 0;
    int batchLines = 0;
};

// The whole check over the district list in wayDirectory (1251, as typed).  Returns true
// when it ended without an error.
bool checkNumbers(CheckRun& run, std::string_view wayDirectory);

// "Найдено : " + errors + " расхождений. Показать отчет ?"
std::string checkSummary(std::int32_t errors);

}  // namespace strnum
