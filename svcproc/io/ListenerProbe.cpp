#include "svcproc/io/ListenerProbe.h"

#include <cstdint>
#include <cstring>

#include "platform.h"

namespace {

constexpr DWORD kReadable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                            PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
constexpr DWORD kExecutable =
    PAGE_EXECUTE | PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;

// True when the page holding `address` is committed with one of the `wanted`
// protections (a guard page never counts: touching it raises an exception).
// *regionEnd receives the end of the region the answer holds for.
bool HasAccess(uintptr_t address, DWORD wanted, uintptr_t* regionEnd) {
    MEMORY_BASIC_INFORMATION info;
    if (VirtualQuery(reinterpret_cast<LPCVOID>(address), &info, sizeof info) == 0) {
        return false;
    }
    *regionEnd = reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize;
    return info.State == MEM_COMMIT && (info.Protect & PAGE_GUARD) == 0 &&
           (info.Protect & wanted) != 0;
}

// True when all `size` bytes from `address` have one of the `wanted`
// protections. The ranges asked for are a pointer wide, so they span at most
// two regions.
bool RangeHasAccess(const void* address, size_t size, DWORD wanted) {
    const uintptr_t begin = reinterpret_cast<uintptr_t>(address);
    if (begin == 0 || size == 0 || begin > UINTPTR_MAX - (size - 1)) {
        return false;
    }
    const uintptr_t last = begin + (size - 1);
    uintptr_t regionEnd = 0;
    if (!HasAccess(begin, wanted, &regionEnd)) {
        return false;
    }
    // A region that ends at the top of the address space wraps to 0.
    if (regionEnd == 0 || last < regionEnd) {
        return true;
    }
    return HasAccess(last, wanted, &regionEnd);
}

}  // namespace

bool IsListenerCallable(const ISensorStateListener* listener) {
    if (!RangeHasAccess(listener, sizeof(const void*), kReadable)) {
        return false;
    }
    const void* vtable = nullptr;
    std::memcpy(&vtable, listener, sizeof vtable);
    if (!RangeHasAccess(vtable, sizeof(const void*), kReadable)) {
        return false;
    }
    const void* slot0 = nullptr;
    std::memcpy(&slot0, vtable, sizeof slot0);
    return RangeHasAccess(slot0, 1, kExecutable);
}
