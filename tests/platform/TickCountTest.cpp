// The tick counter and its test controls.
#include <gtest/gtest.h>

#include <atomic>
#include <ctime>
#include <thread>

#include "platform.h"
#include "platform_seams.h"

namespace {

class TickCount : public ::testing::Test {
protected:
    void TearDown() override { SvcpUnfreezeTickCount(); }
};

TEST_F(TickCount, RunsForwardInMilliseconds) {
    // Like Windows' tick, it moves in steps of the timer interrupt: a step's
    // worth may be missing from a measured interval.
    timespec resolution{};
    ASSERT_EQ(clock_getres(CLOCK_MONOTONIC_COARSE, &resolution), 0);
    const DWORD step = static_cast<DWORD>(resolution.tv_nsec / 1000000 + 1);
    ASSERT_LE(step, 20u);
    const DWORD before = GetTickCount();
    Sleep(40);
    const DWORD elapsed = GetTickCount() - before;
    EXPECT_GE(elapsed, 40u - step);
    EXPECT_LT(elapsed, 5000u);
}

TEST_F(TickCount, FrozenValueMovesOnlyWhenAdvanced) {
    SvcpSetTickCount(1000);
    Sleep(5);
    EXPECT_EQ(GetTickCount(), 1000u);
    SvcpAdvanceTickCount(499);
    EXPECT_EQ(GetTickCount(), 1499u);
}

TEST_F(TickCount, WrapsAround32Bits) {
    SvcpSetTickCount(0xFFFFFF00u);
    SvcpAdvanceTickCount(0x200);
    EXPECT_EQ(GetTickCount(), 0x100u);
}

TEST_F(TickCount, UnfreezeResumesFromTheFrozenValue) {
    SvcpSetTickCount(0xFFFFFFF0u);
    SvcpUnfreezeTickCount();
    const DWORD resumed = GetTickCount();
    EXPECT_LT(resumed - 0xFFFFFFF0u, 1000u);  // near the frozen value, across the wrap
    SvcpAdvanceTickCount(5000);
    EXPECT_GE(GetTickCount() - resumed, 5000u);
}

// Threads that move the tick while another reads it: no move is lost, and
// the reader never sees the tick go back or leave the range it was moved in.
TEST_F(TickCount, ConcurrentMovesAreNeitherLostNorSeenHalfDone) {
    constexpr DWORD kStart = 0xFFFF0000u;  // the moves cross the wrap
    constexpr DWORD kMovesPerThread = 20000;
    SvcpSetTickCount(kStart);
    std::atomic<bool> moving{true};
    unsigned wrongReads = 0;
    std::thread reader([&] {
        DWORD last = 0;
        while (moving.load()) {
            const DWORD moved = GetTickCount() - kStart;
            if (moved < last || moved > 2 * kMovesPerThread) {
                ++wrongReads;
            }
            last = moved;
        }
    });
    std::atomic<int> ready{0};
    auto advance = [&ready] {
        // Both start together, so that their moves overlap.
        ready.fetch_add(1);
        while (ready.load() < 2) {
        }
        for (DWORD i = 0; i < kMovesPerThread; ++i) {
            SvcpAdvanceTickCount(1);
        }
    };
    std::thread first(advance);
    std::thread second(advance);
    first.join();
    second.join();
    moving.store(false);
    reader.join();
    EXPECT_EQ(GetTickCount(), kStart + 2 * kMovesPerThread);
    EXPECT_EQ(wrongReads, 0u);
}

}  // namespace
