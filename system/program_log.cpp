#include "system/program_log.h"

#include <fstream>

#include "system/clock.h"

namespace strnum {

void appendProgramLog(const std::filesystem::path& programDirectory, std::string_view text) {
    std::ofstream out(programDirectory / kProgramLogName, std::ios::binary | std::ios::app);
    if (!out) return;
    out << localTimeText(std::time(nullptr), "%Y-%m-%dT%H:%M:%S") << ' ' << text << "\r\n";
}

}  // namespace strnum
