// GetTickCount and its test controls. Lock-free: the tick is read on the
// library's hot path by many threads at once.
#include <dlfcn.h>

#include <atomic>
#include <ctime>

#include "platform_seams.h"
#include "win/kernel32.h"

namespace {

// Bit 32 set: frozen, with the frozen value in the low 32 bits.
constexpr uint64_t kFrozen = uint64_t{1} << 32;
std::atomic<uint64_t> g_frozen{0};
// Added to the monotonic clock while not frozen.
std::atomic<int64_t> g_offset{0};

using ClockFunction = int (*)(clockid_t, timespec*);

// The kernel's own clock_gettime in the vDSO, called directly: the C
// library's wrapper in front of it is a third of the cost of a tick.
ClockFunction ResolveClock() {
    if (void* vdso = dlopen("linux-vdso.so.1", RTLD_LAZY | RTLD_NOLOAD)) {
        if (void* function = dlsym(vdso, "__vdso_clock_gettime")) {
            return reinterpret_cast<ClockFunction>(function);
        }
    }
    return &clock_gettime;
}

// The coarse clock, as GetTickCount on Windows: a read of a value the kernel
// updates at each timer interrupt (here a jiffy, 1 to 10 ms; 10 to 16 ms on
// Windows), a few nanoseconds instead of the fine clock's tens. Nothing in
// the library needs more than the 500 ms freshness window.
int64_t MonotonicMilliseconds() {
    static const ClockFunction readClock = ResolveClock();
    timespec now{};
    readClock(CLOCK_MONOTONIC_COARSE, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

DWORD RunningTick() {
    return static_cast<DWORD>(MonotonicMilliseconds() + g_offset.load(std::memory_order_relaxed));
}

}  // namespace

extern "C" DWORD WINAPI GetTickCount(void) {
    const uint64_t frozen = g_frozen.load(std::memory_order_acquire);
    if (frozen & kFrozen) {
        return static_cast<DWORD>(frozen);
    }
    return RunningTick();
}

void SvcpSetTickCount(DWORD value) {
    g_frozen.store(kFrozen | value, std::memory_order_release);
}

void SvcpAdvanceTickCount(DWORD milliseconds) {
    uint64_t frozen = g_frozen.load(std::memory_order_acquire);
    while (frozen & kFrozen) {
        const uint64_t next =
            kFrozen | static_cast<DWORD>(static_cast<DWORD>(frozen) + milliseconds);
        if (g_frozen.compare_exchange_weak(frozen, next, std::memory_order_acq_rel)) {
            return;
        }
    }
    g_offset.fetch_add(milliseconds, std::memory_order_relaxed);
}

void SvcpUnfreezeTickCount() {
    const uint64_t frozen = g_frozen.load(std::memory_order_acquire);
    if (!(frozen & kFrozen)) {
        return;
    }
    // Resume from the frozen value.
    g_offset.store(static_cast<int64_t>(static_cast<DWORD>(frozen)) - MonotonicMilliseconds(),
                   std::memory_order_relaxed);
    g_frozen.store(0, std::memory_order_release);
}
