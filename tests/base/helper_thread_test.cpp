#include "base/helper_thread.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace strnum {
namespace {

// Pieces one after another, with and without a pause that puts the thread to sleep; each
// piece's work is seen by the waiter; a throwing piece throws at the wait and the next
// piece runs as usual.
TEST(HelperThread, RunsPiecesInTurnAndHandsBackWhatTheyThrow) {
    HelperThread helper;
    EXPECT_FALSE(helper.busy());
    helper.wait();  // nothing to wait for
    std::vector<int> done;
    for (int i = 0; i < 50; ++i) {
        if (i == 25) std::this_thread::sleep_for(HelperThread::kAwake * 3);
        helper.run([&done, i] { done.push_back(i); });
        EXPECT_TRUE(helper.busy());
        helper.wait();
        EXPECT_FALSE(helper.busy());
        ASSERT_EQ(done.size(), static_cast<std::size_t>(i + 1));
    }
    helper.run([] { throw std::runtime_error("piece"); });
    EXPECT_THROW(helper.wait(), std::runtime_error);
    helper.run([&done] { done.push_back(-1); });
    helper.wait();
    EXPECT_EQ(done.back(), -1);
}

TEST(HelperThread, TheWaiterIsCalledBackWhileAPieceRuns) {
    HelperThread helper;
    std::atomic<bool> release{false};
    int calls = 0;
    helper.run([&release] {
        while (!release.load()) std::this_thread::yield();
    });
    helper.wait([&] {
        if (++calls == 3) release = true;
    });
    EXPECT_EQ(calls, 3);
}

TEST(HelperThread, GoingAwayWaitsForThePieceUnderWay) {
    std::atomic<bool> finished{false};
    {
        HelperThread helper;
        helper.run([&finished] {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            finished = true;
        });
    }
    EXPECT_TRUE(finished.load());
}

}  // namespace
}  // namespace strnum
