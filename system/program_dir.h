// The program directory: the directory of the running program file, where SOBES.INI,
// the not-found table and the exchange batch live.  The one place that asks the
// platform for the program's path.
#pragma once

#include <filesystem>

namespace strnum {

// The directory of the running executable.  When the platform cannot tell, the current
// directory.
std::filesystem::path programDirectory();

}  // namespace strnum
