#include "base/parallel.h"

namespace strnum {

unsigned threadCount(int setting) {
    if (setting >= 1) return static_cast<unsigned>(setting);
    static const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    return cores;
}

}  // namespace strnum
