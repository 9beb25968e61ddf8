// How many threads the parallel parts of the work use, and running a piece of work over a
// range in contiguous parts at once.
//
// The setting is [Tables] Threads of the settings file: 0 (or nothing) for as many as the
// machine has cores, 1 for all work on the calling thread.  Nothing that comes out depends
// on it.
#pragma once

#include <cstddef>
#include <exception>
#include <thread>
#include <vector>

namespace strnum {

// The threads to use for a setting: the setting itself when it is 1 or more, else the
// machine's cores (at least 1).
unsigned threadCount(int setting);

// [begin, end) of part `part` of `parts` equal parts of [0, n).
inline std::size_t partBegin(std::size_t n, unsigned parts, unsigned part) {
    return n / parts * part + std::min<std::size_t>(part, n % parts);
}

// Runs fn(part, begin, end) for the `parts` contiguous parts of [0, n): part 0 on the calling
// thread, every other on a thread of its own, all at once; returns when all are done and
// rethrows the first part's exception that was thrown.  With at most one part: fn(0, 0, n) here.
template <class Fn>
void inParts(std::size_t n, unsigned parts, Fn&& fn) {
    if (parts <= 1 || n < parts) {
        fn(0u, std::size_t{0}, n);
        return;
    }
    std::vector<std::exception_ptr> failed(parts);
    std::vector<std::thread> threads;
    threads.reserve(parts - 1);
    const auto run = [&](unsigned part) {
        try {
            fn(part, partBegin(n, parts, part), partBegin(n, parts, part + 1));
        } catch (...) {
            failed[part] = std::current_exception();
        }
    };
    for (unsigned part = 1; part < parts; ++part) {
        try {
            threads.emplace_back(run, part);
        } catch (const std::system_error&) {
            run(part);  // no thread to be had: this part here, after the others started
        }
    }
    run(0);
    for (std::thread& t : threads) t.join();
    for (const std::exception_ptr& e : failed)
        if (e) std::rethrow_exception(e);
}

}  // namespace strnum
