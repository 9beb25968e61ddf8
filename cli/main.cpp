// strnum-cli: the operations of the desktop program without windows, for automation,
// checks and machines without a display.  Reports go to standard output in UTF-8,
// errors to standard error; the exit status tells success (0) from failure.
#include <iostream>

#include "base/error.h"
#include "cli/commands.h"
#include "system/large_memory.h"

namespace strnum::cli {

int& exitStatus() {
    static int status = 0;
    return status;
}

}  // namespace strnum::cli

int main(int argc, char** argv) {
    strnum::keepFreedMemory();
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
        app.parse(argc, argv);
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
