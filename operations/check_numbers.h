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

#include "data/table_object.h"
#include "report/report.h"
#include "tables/engine_settings.h"
#include "tables/table.h"
#include "walk/host.h"

namespace strnum {

// The four option flags, taken from their check boxes when the run starts.
struct CheckOptions {
    bool noStatusErrors = false;  // chkNoStatErrors
    bool noBirthErrors = false;   // chkNoBirthErrors
    bool batches = false;         // chkCreateOBMN
    bool notFoundList = false;    // chkAnkList; cleared when the table cannot be opened
};

struct CheckRun {
    Host& host;
    Report& report;
    TableObject& tblPDL;  // the shared district-file table object; left closed
    // The number directory, opened when it is closed and left open.
    std::function<Table&()> numberDirectory;
    const EngineSettings& settings;
    CheckOptions options;
    // chkSeverErrors, read at each file pass; chkEmptyList, read at each record (a file
    // walked in parts reads it once for the parts after the first).
    std::function<bool()> severeOnly;
    std::function<bool()> emptyList;
    // Where ANKT.DB and 00000100.001 are: the program directory.
    std::filesystem::path programDirectory;
    std::string batchRegNum = "000-000-000000";  // [Batch] RegNum
    // The main window's highlight colour: red, blue for a file's header line.
    Colour& highlight;
    std::int64_t splitFrom = 1024;  // as AssignRun's
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
