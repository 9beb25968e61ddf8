// strnum-cli: the operations of the desktop program without windows, for automation,
// checks and machines without a display.  Reports go to standard output in UTF-8,
// errors to standard error; the exit status tells success (0) from failure.  Arguments are
// UTF-8 (on Windows read from the wide-character command line); a Windows console shows the
// output in its own characters (system/console.h).
#include <iostream>
#include <vector>

#include "base/error.h"
#include "cli/commands.h"
#include "system/console.h"
#include "system/large_memory.h"

namespace strnum::cli {

int& exitStatus() {
    static int status = 0;
    return status;
}

}  // namespace strnum::cli

int main(int argc, char** argv) {
    strnum::keepFreedMemory();
    strnum::useUtf8Console();
    std::vector<std::string> args = strnum::programArguments(argc, argv);
    std::vector<char*> utf8Argv;
    for (std::string& a : args) utf8Argv.push_back(a.data());
    utf8Argv.push_back(nullptr);
    CLI::App app{"strnum-cli: insurance numbers of the benefits database without windows"};
    app.require_subcommand(1);
    strnum::cli::addNumberCommand(app);
    strnum::cli::addPageCommand(app);
    strnum::cli::addDumpCommand(app);
    strnum::cli::addAssignCommand(app);
    strnum::cli::addCheckCommand(app);
    strnum::cli::addFindCommand(app);
    strnum::cli::addHintsCommand(app);
    strnum::cli::addDemoCommand(app);
    strnum::cli::addSqlCommand(app);
    strnum::cli::addUndoCommand(app);
    strnum::cli::addJournalCommand(app);
    try {
        app.parse(static_cast<int>(args.size()), utf8Argv.data());
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? 0 : 2;
    } catch (const strnum::Error& e) {
        std::cerr << e.utf8() << "\n";
        return strnum::cli::exitStatus() != 0 ? strnum::cli::exitStatus() : 1;
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
    return strnum::cli::exitStatus();
}
