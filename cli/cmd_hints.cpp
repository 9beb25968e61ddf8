// strnum-cli hints [--way DIR] [--nums DIR] [--json] [--paged FILE] [--rtf FILE]
// Near matches for the persons number assignment does not find: the district files are
// walked as a count-only assignment walks them (nothing is written anywhere), and for every
// person the directory lacks under the exact surname, name, patronymic and birth date, up to
// three directory entries that are probably that person are shown.  With --json, one JSON
// object per person instead (persons without a hint too), for scripts.
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>

#include "base/error.h"
#include "base/ru.h"
#include "base/text.h"
#include "cli/commands.h"
#include "cli/district_run.h"
#include "data/file_descriptions.h"
#include "hints/near_matches.h"
#include "identity/insurance_number.h"
#include "operations/assign_numbers.h"

namespace strnum::cli {

namespace {

struct HintsArgs {
    std::string way, nums, paged, rtf;
    bool json = false;
};

std::string utf8(std::string_view cp1251) { return cp1251ToUtf8(cp1251); }
std::string dateText(Date d) { return d.empty() ? std::string() : d.text(); }

std::string jsonLines(const std::vector<NearMatch>& matches) {
    std::string out;
    for (const NearMatch& m : matches) {
        const NotFoundPerson& p = m.person;
        nlohmann::ordered_json o;
        o["district"] = utf8(p.district);
        o["file"] = districtTableName(p.kind);
        o["record"] = p.record;
        o["surname"] = utf8(p.surname);
        o["name"] = utf8(p.name);
        o["patronymic"] = utf8(p.patronymic);
        o["birth"] = dateText(p.birth);
        o["hints"] = nlohmann::ordered_json::array();
        for (const ShownHint& h : m.hints) {
            nlohmann::ordered_json j;
            j["NUM"] = h.hint.num;
            j["number"] = displayForm(h.hint.num);
            j["surname"] = utf8(h.entry.fam);
            j["name"] = utf8(h.entry.nam);
            j["patronymic"] = utf8(h.entry.otch);
            j["birth"] = dateText(h.entry.birth);
            j["status"] = utf8(h.status);
            j["differs"] = differenceNames(h.hint.differs);
            j["confidence"] = utf8(confidenceText(h.hint.confidence));
            o["hints"].push_back(std::move(j));
        }
        out += o.dump();
        out += '\n';
    }
    return out;
}

}  // namespace

void addHintsCommand(CLI::App& app) {
    auto args = std::make_shared<HintsArgs>();
    auto* cmd = app.add_subcommand("hints", "Near matches in the number directory for persons it does not find");
    cmd->add_option("--way", args->way, "directory of WAY.DBF (default: WayPath of ./SOBES.INI)");
    cmd->add_option("--nums", args->nums, "directory of NUMS.DB (default: DBPath of ./SOBES.INI)");
    cmd->add_flag("--json", args->json, "one JSON object per person not found instead of the report");
    cmd->add_option("--paged", args->paged, "also save the report as paged text");
    cmd->add_option("--rtf", args->rtf, "also save the report as rich text");
    cmd->callback([args] {
        DistrictRun r(args->way, args->nums);
        std::vector<NotFoundPerson> missed;
        AssignRun run{r.context(), true, {}, &missed};
        bool ok = assignNumbers(run, r.settings.wayPath);
        // What is shown is the near matches, not the assignment's report and question.
        r.report.clear();
        r.host.asked = false;
        std::string json;
        if (ok) {
            try {
                const std::vector<NearMatch> matches =
                    findNearMatches(run.numberDirectory(), std::move(missed), r.settings.engine.threads);
                writeNearMatches(matches, r.report, kRed);
                if (args->json) json = jsonLines(matches);
            } catch (const Error& e) {
                r.host.showError(e.what());
                ok = false;
            }
        }
        r.finish(ok, args->paged, args->rtf, args->json ? &json : nullptr);
    });
}

}  // namespace strnum::cli
