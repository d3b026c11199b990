// Test seams of the platform stand-ins. Only tests (and the simulator's
// controls) use these; the library never includes this header.
//
// All functions are thread-safe and may be called at any time.
#pragma once

#include <cstdint>

#include "win/types.h"

// Calls whose next invocations can be made to fail.
enum class SvcpCall : int {
    CreateEventW,
    BeginThreadEx,
    SetupDiGetClassDevsW,
    SetupDiEnumDeviceInterfaces,
    SetupDiGetDeviceInterfaceDetailW,
    CreateFileW,
    DeviceIoControl,
    CoInitializeEx,
    CoCreateInstance,
    ConnectServer,
    CoSetProxyBlanket,
    CreateInstanceEnum,
    EnumNext,
    ClassObjectGet,
    SysAllocString,
    Count_
};

// Makes `count` invocations of `call` fail with `code`, after letting `skip`
// invocations succeed. For Win32 calls `code` is the last-error code the call
// sets; for COM calls it is the HRESULT the call returns. A later call for the
// same `call` replaces the earlier plan.
SVCP_PLATFORM_API void SvcpFailCalls(SvcpCall call, uint32_t code, unsigned count = 1,
                                     unsigned skip = 0);
// Drops every pending failure plan.
SVCP_PLATFORM_API void SvcpClearFailures();
// Used by the stand-ins: true (with the planned code) when this invocation of
// `call` must fail.
SVCP_PLATFORM_API bool SvcpTakeFailure(SvcpCall call, uint32_t* code);

// Tick counter control. While frozen, GetTickCount returns the frozen value,
// which only SvcpSetTickCount and SvcpAdvanceTickCount move; unfreezing resumes
// real time from the current value.
SVCP_PLATFORM_API void SvcpSetTickCount(DWORD value);             // freezes at value
SVCP_PLATFORM_API void SvcpAdvanceTickCount(DWORD milliseconds);  // frozen or not; wraps
SVCP_PLATFORM_API void SvcpUnfreezeTickCount();

// Memory queries (VirtualQuery, IsBadCodePtr) ask the kernel for the one
// mapping that holds an address where it can answer (Linux 6.11 and later).
// With `ask` false they read the process's mapping list instead, as on older
// kernels, so that tests reach that path on any kernel. On by default.
SVCP_PLATFORM_API void SvcpAskKernelForMapping(bool ask);
