// The two waitable kinds of object: events and threads.
#pragma once

#include "HandleTable.h"

namespace svcp {

class EventObject : public KernelObject {
public:
    EventObject(bool manualReset, bool signalled)
        : m_bManualReset(manualReset), m_bSignalled(signalled) {}
    // The setters take the dispatcher lock themselves.
    void Set();
    void Reset();

    bool IsSignalled() const override { return m_bSignalled; }
    void OnWaitSatisfied() override {
        if (!m_bManualReset) {
            m_bSignalled = false;
        }
    }

private:
    const bool m_bManualReset;
    bool m_bSignalled;  // guarded by the dispatcher lock
};

// A thread started by _beginthreadex. Every one is listed for its whole life:
// a forked child has only the thread that forked, so there every listed
// object is marked exited at once (exit code 0) and a wait on its handle
// returns instead of waiting for a thread that will never end.
class ThreadObject : public KernelObject {
public:
    // Throws std::bad_alloc when the fork handlers cannot be installed.
    ThreadObject();
    ~ThreadObject() override;
    ThreadObject(const ThreadObject&) = delete;
    ThreadObject& operator=(const ThreadObject&) = delete;

    // Called by the thread itself once its procedure has returned.
    void MarkExited(unsigned exitCode);
    bool IsSignalled() const override { return m_bExited; }

private:
    // The fork handler run in the child, with the locks that the prepare
    // handler took: marks every listed object exited.
    static void OnForkInChild();

    bool m_bExited = false;  // guarded by the dispatcher lock
    unsigned m_nExitCode = 0;
    // The list of live objects, linked through them so that neither a
    // thread's start nor the child's fork handler allocates; guarded by the
    // dispatcher lock.
    static ThreadObject* s_pFirst;
    ThreadObject* m_pPrevious = nullptr;
    ThreadObject* m_pNext = nullptr;
};

}  // namespace svcp
