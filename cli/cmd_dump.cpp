// `strnum-cli dump PATH`: a table's header facts and visible records as JSON lines.
#include <iostream>
#include <memory>
#include <string>

#include "base/error.h"
#include "base/text.h"
#include "cli/commands.h"
#include "cli/dump.h"
#include "tables/table.h"

namespace strnum::cli {

void addDumpCommand(CLI::App& app) {
    auto path = std::make_shared<std::string>();
    CLI::App* cmd = app.add_subcommand("dump", "Print a dBASE or Paradox table as JSON lines (UTF-8)");
    cmd->add_option("PATH", *path, "The table file (.DBF, .DB)")->required();
    cmd->callback([path] {
        const std::filesystem::path file = pathFromUtf8(*path);
        std::string ext = file.extension().string();
        try {
            if (equalsIgnoreCase(ext, ".db"))
                dumpParadoxTable(file, std::cout);
            else
                dumpDbfTable(file, std::cout);
            std::cout.flush();
        } catch (const Error& e) {
            std::cout.flush();
            std::cerr << e.utf8() << '\n';
            exitStatus() = 1;
        }
    });
}

}  // namespace strnum::cli
