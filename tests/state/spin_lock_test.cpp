// Application core tests: the four spin locks.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "state/state.h"

namespace kc {
namespace {

using namespace std::chrono_literals;

TEST(SpinLock, counter_returns_to_zero_after_every_use) {
    SpinLock lock;
    lock.acquire();
    EXPECT_EQ(lock.value(), 1);
    lock.release();
    EXPECT_EQ(lock.value(), 0);
    { LockGuard guard(lock); EXPECT_EQ(lock.value(), 1); }
    EXPECT_EQ(lock.value(), 0);
    {
        TryLock t(lock);
        EXPECT_TRUE(t.held());
    }
    EXPECT_EQ(lock.value(), 0);

    // A failed try leaves the holder's count as it found it.
    lock.acquire();
    {
        TryLock t(lock);
        EXPECT_FALSE(t.held());
        EXPECT_EQ(lock.value(), 2);
    }
    EXPECT_EQ(lock.value(), 1);
    lock.release();
    EXPECT_EQ(lock.value(), 0);
}

TEST(SpinLock, try_on_a_held_lock_fails_without_waiting) {
    SpinLock lock;
    lock.acquire();
    auto answer = std::async(std::launch::async, [&] { return TryLock(lock).held(); });
    // Bounded only so that a try that waited for the holder cannot hang the run.
    bool finished = answer.wait_for(5s) == std::future_status::ready;
    lock.release();
    EXPECT_TRUE(finished) << "try waited for the holder";
    EXPECT_FALSE(answer.get());
    EXPECT_EQ(lock.value(), 0);
}

TEST(SpinLock, acquire_waits_until_the_holder_releases) {
    SpinLock lock;
    std::atomic<bool> entered{false};
    lock.acquire();
    std::thread waiter([&] {
        LockGuard guard(lock);
        entered = true;
    });
    std::this_thread::sleep_for(30ms);
    EXPECT_FALSE(entered.load());
    lock.release();
    waiter.join();
    EXPECT_TRUE(entered.load());
    EXPECT_EQ(lock.value(), 0);
}

TEST(SpinLock, holders_never_overlap) {
    SpinLock lock;
    int inside = 0;  // plain memory: only the lock orders it
    int max_inside = 0;
    long total = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 250; ++i) {
                LockGuard guard(lock);
                ++inside;
                if (inside > max_inside) max_inside = inside;
                ++total;
                --inside;
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(total, 1000);
    EXPECT_EQ(max_inside, 1);
    EXPECT_EQ(lock.value(), 0);
}

TEST(SharedText, keeps_at_most_63_characters) {
    SharedText text;
    text.set("ver.1.07");
    EXPECT_EQ(text.get(), "ver.1.07");
    text.set(std::string(100, 'v'));
    EXPECT_EQ(text.get(), std::string(63, 'v'));
}

}  // namespace
}  // namespace kc
