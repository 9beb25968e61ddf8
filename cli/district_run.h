// What a district operation of strnum-cli runs with: the settings of SOBES.INI in the
// current directory (the directories given on the command line taking the place of its
// own), a host that prints, the report, and the two table objects of the main window.
#pragma once

#include <string>

#include "data/table_object.h"
#include "report/report.h"
#include "settings/settings.h"
#include "walk/pass.h"
#include "walk/text_host.h"

namespace strnum::cli {

class DistrictRun {
public:
    // way, nums: UTF-8 directories from the command line, or empty.  Problems of the
    // settings file are printed on standard error.  Throws Error.
    DistrictRun(const std::string& way, const std::string& nums);

    // What an operation runs with: this host and report, the two table objects, the table
    // settings as they are now (a journal put into them included).
    RunContext context();
    // Prints the report and the summary question (or, with json, that text instead of the
    // report), saves the report files asked for, prints what the run went past and its
    // error on standard error, and sets the exit status: 0 the run did all it was asked,
    // 1 it ended with an error, 3 it went to its end past something it could not read or
    // write (a report file that cannot be saved is one).
    void finish(bool ok, const std::string& paged, const std::string& rtf, const std::string* json = nullptr);

    Settings settings;
    TextHost host;
    Report report;
    TableObject tblPDL, tblNUM;
};

// UTF-8 text from the command line as 1251; what names the option in the error.
std::string to1251(const std::string& utf8, const char* what);

}  // namespace strnum::cli
