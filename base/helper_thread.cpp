#include "base/helper_thread.h"

#if defined(__x86_64__) || defined(_M_X64) || defined(__i386__)
#include <immintrin.h>
#endif

namespace strnum {

namespace {

void relax() {
#if defined(__x86_64__) || defined(_M_X64) || defined(__i386__)
    _mm_pause();
#else
    std::this_thread::yield();
#endif
}

using Clock = std::chrono::steady_clock;

}  // namespace

HelperThread::HelperThread() : thread_([this] { loop(); }) {}

HelperThread::~HelperThread() {
    try {
        wait();
    } catch (...) {
    }
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stop_.store(true, std::memory_order_release);
    }
    wake_.notify_one();
    thread_.join();
}

void HelperThread::run(std::function<void()> piece) {
    piece_ = std::move(piece);
    error_ = nullptr;
    {
        // Under the lock: the thread looks at the state under it before it sleeps.
        const std::lock_guard<std::mutex> lock(mutex_);
        state_.store(kReady, std::memory_order_release);
    }
    wake_.notify_one();
}

void HelperThread::wait(const std::function<void()>& meanwhile) {
    if (state_.load(std::memory_order_acquire) == kIdle) return;
    auto last = Clock::now();
    const auto since = last;
    for (unsigned spins = 0; state_.load(std::memory_order_acquire) != kDone; ++spins) {
        if (spins % 1024 != 0) {
            relax();
            continue;
        }
        const auto now = Clock::now();
        if (now - since > kAwake) std::this_thread::yield();
        if (meanwhile && now - last >= kAwake) {
            meanwhile();
            last = now;
        }
    }
    piece_ = nullptr;
    state_.store(kIdle, std::memory_order_release);
    if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
}

void HelperThread::loop() {
    for (;;) {
        const auto since = Clock::now();
        for (unsigned spins = 0; state_.load(std::memory_order_acquire) != kReady; ++spins) {
            if (stop_.load(std::memory_order_acquire)) return;
            if (spins % 1024 != 0 || Clock::now() - since < kAwake) {
                relax();
                continue;
            }
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [this] {
                return state_.load(std::memory_order_acquire) == kReady || stop_.load(std::memory_order_acquire);
            });
        }
        try {
            piece_();
        } catch (...) {
            error_ = std::current_exception();
        }
        state_.store(kDone, std::memory_order_release);
    }
}

}  // namespace strnum
