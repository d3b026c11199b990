// _beginthreadex, thread identity, and the parent's threads as a forked child sees them.
#include <cerrno>
#include <new>
#include <thread>

#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "Dispatcher.h"
#include "Waitable.h"
#include "platform_seams.h"
#include "win/crt.h"
#include "win/kernel32.h"

namespace svcp {
namespace {

// Across a fork the handle table and the dispatcher are held (in that order,
// as no thread holds the dispatcher while it takes the table), so the child
// inherits them in a known state: no other thread is half-way through a
// lookup, a wait or a signal.
void LockBeforeFork() {
    LockHandleTableForFork();
    GetDispatcher().lock.lock();
}

void UnlockInParent() {
    GetDispatcher().lock.unlock();
    UnlockHandleTableAfterFork();
}

}  // namespace

ThreadObject* ThreadObject::s_pFirst = nullptr;

ThreadObject::ThreadObject() {
    static const bool forkHandlersInstalled = [] {
        if (pthread_atfork(&LockBeforeFork, &UnlockInParent, &ThreadObject::OnForkInChild) != 0) {
            throw std::bad_alloc();
        }
        return true;
    }();
    (void)forkHandlersInstalled;
    std::lock_guard<std::mutex> guard(GetDispatcher().lock);
    m_pNext = s_pFirst;
    if (s_pFirst != nullptr) {
        s_pFirst->m_pPrevious = this;
    }
    s_pFirst = this;
}

ThreadObject::~ThreadObject() {
    std::lock_guard<std::mutex> guard(GetDispatcher().lock);
    if (m_pPrevious != nullptr) {
        m_pPrevious->m_pNext = m_pNext;
    } else {
        s_pFirst = m_pNext;
    }
    if (m_pNext != nullptr) {
        m_pNext->m_pPrevious = m_pPrevious;
    }
}

// Only this process's own data is touched, and nothing is allocated: the
// parent may have forked while another of its threads held the allocator.
void ThreadObject::OnForkInChild() {
    Dispatcher& dispatcher = GetDispatcher();
    for (ThreadObject* thread = s_pFirst; thread != nullptr; thread = thread->m_pNext) {
        thread->m_bExited = true;
    }
    // The parent's waiters do not exist here, but the condition variable
    // still counts them, and a broadcast may wait for them to leave: a new
    // one has none. No thread here is waiting on it, so nothing needs waking.
    new (&dispatcher.changed) std::condition_variable();
    dispatcher.lock.unlock();
    UnlockHandleTableAfterFork();
}

}  // namespace svcp

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
