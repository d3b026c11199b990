// kernel32 subset: critical sections, events, waits, handles, last error,
// the tick counter and memory queries.
//
// Handles. Every HANDLE returned here names an entry of one process-wide
// handle table (events, threads, opened devices). A handle value is never
// reused while the process runs, so a call on a closed or made-up handle fails
// with ERROR_INVALID_HANDLE instead of touching another object. CloseHandle on a
// thread handle does not stop the thread.
//
// Last error. GetLastError/SetLastError are per thread. Every stand-in that
// fails sets the last-error code, as Windows does; successful calls leave it
// alone unless Windows documents otherwise.
//
// Fault injection: see platform_seams.h. CreateEventW and _beginthreadex can be
// made to fail with a chosen last-error code.
#pragma once

#include "win/types.h"

extern "C" {

// --- Critical sections ------------------------------------------------------
// Recursive, like Windows: the owning thread may enter again and must leave as
// often as it entered. A CRITICAL_SECTION must not be copied or moved while
// initialised.
typedef struct _CRITICAL_SECTION {
    void* Impl;
} CRITICAL_SECTION, *LPCRITICAL_SECTION, *PCRITICAL_SECTION;

SVCP_PLATFORM_API void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION cs);
SVCP_PLATFORM_API void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION cs);
SVCP_PLATFORM_API void WINAPI EnterCriticalSection(LPCRITICAL_SECTION cs);
SVCP_PLATFORM_API void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION cs);

// --- Events and waits ---------------------------------------------------------
// CreateEventW returns NULL on failure (not INVALID_HANDLE_VALUE). Named events
// are not supported: a non-null name fails with ERROR_NOT_SUPPORTED.
SVCP_PLATFORM_API HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset,
                                             BOOL initialState, LPCWSTR name);
SVCP_PLATFORM_API BOOL WINAPI SetEvent(HANDLE event);
SVCP_PLATFORM_API BOOL WINAPI ResetEvent(HANDLE event);

// Waits on events and threads. A thread handle becomes signalled when the
// thread's procedure has returned. Returns WAIT_OBJECT_0 (+ index),
// WAIT_TIMEOUT, or WAIT_FAILED with the last error set.
SVCP_PLATFORM_API DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds);
// Wait-any only (waitAll must be FALSE; TRUE fails with ERROR_NOT_SUPPORTED).
// When several objects are signalled the lowest index wins. Auto-reset events
// are reset by the wait that reports them.
SVCP_PLATFORM_API DWORD WINAPI WaitForMultipleObjects(DWORD count, const HANDLE* handles,
                                                      BOOL waitAll, DWORD milliseconds);

SVCP_PLATFORM_API BOOL WINAPI CloseHandle(HANDLE handle);

// --- Threads and errors -------------------------------------------------------
SVCP_PLATFORM_API DWORD WINAPI GetLastError(void);
SVCP_PLATFORM_API void WINAPI SetLastError(DWORD errorCode);
SVCP_PLATFORM_API DWORD WINAPI GetCurrentThreadId(void);
SVCP_PLATFORM_API void WINAPI Sleep(DWORD milliseconds);

// --- Tick counter -------------------------------------------------------------
// Milliseconds since an arbitrary start, as a 32-bit value that wraps after
// about 49.7 days. Tests can freeze, set and advance it (platform_seams.h).
SVCP_PLATFORM_API DWORD WINAPI GetTickCount(void);

// --- Modules --------------------------------------------------------------------
// Per-thread attach/detach notifications are never delivered on this host, so
// this only validates its argument.
SVCP_PLATFORM_API BOOL WINAPI DisableThreadLibraryCalls(HMODULE module);

// --- Memory ---------------------------------------------------------------------
// TRUE when the process cannot execute code at the address: it is null or not
// inside a mapping that is both readable and executable.
SVCP_PLATFORM_API BOOL WINAPI IsBadCodePtr(FARPROC address);

#define MEM_COMMIT 0x00001000u
#define MEM_RESERVE 0x00002000u
#define MEM_FREE 0x00010000u
#define MEM_PRIVATE 0x00020000u
#define MEM_MAPPED 0x00040000u
#define MEM_IMAGE 0x01000000u

#define PAGE_NOACCESS 0x01u
#define PAGE_READONLY 0x02u
#define PAGE_READWRITE 0x04u
#define PAGE_WRITECOPY 0x08u
#define PAGE_EXECUTE 0x10u
#define PAGE_EXECUTE_READ 0x20u
#define PAGE_EXECUTE_READWRITE 0x40u
#define PAGE_EXECUTE_WRITECOPY 0x80u
#define PAGE_GUARD 0x100u

typedef struct _MEMORY_BASIC_INFORMATION {
    PVOID BaseAddress;
    PVOID AllocationBase;
    DWORD AllocationProtect;
    SIZE_T RegionSize;
    DWORD State;
    DWORD Protect;
    DWORD Type;
} MEMORY_BASIC_INFORMATION, *PMEMORY_BASIC_INFORMATION;

// Describes the mapping that contains the address: State MEM_COMMIT with its
// protection for a mapped page, MEM_FREE (Protect PAGE_NOACCESS) otherwise.
// Returns the number of bytes written to the buffer, 0 on a bad buffer.
SVCP_PLATFORM_API SIZE_T WINAPI VirtualQuery(LPCVOID address, PMEMORY_BASIC_INFORMATION buffer,
                                             SIZE_T length);

}  // extern "C"
