// Work in numbered chunks done on several threads and given out in their order on the
// calling thread: the district-file pass walks a file's chunks at once and hands out their
// report lines, writes and counters as one walk from the first record to the last would.
//
//     ChunkRunner runner(threads);           // one per run: its helper threads sleep between
//     runner.run(n, ahead,
//                [&](std::size_t k, unsigned worker) { walk chunk k; },   // any thread
//                [&](std::size_t k) { give chunk k out; return true; },     // calling thread, in order
//                [&] { host.processEvents(); });                            // calling thread, while waiting
//
// Chunk 0 is always done on the calling thread, which then takes chunks too whenever it has
// none to give out, so that a file of one chunk never waits for a helper to wake.  At most
// `ahead` chunks past the first one not given out are started.  When giveOut returns false
// no further chunk is started; run() returns once the chunks under way are done.
//
// Threads: helpers wait on a condition variable between runs (they never spin); work and
// giveOut must not throw (catch inside and say so through their own state).
#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace strnum {

class ChunkRunner {
public:
    // threads: how many threads work on chunks, the calling one included (at least 1).
    explicit ChunkRunner(unsigned threads);
    ~ChunkRunner();
    ChunkRunner(const ChunkRunner&) = delete;
    ChunkRunner& operator=(const ChunkRunner&) = delete;

    unsigned threads() const { return static_cast<unsigned>(helpers_.size()) + 1; }

    // work(k, worker): worker 0 is the calling thread, 1.. the helpers.
    void run(std::size_t n, std::size_t ahead, const std::function<void(std::size_t, unsigned)>& work,
             const std::function<bool(std::size_t)>& giveOut, const std::function<void()>& meanwhile);

private:
    void helperLoop(unsigned worker);
    bool canStart() const;  // under the lock

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::thread> helpers_;
    bool closing_ = false;
    // The run under way (none: n_ == 0).
    const std::function<void(std::size_t, unsigned)>* work_ = nullptr;
    std::size_t n_ = 0, ahead_ = 0, next_ = 0, given_ = 0, active_ = 0;
    bool stopped_ = false;
    std::vector<char> done_;
};

}  // namespace strnum
