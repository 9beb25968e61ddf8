// strnum-cli find [--way DIR] (--num TEXT | --fam F [--nam N] [--otch O]) [--json]
//                 [--paged FILE] [--rtf FILE]
// The search without windows: the texts stand for the edits edtNum, edtFAM, edtNAM and
// edtOtch (the names as typed, so in capitals).  Prints the report and the summary question
// as assign does; with --json, one JSON object per found record instead, for scripts.
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>

#include "base/text.h"
#include "cli/commands.h"
#include "cli/district_run.h"
#include "identity/insurance_number.h"
#include "operations/find_records.h"

namespace strnum::cli {

namespace {

struct FindArgs {
    std::string way, num, fam, nam, otch, paged, rtf;
    bool json = false;
};

}  // namespace

void addFindCommand(CLI::App& app) {
    auto args = std::make_shared<FindArgs>();
    auto* cmd = app.add_subcommand("find", "Find records by insurance number or by name in every district");
    cmd->add_option("--way", args->way, "directory of WAY.DBF (default: WayPath of ./SOBES.INI)");
    auto* num = cmd->add_option("--num", args->num, "the number typed in \"Cтр.№\"");
    auto* fam = cmd->add_option("--fam", args->fam, "the surname typed in \"Фамилия\"");
    cmd->add_option("--nam", args->nam, "the name typed in \"Имя\"")->needs(fam);
    cmd->add_option("--otch", args->otch, "the patronymic typed in \"Отчество\"")->needs(fam);
    num->excludes(fam);
    cmd->add_flag("--json", args->json, "one JSON object per found record instead of the report");
    cmd->add_option("--paged", args->paged, "also save the report as paged text");
    cmd->add_option("--rtf", args->rtf, "also save the report as rich text");
    cmd->callback([args, num, fam] {
        if (num->count() == 0 && fam->count() == 0) throw CLI::ValidationError("find", "--num or --fam is needed");
        DistrictRun r(args->way, {});
        FindRun run{r.context(),
                    FindCriteria{to1251(args->num, "--num"), to1251(args->fam, "--fam"), to1251(args->nam, "--nam"),
                                 to1251(args->otch, "--otch")},
                    {}};
        std::string json;
        if (args->json) {
            run.found = [&json](const FoundRecord& f) {
                nlohmann::json o;
                o["directory"] = cp1251ToUtf8(f.directory);
                o["file"] = cp1251ToUtf8(f.table);
                o["key"] = cp1251ToUtf8(f.key);
                o["surname"] = cp1251ToUtf8(f.surname);
                o["name"] = cp1251ToUtf8(f.name);
                o["patronymic"] = cp1251ToUtf8(f.patronymic);
                o["birth"] = cp1251ToUtf8(f.birth);
                o["number"] = cp1251ToUtf8(f.numberText);
                o["display"] = displayForm(f.body);
                json += o.dump();
                json += '\n';
            };
        }
        const bool ok = findRecords(run, r.settings.wayPath);
        r.finish(ok, args->paged, args->rtf, args->json ? &json : nullptr);
    });
}

}  // namespace strnum::cli
