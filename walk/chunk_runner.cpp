#include "walk/chunk_runner.h"

#include <chrono>
#include <system_error>

namespace strnum {

namespace {

// How long the calling thread waits for a helper's chunk before it lets the window breathe.
constexpr std::chrono::milliseconds kBreathe{25};

}  // namespace

ChunkRunner::ChunkRunner(unsigned threads) {
    for (unsigned worker = 1; worker < threads; ++worker) {
        try {
            helpers_.emplace_back([this, worker] { helperLoop(worker); });
        } catch (const std::system_error&) {
            break;  // no more threads to be had: fewer helpers
        }
    }
}

ChunkRunner::~ChunkRunner() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
    }
    changed_.notify_all();
    for (std::thread& t : helpers_) t.join();
}

bool ChunkRunner::canStart() const { return work_ && !stopped_ && next_ < n_ && next_ < given_ + ahead_; }

void ChunkRunner::helperLoop(unsigned worker) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return closing_ || canStart(); });
        if (closing_) return;
        const std::size_t k = next_++;
        ++active_;
        const auto* work = work_;
        lock.unlock();
        (*work)(k, worker);
        lock.lock();
        done_[k] = 1;
        --active_;
        changed_.notify_all();
    }
}

void ChunkRunner::run(std::size_t n, std::size_t ahead, const std::function<void(std::size_t, unsigned)>& work,
                      const std::function<bool(std::size_t)>& giveOut, const std::function<void()>& meanwhile) {
    if (n == 0) return;
    std::unique_lock<std::mutex> lock(mutex_);
    work_ = &work;
    n_ = n;
    ahead_ = ahead < 1 ? 1 : ahead;
    next_ = 1;  // chunk 0 is the calling thread's
    given_ = 0;
    stopped_ = false;
    done_.assign(n, 0);
    if (n > 1 && !helpers_.empty()) changed_.notify_all();
    lock.unlock();
    work(0, 0);
    lock.lock();
    done_[0] = 1;
    while (given_ < n_ && !stopped_) {
        if (done_[given_]) {
            const std::size_t k = given_;
            lock.unlock();
            const bool more = giveOut(k);
            if (meanwhile) meanwhile();
            lock.lock();
            ++given_;
            if (!more) stopped_ = true;
            changed_.notify_all();  // room for more chunks ahead
            continue;
        }
        if (canStart()) {
            const std::size_t k = next_++;
            ++active_;
            lock.unlock();
            work(k, 0);
            lock.lock();
            done_[k] = 1;
            --active_;
            continue;
        }
        if (!changed_.wait_for(lock, kBreathe, [&] { return done_[given_] != 0 || canStart(); })) {
            lock.unlock();
            if (meanwhile) meanwhile();
            lock.lock();
        }
    }
    // Chunks under way on helpers refer to the caller's state: wait for them.
    stopped_ = true;
    changed_.wait(lock, [this] { return active_ == 0; });
    work_ = nullptr;
    n_ = 0;
}

}  // namespace strnum
