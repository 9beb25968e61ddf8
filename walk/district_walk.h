// The district walk: the frame in which every district operation visits the districts of
// the district list WAY.DBF.
//
//  1. clear the report (the operation's title lines follow);  2. open WAY.DBF in the way
//  directory;  3. the operation prepares
//  its tables;  4. progress bar 0..record count, shown;  5. hourglass;  6. for every
//  district record: progress = ordinal, lblDistrictBD = field W, let the window breathe,
//  then either "Не найден каталог " + W (when the operation skips missing directories and
//  the directory is not there) or the operation's per-district step;  7. in every case:
//  normal cursor, progress hidden, tables released, the summary question (Yes shows the
//  report window without making it modal), and only then the error that ended the run.
//
// An error while opening the district list or preparing ends the operation before the
// hourglass: it is shown, and no question is asked.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "base/error.h"
#include "report/report.h"
#include "tables/engine_settings.h"
#include "walk/host.h"

namespace strnum {

struct DistrictWalk {
    // Right after the report is cleared, before the district list is opened: the
    // operation's title lines.  May throw (the error is shown, no question asked).
    std::function<void()> title;
    // After the district list is opened: open the operation's tables, reset counters.
    // May throw.
    std::function<void()> prepare;
    // At each district, once lblDistrictBD shows it and before the window breathes: labels
    // of the operation's own.
    std::function<void()> atDistrict;
    // One district: W as written (1251) and the directory it names on this machine.
    // An exception ends the run (after the closing step).
    std::function<void(const std::string& written, const std::filesystem::path& directory)> step;
    // Whether a district whose directory does not exist is reported and skipped.
    bool skipMissing = true;
    // The summary question, made from the operation's counters when the walk ends (1251).
    std::function<std::string()> summary;
    // After the walk in every case (release the operation's tables); must not throw.
    std::function<void()> finish;
};

// Runs the walk.  wayDirectory: the text of dedtWayPath (1251).  Returns true when the run
// ended without an error; every error has then been shown through the host.
bool runDistrictWalk(Host& host, Report& report, std::string_view wayDirectory, const EngineSettings& settings,
                     const DistrictWalk& walk);

// The message of an exception for the error dialog (1251).
std::string errorText(const std::exception& e);

// A district file that could not be opened.  One that is not there is part of a region (a
// district without OPEKA.DBF) and needs no word beyond the report's; one that is there but
// cannot be read (damaged, foreign, no access) is told with its reason (Host::notice).
void noticeUnopened(Host& host, const Error& error);

}  // namespace strnum
