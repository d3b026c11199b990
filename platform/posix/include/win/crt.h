// C runtime subset: thread start, per-module exit functions, multibyte
// conversion and the library entry routine contract.
#pragma once

#include "win/types.h"

extern "C" {

// Starts a thread running `start(argument)` at once. Returns a handle (a
// HANDLE value) that WaitForSingleObject/WaitForMultipleObjects can wait on and
// CloseHandle closes, or 0 on failure with errno and the last error set. Stack
// size, security and the thread-id output are accepted and ignored.
typedef unsigned(__stdcall* _beginthreadex_proc_type)(void*);
SVCP_PLATFORM_API uintptr_t __cdecl _beginthreadex(void* security, unsigned stackSize,
                                                   _beginthreadex_proc_type start, void* argument,
                                                   unsigned initFlags, unsigned* threadId);

// Registers a function to run when the calling module (the shared library or
// executable this call is linked into) is unloaded, in reverse order of
// registration, as the runtime does for a DLL. In a shared library the table
// runs right after the entry routine's DLL_PROCESS_DETACH (see SvcpModuleEntry);
// in an executable it runs at exit. Returns the function, or NULL on failure.
typedef int(__cdecl* _onexit_t)(void);
_onexit_t __cdecl _onexit(_onexit_t function);

// Windows' bounded multibyte-to-wide conversion, in the current C locale.
// With count _TRUNCATE it converts as much as fits in sizeInWords - 1 wide
// characters, always terminates the output and returns STRUNCATE when it cut
// the text. On an invalid sequence the output is the empty string and the
// result EILSEQ. *converted receives the characters written, terminator
// included.
typedef int errno_t;
#define _TRUNCATE ((size_t)-1)
#ifndef STRUNCATE
#define STRUNCATE 80
#endif
SVCP_PLATFORM_API errno_t __cdecl mbstowcs_s(size_t* converted, wchar_t* destination,
                                             size_t sizeInWords, const char* source, size_t count);

// The library entry routine, defined by the library itself (DllMain). On this
// host a module's SvcpModuleEntry object calls it.
#define DLL_PROCESS_DETACH 0u
#define DLL_PROCESS_ATTACH 1u
#define DLL_THREAD_ATTACH 2u
#define DLL_THREAD_DETACH 3u
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

}  // extern "C"

// Stands for the runtime's DLL start-up code on this host. A module defines one
// static SvcpModuleEntry after all its other static objects, in the same
// translation unit, so that:
//   - at load, it is constructed after them and calls
//     DllMain(DLL_PROCESS_ATTACH);
//   - at unload (dlclose or process exit), its destructor runs before theirs,
//     calls DllMain(DLL_PROCESS_DETACH), then runs the module's _onexit table
//     in reverse order of registration.
// On Windows the runtime does this itself and the type is empty.
class SvcpModuleEntry {
public:
    SvcpModuleEntry();
    ~SvcpModuleEntry();
    SvcpModuleEntry(const SvcpModuleEntry&) = delete;
    SvcpModuleEntry& operator=(const SvcpModuleEntry&) = delete;
};
