// Events and the waits on events and threads.
#include <chrono>
#include <vector>

#include "Dispatcher.h"
#include "Waitable.h"
#include "platform_seams.h"
#include "win/kernel32.h"

namespace svcp {

void EventObject::Set() {
    Dispatcher& dispatcher = GetDispatcher();
    {
        std::lock_guard<std::mutex> guard(dispatcher.lock);
        m_bSignalled = true;
    }
    dispatcher.changed.notify_all();
}

void EventObject::Reset() {
    std::lock_guard<std::mutex> guard(GetDispatcher().lock);
    m_bSignalled = false;
}

void ThreadObject::MarkExited(unsigned exitCode) {
    Dispatcher& dispatcher = GetDispatcher();
    {
        std::lock_guard<std::mutex> guard(dispatcher.lock);
        m_bExited = true;
        m_nExitCode = exitCode;
    }
    dispatcher.changed.notify_all();
}

}  // namespace svcp

using svcp::EventObject;

extern "C" HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState,
                                      LPCWSTR name) {
    uint32_t failure = 0;
    if (SvcpTakeFailure(SvcpCall::CreateEventW, &failure)) {
        SetLastError(failure);
        return nullptr;
    }
    if (name != nullptr) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    try {
        return svcp::InsertHandle(
            std::make_shared<EventObject>(manualReset != FALSE, initialState != FALSE));
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

namespace {

// SetEvent and ResetEvent: `change` on the event `event` names, or
// ERROR_INVALID_HANDLE when it names none.
template <typename Change>
BOOL ChangeEvent(HANDLE event, Change change) {
    auto object = svcp::LookupHandleAs<EventObject>(event);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    change(*object);
    return TRUE;
}

}  // namespace

extern "C" BOOL WINAPI SetEvent(HANDLE event) {
    return ChangeEvent(event, [](EventObject& object) { object.Set(); });
}

extern "C" BOOL WINAPI ResetEvent(HANDLE event) {
    return ChangeEvent(event, [](EventObject& object) { object.Reset(); });
}

extern "C" DWORD WINAPI WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll,
                                               DWORD milliseconds) {
    if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || handles == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    if (waitAll) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return WAIT_FAILED;
    }
    // On the stack: a wait allocates nothing, so it cannot throw where the
    // real one never does (a caller waiting for its thread must get to wait).
    std::shared_ptr<svcp::KernelObject> objects[MAXIMUM_WAIT_OBJECTS];
    for (DWORD i = 0; i < count; ++i) {
        objects[i] = svcp::LookupHandle(handles[i]);
        if (!objects[i]) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
    }

    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    svcp::Dispatcher& dispatcher = svcp::GetDispatcher();
    std::unique_lock<std::mutex> guard(dispatcher.lock);
    for (;;) {
        for (DWORD i = 0; i < count; ++i) {
            if (objects[i]->IsSignalled()) {
                objects[i]->OnWaitSatisfied();
                return WAIT_OBJECT_0 + i;
            }
        }
        if (milliseconds == INFINITE) {
            dispatcher.changed.wait(guard);
        } else if (milliseconds == 0 || Clock::now() >= deadline) {
            return WAIT_TIMEOUT;
        } else {
            dispatcher.changed.wait_until(guard, deadline);
        }
    }
}

extern "C" DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    return WaitForMultipleObjects(1, &handle, FALSE, milliseconds);
}
