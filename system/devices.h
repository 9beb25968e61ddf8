// Devices of this system that the program writes to as to files.
#pragma once

#include <string>

namespace strnum {

// The device that stands for the printer port LPT1 when the settings name none: LPT1 itself
// on Windows, the first parallel printer elsewhere.
inline std::string defaultPrinterDevice() {
#ifdef _WIN32
    return "LPT1";
#else
    return "/dev/lp0";
#endif
}

}  // namespace strnum
