#include "cli/commands.h"

namespace strnum::cli {

void addDumpCommand(CLI::App& app) { (void)app; }

}  // namespace strnum::cli
