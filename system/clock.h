// The local time of this machine, as the system gives it (the time zone and its rules are
// the system's).
#pragma once

#include <ctime>
#include <string>

namespace strnum {

// `t` as a local calendar time.
std::tm localTime(std::time_t t);

// `t` as local time in a strftime format (the caller's own constant; at most 63 bytes).
std::string localTimeText(std::time_t t, const char* format);

}  // namespace strnum
