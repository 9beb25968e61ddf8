// strnum-cli check [--way DIR] [--nums DIR] [--no-status-errors] [--no-birth-errors]
//                  [--severe-only] [--empty-list] [--batch] [--not-found] [--out DIR]
//                  [--paged FILE] [--rtf FILE]
// The district check without windows; each flag stands for the check box of its name.
// --out is the directory that stands for the program directory (default: the current
// one): ANKT.DB and 00000100.001 are written there.  Prints the report and the summary
// question, as assign does.
#include <filesystem>
#include <memory>

#include "base/text.h"
#include "cli/commands.h"
#include "cli/district_run.h"
#include "operations/check_numbers.h"
#include "report/report.h"

namespace strnum::cli {

namespace {

struct CheckArgs {
    std::string way, nums, out, paged, rtf;
    CheckOptions options;
    bool severeOnly = false, emptyList = false;
};

}  // namespace

void addCheckCommand(CLI::App& app) {
    auto args = std::make_shared<CheckArgs>();
    auto* cmd = app.add_subcommand("check", "Check the numbers of the district files against the number directory");
    cmd->add_option("--way", args->way, "directory of WAY.DBF (default: WayPath of ./SOBES.INI)");
    cmd->add_option("--nums", args->nums, "directory of NUMS.DB (default: DBPath of ./SOBES.INI)");
    cmd->add_flag("--no-status-errors", args->options.noStatusErrors, "\"Без ошибок статуса\"");
    cmd->add_flag("--no-birth-errors", args->options.noBirthErrors, "\"Без ошибок д/рождения\"");
    cmd->add_flag("--severe-only", args->severeOnly, "\"Только грубые ошибки\"");
    cmd->add_flag("--empty-list", args->emptyList, "\"Без стр. номеров\"");
    cmd->add_flag("--batch", args->options.batches, "\"Заявления на обмен\": write 00000100.001");
    cmd->add_flag("--not-found", args->options.notFoundList, "\"Список ненайденных\": fill ANKT.DB");
    cmd->add_option("--out", args->out, "directory of ANKT.DB and 00000100.001 (default: the current one)");
    cmd->add_option("--paged", args->paged, "also save the report as paged text");
    cmd->add_option("--rtf", args->rtf, "also save the report as rich text");
    cmd->callback([args] {
        DistrictRun r(args->way, args->nums);
        Colour highlight = kRed;
        CheckRun run{
            r.context(),
            args->options,
            [args] { return args->severeOnly; },
            [args] { return args->emptyList; },
            args->out.empty() ? std::filesystem::current_path() : std::filesystem::absolute(pathFromUtf8(args->out)),
            r.settings.batchRegNum,
            highlight};
        r.finish(checkNumbers(run, r.settings.wayPath), args->paged, args->rtf);
    });
}

}  // namespace strnum::cli
