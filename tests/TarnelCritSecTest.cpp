// TarnelCritSec: recursion on one thread and exclusion between threads.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "base/TarnelCritSec.h"

TEST(TarnelCritSec, OwnerMayEnterAgainAndOthersWaitUntilItLeavesAsOften) {
    TarnelCritSec cs;
    cs.enter();
    cs.enter();
    std::atomic<bool> entered{false};
    std::thread other([&] {
        TarnelLockGuard guard(cs);
        entered = true;
    });
    cs.leave();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(entered);  // still held once
    cs.leave();
    other.join();
    EXPECT_TRUE(entered);
}

TEST(TarnelCritSec, CountersStayExactUnderContention) {
    TarnelCritSec cs;
    long counter = 0;
    auto work = [&] {
        for (int i = 0; i < 20000; ++i) {
            TarnelLockGuard outer(cs);
            TarnelLockGuard inner(cs);
            ++counter;
        }
    };
    std::thread a(work);
    std::thread b(work);
    a.join();
    b.join();
    EXPECT_EQ(counter, 40000);
}
