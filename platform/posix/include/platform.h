// The Windows interfaces svcproc calls, as stand-ins for hosts other than Windows.
//
// This is the only header the library includes for platform services. On
// Windows the build puts platform/win32/include first on the include path and
// the real <windows.h> family is used instead; the declarations below mirror
// exactly the subset the library relies on, with the same names and types.
//
// Index of the stand-ins (one header per Windows component):
//   win/types.h     basic Windows types, constants and error codes
//   win/kernel32.h  critical sections, events, waits, handles, last error, tick
//                   counter, code-pointer test, virtual memory query
//   win/crt.h       _beginthreadex, _onexit, mbstowcs_s, DllMain contract
//   win/setupapi.h  device-interface enumeration (SetupDi*)
//   win/fileapi.h   CreateFileW and DeviceIoControl on device paths, CTL_CODE
//                   (winioctl.h)
//   win/com.h       COM: HRESULT codes, IUnknown, initialisation, creation
//   win/oleauto.h   BSTR, VARIANT and SAFEARRAY
//   win/wbemcli.h   the WMI interfaces
#pragma once

#include "win/types.h"
#include "win/kernel32.h"
#include "win/crt.h"
#include "win/setupapi.h"
#include "win/fileapi.h"
#include "win/com.h"
#include "win/oleauto.h"
#include "win/wbemcli.h"

// printf-style format checking for the logging declarations. On this host the
// Windows integer types are the fixed-width C types, so checking is exact.
#define SVCP_PRINTF_LIKE(formatIndex, firstArg) \
    __attribute__((format(printf, formatIndex, firstArg)))

// A thread of the library's last act: sets the event. (On Windows it then
// waits, outside the module, to be ended by SvcpWaitForThreadEnd.)
inline void SvcpEndThread(HANDLE finishedEvent) {
    SetEvent(finishedEvent);
}

// Waits until a thread of the library has ended. Here a thread's exit needs
// no lock the waiter may hold, so wait for the thread itself: none of the
// module's code runs on it afterwards, and the module may be unloaded at once.
// (On Windows the wait is for the event the thread sets as its last act.)
inline DWORD SvcpWaitForThreadEnd(HANDLE thread, HANDLE finishedEvent) {
    (void)finishedEvent;
    return WaitForSingleObject(thread, INFINITE);
}
