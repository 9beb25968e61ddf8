// What a district operation is made of, and all it includes of the walk: the run's context,
// the district walk over the district list (walk/district_walk.h) and the district-file pass
// over each file (walk/file_walk.h), with the opening of a district file they share.
//
//     bool assignNumbers(AssignRun& run, std::string_view way) {
//         FileWalks walks(run.host, run.report, run.settings);
//         DistrictWalk walk;  walk.step = [&](...) { for each kind: filePass(run, walks, ...); };
//         return runDistrictWalk(run.host, run.report, way, run.settings, walk);
//     }
#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "data/table_object.h"
#include "report/report.h"
#include "tables/engine_settings.h"
#include "tables/table.h"
#include "walk/district_walk.h"
#include "walk/file_walk.h"
#include "walk/host.h"

namespace strnum {

// What every district operation runs with: its front end, the report, the main window's
// shared district-file table object and its number directory, the table settings.
struct RunContext {
    Host& host;
    Report& report;
    // The shared district-file table object; left closed after the run.
    TableObject& tblPDL;
    // The number directory, opened when it is closed and left open: returns the open table.
    std::function<Table&()> numberDirectory;
    const EngineSettings& settings;
};

// The shared table object set to district file `kind` of `directory` ("PDL.DBF" ...) and
// opened.  False when it cannot be: a file that is there but cannot be read is told with
// its reason (Host::notice); the operation writes its own line.
bool openDistrictFile(RunContext& run, int kind, const std::filesystem::path& directory);

}  // namespace strnum
