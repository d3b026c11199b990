// GetTickCount and its test controls.
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

// The tests' hold on the tick, under one lock. Constant-initialised, so
// usable before and after static construction.
std::mutex g_mutex;
bool g_bFrozen = false;
DWORD g_dwFrozenValue = 0;  // what GetTickCount returns while frozen
int64_t g_nOffset = 0;      // added to the clock while not frozen

}  // namespace

extern "C" DWORD WINAPI GetTickCount(void) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_bFrozen) {
        return g_dwFrozenValue;
    }
    return static_cast<DWORD>(MonotonicMilliseconds() + g_nOffset);
}

void SvcpSetTickCount(DWORD value) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_bFrozen = true;
    g_dwFrozenValue = value;
}

void SvcpAdvanceTickCount(DWORD milliseconds) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_bFrozen) {
        g_dwFrozenValue += milliseconds;  // wraps, as the tick does
    } else {
        g_nOffset += milliseconds;
    }
}

void SvcpUnfreezeTickCount() {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_bFrozen) {
        return;
    }
    // Resume from the frozen value.
    g_nOffset = static_cast<int64_t>(g_dwFrozenValue) - MonotonicMilliseconds();
    g_bFrozen = false;
}
