// A second thread for work handed over one piece at a time and waited for soon after (the
// later half of a district file while the run's thread walks the earlier half).
//
// Between pieces the thread stays awake for a while, spinning, so that the next piece
// starts at once: on some machines (virtual ones above all) waking a sleeping thread takes a
// millisecond or more, as long as half of a small file takes.  After kAwake without a piece
// it sleeps until the next.  Waiting for a piece spins too, then yields.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

namespace strnum {

class HelperThread {
public:
    static constexpr std::chrono::milliseconds kAwake{20};

    HelperThread();
    // Waits for the piece under way, then ends the thread.
    ~HelperThread();
    HelperThread(const HelperThread&) = delete;
    HelperThread& operator=(const HelperThread&) = delete;

    // Starts a piece.  The piece before must have been waited for.
    void run(std::function<void()> piece);
    // Whether a piece was started and not yet waited for.
    bool busy() const { return state_.load(std::memory_order_acquire) != kIdle; }
    // Waits for the piece (none: returns at once), calling `meanwhile` about every
    // kAwake while it runs; then rethrows what the piece threw.
    void wait(const std::function<void()>& meanwhile = {});

private:
    enum : int { kIdle, kReady, kDone };
    void loop();

    std::atomic<int> state_{kIdle};
    std::atomic<bool> stop_{false};
    std::function<void()> piece_;
    std::exception_ptr error_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::thread thread_;
};

}  // namespace strnum
