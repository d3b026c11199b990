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

class ThreadObject : public KernelObject {
public:
    // Called by the thread itself once its procedure has returned.
    void MarkExited(unsigned exitCode);
    bool IsSignalled() const override { return m_bExited; }

private:
    bool m_bExited = false;  // guarded by the dispatcher lock
    unsigned m_nExitCode = 0;
};

}  // namespace svcp
