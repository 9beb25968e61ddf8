#include "app/program_log.h"

#include <fstream>

#include "journal/run_journal.h"

namespace strnum {

void appendProgramLog(const std::filesystem::path& programDirectory, std::string_view text) {
    std::ofstream out(programDirectory / kProgramLogName, std::ios::binary | std::ios::app);
    if (!out) return;
    out << journalTime() << ' ' << text << "\r\n";
}

}  // namespace strnum
