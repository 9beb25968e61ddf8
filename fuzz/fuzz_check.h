// What every fuzzer asserts with: a broken property stops the fuzzer at once, with the
// input kept, in every build type (assert() would vanish under NDEBUG).
#pragma once

namespace strnum::fuzz {

inline void check(bool ok) {
    if (!ok) __builtin_trap();
}

}  // namespace strnum::fuzz
