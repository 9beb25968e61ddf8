// strnum-cli assign [--way DIR] [--nums DIR] [--count-only] [--paged FILE] [--rtf FILE]
// Number assignment without windows.  The directories default to those of SOBES.INI in
// the current directory, as do the table settings.  Prints the report and the summary
// question; --paged and --rtf also save the report as the report window would.
#include <iostream>
#include <memory>

#include "base/error.h"
#include "base/ru.h"
#include "base/text.h"
#include "cli/commands.h"
#include "cli/district_run.h"
#include "journal/writing_run.h"
#include "operations/assign_numbers.h"
#include "report/paged_text.h"
#include "report/rtf_writer.h"
#include "settings/settings.h"
#include "system/paths.h"
#include "walk/district_walk.h"
#include "walk/text_host.h"

namespace strnum::cli {

using namespace strnum::literals;

namespace {

struct AssignArgs {
    std::string way, nums, paged, rtf;
    bool countOnly = false;
};

}  // namespace

void saveReportFiles(const Report& report, const std::string& paged, const std::string& rtf) {
    if (!paged.empty()) {
        OutputFile out{pathFromUtf8(paged)};
        writePagedText(report, out, {});
        out.close();
    }
    if (!rtf.empty()) {
        OutputFile out{pathFromUtf8(rtf)};
        writeRtf(report, out);
        out.close();
    }
}

void addAssignCommand(CLI::App& app) {
    auto args = std::make_shared<AssignArgs>();
    auto* cmd = app.add_subcommand("assign", "Assign insurance numbers in the district files");
    cmd->add_option("--way", args->way, "directory of WAY.DBF (default: WayPath of ./SOBES.INI)");
    cmd->add_option("--nums", args->nums, "directory of NUMS.DB (default: DBPath of ./SOBES.INI)");
    cmd->add_flag("--count-only", args->countOnly, "count and report, change nothing");
    cmd->add_option("--paged", args->paged, "also save the report as paged text");
    cmd->add_option("--rtf", args->rtf, "also save the report as rich text");
    cmd->callback([args] {
        DistrictRun r(args->way, args->nums);
        // A writing run keeps its journal in the current directory (standing for the program
        // directory), so that it can be undone.
        WritingRunJournal journal(std::filesystem::current_path(), {"assign", r.settings.wayPath, r.settings.dbPath},
                                  args->countOnly ? 0 : r.settings.journalKeepDays, r.settings.engine);
        if (!journal.path().empty())
            std::cerr << cp1251ToUtf8(std::string("Журнал записей: "_cp)) << pathToUtf8(journal.path()) << '\n';
        AssignRun run{r.context(), args->countOnly, {}};
        const bool ok = assignNumbers(run, r.settings.wayPath);
        journal.finish(ok, assignCounters(run.total), r.host.errors.empty() ? std::string() : r.host.errors.back());
        r.finish(ok, args->paged, args->rtf);
    });
}

}  // namespace strnum::cli
