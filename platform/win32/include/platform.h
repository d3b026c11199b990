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

// A thread of the library ends in two steps. During FreeLibrary the unloading
// thread holds the loader lock, and a thread's exit needs it (its detach
// notifications), so its handle is never signalled then: the unloading thread
// waits instead for an event the thread sets as its last act. Setting it and
// returning would leave the return into the module, which a thread preempted
// there runs after the module is unmapped. So SvcpEndThread first queues
// ExitThread itself to the thread as an APC, then sets the event and waits,
// alertable, in one call: the pending APC ends the thread inside that call.
// From the event on, no instruction of the module runs on the thread; it
// completes its exit once the loader lock is free.
//
// The thread queues the APC itself, before the event is set, so that the call
// finds it pending at once. (Queued by the unloading thread after the event,
// it woke the wait later, and under Wine the call then at times returned into
// the module.) The thread waits for its own handle, which nothing but its end
// signals. Should either call fail, the event is set the plain way: no hang.
// ExitThread is imported (dllimport): its address is the system's, not a stub
// in the module. It takes one DWORD in the place of an APC routine's
// ULONG_PTR; void (*)(void) is the cast that says the types differ on purpose.
inline void SvcpEndThread(HANDLE finishedEvent) {
    if (!QueueUserAPC(reinterpret_cast<PAPCFUNC>(reinterpret_cast<void (*)(void)>(&ExitThread)),
                      GetCurrentThread(), 0) ||
        SignalObjectAndWait(finishedEvent, GetCurrentThread(), INFINITE, TRUE) == WAIT_FAILED) {
        SetEvent(finishedEvent);
    }
}

// Waits until a thread that ends with SvcpEndThread is past the module's code.
// At process exit Windows has already ended the thread, which then never
// sets the event, but its handle is signalled: so whichever comes first.
inline DWORD SvcpWaitForThreadEnd(HANDLE thread, HANDLE finishedEvent) {
    const HANDLE ends[2] = {finishedEvent, thread};
    return WaitForMultipleObjects(2, ends, FALSE, INFINITE);
}
