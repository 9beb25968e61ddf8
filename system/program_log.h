// The program's log: strnum.log in the program directory, one line per event worth
// finding again later (a writing run and its journal), appended, never rewritten.
#pragma once

#include <filesystem>
#include <string_view>

namespace strnum {

inline constexpr const char* kProgramLogName = "strnum.log";

// Appends "2026-12-09T14:03:27 " + text (1251) and a line end.  Never throws: a log that
// cannot be written is no reason to stop a run.
void appendProgramLog(const std::filesystem::path& programDirectory, std::string_view text);

}  // namespace strnum
