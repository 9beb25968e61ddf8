#include "system/clock.h"

namespace strnum {

std::tm localTime(std::time_t t) {
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &t);
#else
    localtime_r(&t, &local);
#endif
    return local;
}

std::string localTimeText(std::time_t t, const char* format) {
    const std::tm local = localTime(t);
    char buf[64];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    const std::size_t n = std::strftime(buf, sizeof buf, format, &local);
#pragma GCC diagnostic pop
    return std::string(buf, n);
}

}  // namespace strnum
