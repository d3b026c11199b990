// _beginthreadex and thread identity.
#include <cerrno>
#include <thread>

#include <sys/syscall.h>
#include <unistd.h>

#include "Waitable.h"
#include "platform_seams.h"
#include "win/crt.h"
#include "win/kernel32.h"

extern "C" uintptr_t __cdecl _beginthreadex(void*, unsigned, _beginthreadex_proc_type start,
                                            void* argument, unsigned, unsigned* threadId) {
    uint32_t failure = 0;
    if (SvcpTakeFailure(SvcpCall::BeginThreadEx, &failure)) {
        errno = EAGAIN;
        SetLastError(failure);
        return 0;
    }
    if (start == nullptr) {
        errno = EINVAL;
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    HANDLE handle = nullptr;
    try {
        auto thread = std::make_shared<svcp::ThreadObject>();
        handle = svcp::InsertHandle(thread);
        // The running thread keeps its own reference, so closing the handle
        // early does not free the object it signals at exit.
        std::thread([thread, start, argument]() {
            const unsigned exitCode = start(argument);
            thread->MarkExited(exitCode);
        }).detach();
    } catch (...) {
        if (handle != nullptr) {
            svcp::RemoveHandle(handle);
        }
        errno = EAGAIN;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    if (threadId != nullptr) {
        *threadId = 0;
    }
    return reinterpret_cast<uintptr_t>(handle);
}

extern "C" DWORD WINAPI GetCurrentThreadId(void) {
    return static_cast<DWORD>(::syscall(SYS_gettid));
}

extern "C" void WINAPI Sleep(DWORD milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
