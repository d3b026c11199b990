// The Windows interfaces svcproc calls: on Windows, the real headers.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <winioctl.h>
#include <setupapi.h>
#include <objbase.h>
#include <oleauto.h>
#include <wbemidl.h>
#include <process.h>
#include <stdlib.h>
#undef interface

// mingw-w64's _onexit is msvcrt's process-wide one: a function a DLL
// registers with it runs at process exit, after FreeLibrary has unmapped the
// DLL. atexit, in a DLL built by mingw-w64, fills the module's own table,
// which runs at unload; so the library's _onexit goes there, as with the
// Microsoft runtime.
inline _onexit_t SvcpModuleOnExit(_onexit_t function) {
    return atexit(reinterpret_cast<void (*)(void)>(function)) == 0 ? function : nullptr;
}
#define _onexit SvcpModuleOnExit

// The Windows runtime's printf family has its own format rules and its DWORD
// is unsigned long; format checking is done on the other hosts.
#define SVCP_PRINTF_LIKE(formatIndex, firstArg)

// The runtime's DLL start-up code calls DllMain and runs the module's exit
// functions itself.
// A user-provided constructor keeps the module's instance from counting as
// an unused variable.
class SvcpModuleEntry {
public:
    SvcpModuleEntry() {}
};

// Waits until a thread of the library has ended. During FreeLibrary the
// unloading thread holds the loader lock, and a thread's exit needs it (its
// detach notifications), so its handle is never signalled then: the thread
// sets an event as its last act, and only its return into the runtime's
// thread start-up follows. At process exit Windows has already ended the
// thread, which then never sets the event, but its handle is signalled: so
// whichever comes first.
inline DWORD SvcpWaitForThreadEnd(HANDLE thread, HANDLE finishedEvent) {
    const HANDLE ends[2] = {finishedEvent, thread};
    return WaitForMultipleObjects(2, ends, FALSE, INFINITE);
}
