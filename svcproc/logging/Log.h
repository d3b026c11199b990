// The logging library's interface as svcproc uses it: three functions and the
// level type. The library itself (log.dll / liblog.so) lies outside svcproc.
//
// The calls may come from any thread at any time, including static
// construction and destruction. Formats follow the Windows C runtime: in WLog
// formats %s takes a wide string; %p prints the pointer as upper-case hex
// digits zero-padded to the pointer's width, without a 0x prefix.
#pragma once

#include <cstdint>

#include "log_export.h"
#include "platform.h"

typedef enum _LOG_LEVEL {
    LOG_LEVEL_NONE = 0,
    LOG_LEVEL_ERROR = 1,
    LOG_LEVEL_WARNING = 2,
    LOG_LEVEL_INFO = 3,
    LOG_LEVEL_DEBUG = 4
} _LOG_LEVEL;

extern "C" {
LOG_EXPORT void __cdecl Log(_LOG_LEVEL level, const char* format, ...) SVCP_PRINTF_LIKE(2, 3);
LOG_EXPORT void __cdecl WLog(_LOG_LEVEL level, const wchar_t* format, ...);
LOG_EXPORT void __cdecl LogQuick(_LOG_LEVEL level, const char* text);
}

// The levels as svcproc uses them.
constexpr _LOG_LEVEL kLogError = LOG_LEVEL_ERROR;  // errors, refusals, failed platform calls
constexpr _LOG_LEVEL kLogTrace = LOG_LEVEL_INFO;   // construction, start-up trace, dumps
constexpr _LOG_LEVEL kLogCall = LOG_LEVEL_DEBUG;   // entry and exit lines, per-sensor alert trace

// Addresses printed with "0x%08x": the low 32 bits, which is the whole address
// on the library's home platform.
inline unsigned int LogAddress(const void* address) {
    return static_cast<unsigned int>(reinterpret_cast<uintptr_t>(address));
}
