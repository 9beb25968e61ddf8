// strnum-cli assign [--way DIR] [--nums DIR] [--count-only] [--paged FILE] [--rtf FILE]
// Number assignment without windows.  The directories default to those of SOBES.INI in
// the current directory, as do the table settings.  Prints the report and the summary
// question; --paged and --rtf also save the report as the report window would.
#include <iostream>
#include <memory>

#include "UREPORT2/paged_text.h"
#include "UREPORT2/rtf_writer.h"
#include "walk/district_walk.h"
#include "app/settings.h"
#include "base/error.h"
#include "base/ru.h"
#include "base/text.h"
#include "app/text_host.h"
#include "cli/commands.h"
#include "data/paths.h"
#include "operations/assign_numbers.h"

namespace strnum::cli {

using namespace strnum::literals;

namespace {

struct AssignArgs {
    std::string way, nums, paged, rtf;
    bool countOnly = false;
};

std::string to1251(const std::string& utf8, const char* what) {
    auto t = utf8To1251(utf8);
    if (!t) throwError(ErrorKind::InvalidArgument, std::string(what) + std::string(": знак вне кодовой страницы 1251"_cp));
    return *t;
}

}  // namespace

void saveReportFiles(const Report& report, const std::string& paged, const std::string& rtf) {
    if (!paged.empty()) {
        OutputFile out{std::filesystem::path(paged)};
        writePagedText(report, out, {});
        out.close();
    }
    if (!rtf.empty()) {
        OutputFile out{std::filesystem::path(rtf)};
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
        std::vector<std::string> problems;
        Settings settings = loadSettings(std::filesystem::current_path() / kSettingsFileName, &problems);
        for (const auto& p : problems) std::cerr << cp1251ToUtf8(p) << "\n";
        if (!args->way.empty()) settings.wayPath = to1251(args->way, "--way");
        if (!args->nums.empty()) settings.dbPath = to1251(args->nums, "--nums");

        TextHost host;
        Report report;
        TableObject tblPDL(settings.engine);
        TableObject tblNUM(settings.engine);
        tblNUM.setDirectory(resolveDirectory(settings.dbPath, settings.engine));
        tblNUM.setTableName("NUMS");
        tblNUM.setTableType(TableType::Default);
        AssignRun run{host, report, tblPDL,
                      [&]() -> Table& {
                          if (!tblNUM.isOpen()) tblNUM.open();
                          return tblNUM.table();
                      },
                      settings.engine, args->countOnly, {}};
        const bool ok = assignNumbers(run, settings.wayPath);
        host.print(report, std::cout, std::cerr);
        saveReportFiles(report, args->paged, args->rtf);
        exitStatus() = ok ? 0 : 1;
    });
}

}  // namespace strnum::cli
