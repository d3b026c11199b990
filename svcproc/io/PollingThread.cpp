#include "svcproc/io/PollingThread.h"

#include "svcproc/io/IOUnit.h"
#include "svcproc/logging/Log.h"

namespace {

// The pause between the end of one poll and the start of the next.
constexpr DWORD kPollPeriodMilliseconds = 100;

void CloseEvent(HANDLE& event) {
    if (event != INVALID_HANDLE_VALUE) {
        CloseHandle(event);
        event = INVALID_HANDLE_VALUE;
    }
}

HANDLE NewManualResetEvent() {
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return event == nullptr ? INVALID_HANDLE_VALUE : event;
}

}  // namespace

CPollingThread::CPollingThread()
    : m_bStarted(false),
      pIOUnit(nullptr),
      PortBase(0),
      hIOdevice(INVALID_HANDLE_VALUE),
      m_hThread(INVALID_HANDLE_VALUE),
      m_hStopEvent(INVALID_HANDLE_VALUE),
      m_hRunEvent(INVALID_HANDLE_VALUE),
      m_hFinishedEvent(INVALID_HANDLE_VALUE),
      m_bPolling(false) {
    LogQuick(kLogTrace, "CPollingThread Constructed");
}

CPollingThread::~CPollingThread() {
    if (m_hThread != INVALID_HANDLE_VALUE && m_bStarted) {
        Terminate();
    }
    CloseEvent(m_hFinishedEvent);
    CloseEvent(m_hRunEvent);
    CloseEvent(m_hStopEvent);
    LogQuick(kLogTrace, "CPollingThread Destroyed");
}

bool CPollingThread::Initialise(CIOUnit* unit, HANDLE device, unsigned long portBase) {
    if (m_bStarted) {
        LogQuick(kLogTrace, "CPollingThread::Initialise - Already initialised");
        return true;
    }
    if (unit == nullptr) {
        LogQuick(kLogError, "CPollingThread::Initialise - pIOUnit==NULL");
        return false;
    }
    Log(kLogTrace, "CPollingThread::Initialise - PortBase=0x%08x, hIOdevice=0x%08x, pIOUnit=0x%08x",
        static_cast<unsigned>(portBase), LogAddress(device), LogAddress(unit));
    pIOUnit = unit;
    PortBase = portBase;
    hIOdevice = device;

    // Events left by a failed attempt are not reused: a retry starts afresh.
    CloseEvent(m_hFinishedEvent);
    CloseEvent(m_hRunEvent);
    CloseEvent(m_hStopEvent);
    const auto create = [](HANDLE& event) {
        event = NewManualResetEvent();
        if (event == INVALID_HANDLE_VALUE) {
            Log(kLogError, "CPollingThread::Initialise - CreateEvent failed: Last Error=0x%08x",
                static_cast<unsigned>(GetLastError()));
            return false;
        }
        return true;
    };
    // A failure closes again what was made before it.
    if (!create(m_hRunEvent)) {
        return false;
    }
    if (!create(m_hStopEvent)) {
        CloseEvent(m_hRunEvent);
        return false;
    }
    if (!create(m_hFinishedEvent)) {
        CloseEvent(m_hStopEvent);
        CloseEvent(m_hRunEvent);
        return false;
    }
    const uintptr_t thread =
        _beginthreadex(nullptr, 0, &CPollingThread::ThreadProcedure, this, 0, nullptr);
    if (thread == 0) {
        Log(kLogError, "CPollingThread::Initialise - _beginthreadex error=0x%x",
            static_cast<unsigned>(GetLastError()));
        return false;
    }
    m_hThread = reinterpret_cast<HANDLE>(thread);
    m_bStarted = true;
    return true;
}

void CPollingThread::Run() {
    if (!m_bStarted) {
        LogQuick(kLogError, "CPollingThread::Run - Thread not started");
        return;
    }
    SetEvent(m_hRunEvent);
    m_bPolling.store(true, std::memory_order_release);
}

void CPollingThread::Terminate() {
    LogQuick(kLogCall, "CPollingThread::Terminate entered");
    if (!m_bStarted) {
        LogQuick(kLogError, "CPollingThread::Terminate - Thread not started");
        return;
    }
    m_bPolling.store(false, std::memory_order_release);
    ResetEvent(m_hRunEvent);
    SetEvent(m_hStopEvent);
    if (m_hThread != INVALID_HANDLE_VALUE) {
        // Terminate also runs during unload; on Windows that is under the
        // loader lock, which a thread's exit needs, so the platform waits
        // for the finished event there and for the thread's end elsewhere.
        SvcpWaitForThreadEnd(m_hThread, m_hFinishedEvent);
        CloseHandle(m_hThread);
        m_hThread = INVALID_HANDLE_VALUE;
        LogQuick(kLogCall, "CPollingThread::Terminate - Thread terminated");
    }
    m_bStarted = false;
}

unsigned __stdcall CPollingThread::ThreadProcedure(void* argument) {
    CPollingThread* self = static_cast<CPollingThread*>(argument);
    const HANDLE finished = self->m_hFinishedEvent;
    // The stop event comes first: when both are signalled, stopping wins.
    const HANDLE events[2] = {self->m_hStopEvent, self->m_hRunEvent};
    for (;;) {
        const DWORD woken = WaitForMultipleObjects(2, events, FALSE, INFINITE);
        // A failed wait would otherwise turn into polling without pause.
        if (woken == WAIT_OBJECT_0 || woken == WAIT_FAILED) {
            break;
        }
        self->pIOUnit->PollAlerts();
        if (WaitForSingleObject(self->m_hStopEvent, kPollPeriodMilliseconds) != WAIT_TIMEOUT) {
            break;
        }
    }
    // The last act: once the event is set, Terminate returns and the object,
    // and during unload the module, may go at any moment. On Windows the call
    // does not return: the thread ends in it, outside the module.
    SvcpEndThread(finished);
    return 0;
}
