// strnum-cli sql [--db DIR] [--save FILE] "SQL TEXT"
// The console's statement without windows: the result is printed in the layout of the
// saved result file (UTF-8, LF); --save also writes FILE exactly as Save Result writes
// REPORT.TXT (1251, CR LF).  Settings (drive table, code page) from ./SOBES.INI when there.
#include <iostream>
#include <memory>

#include "base/error.h"
#include "base/text.h"
#include "cli/commands.h"
#include "cli/district_run.h"
#include "console/result_file.h"
#include "console/sql_query.h"
#include "settings/settings.h"

namespace strnum::cli {

namespace {

struct SqlArgs {
    std::string db, save, sql;
};

}  // namespace

void addSqlCommand(CLI::App& app) {
    auto args = std::make_shared<SqlArgs>();
    auto* cmd = app.add_subcommand("sql", "Run an SQL statement over the tables of a directory (read only)");
    cmd->add_option("--db", args->db, "the directory of the tables (default: the current directory)");
    cmd->add_option("--save", args->save, "also write the result file, as Save Result writes REPORT.TXT");
    cmd->add_option("SQL", args->sql, "the statement; table names are file names: way.dbf, \"U01\\PDL.DBF\"")
        ->required();
    cmd->callback([args] {
        try {
            std::vector<std::string> problems;
            const Settings settings = loadSettings(std::filesystem::current_path() / kSettingsFileName, &problems);
            for (const auto& p : problems) std::cerr << cp1251ToUtf8(p) << "\n";
            const std::string sql = to1251(args->sql, "SQL");
            const std::vector<std::string> lines = console::sqlLines(sql);
            console::SqlSession session(settings.engine);
            console::SqlQuery query(session, sql, to1251(args->db, "--db"));
            console::printResult(lines, query, [](std::string_view s) {
                std::cout.write(s.data(), static_cast<std::streamsize>(s.size()));
            });
            std::cout.flush();
            if (!args->save.empty()) console::writeResultFile(pathFromUtf8(args->save), lines, &query);
        } catch (const Error& e) {
            std::cout.flush();
            std::cerr << e.utf8() << '\n';
            exitStatus() = 1;
        }
    });
}

}  // namespace strnum::cli
