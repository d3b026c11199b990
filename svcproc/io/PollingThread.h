// The background thread that asks the service processor for alerts: created
// idle by Initialise, polling every 100 ms (end of one poll to start of the
// next) after Run, stopped by Terminate.
//
// Initialise, Run and Terminate are called by the thread that owns the
// service processor (start-up, unload); never from the polling thread itself
// (Terminate waits for it). Listener callbacks run on the polling thread.
#pragma once

#include <atomic>

#include "common/NonCopyable.h"
#include "platform.h"

class CIOUnit;

class CPollingThread : private CNonCopyable {
public:
    CPollingThread();
    ~CPollingThread();

    // Creates the two events and the thread (idle). False, with a level-1
    // line, when pIOUnit is null or a creation fails.
    bool Initialise(CIOUnit* pIOUnit, HANDLE hIOdevice, unsigned long PortBase);
    // Lets the created thread poll.
    void Run();
    // Stops the thread and waits for it: returns as soon as a poll in
    // progress (and the listener callback in it) has ended. Safe under the
    // loader lock (unload): it waits for the thread procedure's last act, not
    // for the thread's exit.
    void Terminate();
    // True between a successful Initialise and Terminate.
    bool IsStarted() const { return m_bStarted; }
    // True between Run on a started thread and Terminate; any thread.
    bool IsPolling() const { return m_bPolling.load(std::memory_order_acquire); }

private:
    static unsigned __stdcall ThreadProcedure(void* self);

    bool m_bStarted;
    CIOUnit* pIOUnit;
    unsigned long PortBase;
    HANDLE hIOdevice;  // not owned
    HANDLE m_hThread;
    HANDLE m_hStopEvent;
    HANDLE m_hRunEvent;
    HANDLE m_hFinishedEvent;  // set by the thread procedure as its last act
    std::atomic<bool> m_bPolling;
};
