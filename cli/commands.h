// The commands of strnum-cli, one file each (cmd_NAME.cpp).  Each adds its subcommand to
// the application; the subcommand's callback runs the operation over the core and sets
// the process's exit status through the returned reference.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

#include "report/report.h"

namespace strnum::cli {

// Exit status of the command that ran: 0 success, 1 a negative answer (an invalid number,
// an operation that ended with an error), 2 bad usage or input, 3 a run that went to its
// end past files, records or outputs it could not read or write (each named on standard
// error).
int& exitStatus();

void addNumberCommand(CLI::App& app);
void addPageCommand(CLI::App& app);
void addDumpCommand(CLI::App& app);
void addAssignCommand(CLI::App& app);
void addCheckCommand(CLI::App& app);
void addFindCommand(CLI::App& app);
void addHintsCommand(CLI::App& app);
void addDemoCommand(CLI::App& app);
void addSqlCommand(CLI::App& app);
void addUndoCommand(CLI::App& app);
void addJournalCommand(CLI::App& app);

// Saves the report as paged text and/or rich text, as the report window would (empty
// names are skipped).  Throws Error(Io).
void saveReportFiles(const Report& report, const std::string& paged, const std::string& rtf);

}  // namespace strnum::cli
