// GetTickCount and its test controls.
#include <atomic>
#include <cstdint>
#include <ctime>
#include <mutex>

#include "platform_seams.h"
#include "win/kernel32.h"

namespace {

// The coarse monotonic clock, as GetTickCount on Windows: it moves at each
// timer interrupt (here a jiffy, 1 to 10 ms; 10 to 16 ms on Windows).
// Nothing in the library needs more than its 500 ms freshness window.
int64_t MonotonicMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// The test controls change the tick one at a time, under g_mutex.
// GetTickCount reads it without the lock, as Windows' is read: a lock there
// would order every two threads that read the tick, and hide their races
// from ThreadSanitizer. Constant-initialised, so usable at any time.
std::mutex g_mutex;
std::atomic<bool> g_bFrozen{false};
std::atomic<DWORD> g_dwFrozenValue{0};  // what GetTickCount returns while frozen
std::atomic<int64_t> g_nOffset{0};      // added to the clock while not frozen

}  // namespace

extern "C" DWORD WINAPI GetTickCount(void) {
    // The release stores below make the value or offset written before the
    // flag visible with it.
    if (g_bFrozen.load(std::memory_order_acquire)) {
        return g_dwFrozenValue.load(std::memory_order_relaxed);
    }
    return static_cast<DWORD>(MonotonicMilliseconds() + g_nOffset.load(std::memory_order_relaxed));
}

void SvcpSetTickCount(DWORD value) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_dwFrozenValue.store(value, std::memory_order_relaxed);
    g_bFrozen.store(true, std::memory_order_release);
}

void SvcpAdvanceTickCount(DWORD milliseconds) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_bFrozen.load(std::memory_order_relaxed)) {
        // Wraps, as the tick does.
        g_dwFrozenValue.store(g_dwFrozenValue.load(std::memory_order_relaxed) + milliseconds,
                              std::memory_order_relaxed);
    } else {
        g_nOffset.store(g_nOffset.load(std::memory_order_relaxed) + milliseconds,
                        std::memory_order_relaxed);
    }
}

void SvcpUnfreezeTickCount() {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_bFrozen.load(std::memory_order_relaxed)) {
        return;
    }
    // Resume from the frozen value.
    g_nOffset.store(static_cast<int64_t>(g_dwFrozenValue.load(std::memory_order_relaxed)) -
                        MonotonicMilliseconds(),
                    std::memory_order_relaxed);
    g_bFrozen.store(false, std::memory_order_release);
}
