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
#include "journal/run_journal.h"
#include "operations/assign_numbers.h"
#include "report/paged_text.h"
#include "report/rtf_writer.h"
#include "settings/settings.h"
#include "system/paths.h"
#include "system/program_log.h"
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
        // A writing run keeps its journal in the current directory (standing for the
        // program directory), so that it can be undone.
        std::shared_ptr<RunJournal> journal;
        if (!args->countOnly && r.settings.journalKeepDays > 0) {
            const std::filesystem::path here = std::filesystem::current_path();
            journal =
                RunJournal::start(here, {"assign", r.settings.wayPath, r.settings.dbPath}, r.settings.journalKeepDays);
            r.settings.engine.journal = journal;
            r.tblPDL.setSettings(r.settings.engine);
            std::cerr << cp1251ToUtf8(std::string("Журнал записей: "_cp)) << pathToUtf8(journal->path()) << '\n';
            appendProgramLog(here,
                             std::string("Простановка номеров: журнал записей "_cp) + pathTo1251(journal->path()));
        }
        AssignRun run{
            r.host,          r.report, r.tblPDL, [&]() -> Table& { return r.numberDirectory(); }, r.settings.engine,
            args->countOnly, {}};
        const bool ok = assignNumbers(run, r.settings.wayPath);
        if (journal)
            journal->finish(ok, assignCounters(run.total),
                            ok || r.host.errors.empty() ? std::string() : r.host.errors.back());
        r.finish(ok, args->paged, args->rtf);
    });
}

}  // namespace strnum::cli
