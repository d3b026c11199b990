// The I/O unit's life: construction, start-up, the channel, the listener
// list and the ordered shutdown.
#include "svcproc/io/IOUnit.h"

#include "svcproc/io/DriverChannel.h"
#include "svcproc/logging/Log.h"

CIOUnit::CIOUnit(CDataCache* cache)
    : m_bInit(false), m_dwPortBase(0), m_pCache(cache), m_hDevice(INVALID_HANDLE_VALUE) {
    Log(kLogTrace, "CIOUnit Constructed, m_pCache=0x%08x", LogAddress(cache));
}

CIOUnit::~CIOUnit() {
    // No poll may run once the device is closed.
    if (m_PollingThread.IsStarted()) {
        m_PollingThread.Terminate();
    }
    if (m_hDevice != INVALID_HANDLE_VALUE) {
        CloseHandle(m_hDevice);
    }
    LogQuick(kLogTrace, "CIOUnit Destroyed");
}

bool CIOUnit::Initialise(unsigned long PortBase) {
    if (m_bInit) {
        LogQuick(kLogTrace, "CIOUnit::Initialise - Already initialised");
        return true;
    }
    m_dwPortBase = PortBase;
    // A failed attempt may have opened the device; it is opened exclusively,
    // so it must be closed before it can be opened again.
    if (m_hDevice != INVALID_HANDLE_VALUE) {
        CloseHandle(m_hDevice);
        m_hDevice = INVALID_HANDLE_VALUE;
    }
    if (!InitialiseIODevice()) {
        return false;
    }
    if (!m_PollingThread.Initialise(this, m_hDevice, m_dwPortBase)) {
        return false;
    }
    ReadVoltages();
    ReadFans();
    ReadTemperatures();
    ReadLeds();
    m_bInit = true;
    LogQuick(kLogTrace, "CIOUnit::Initialise - Initialised Ok");
    return true;
}

bool CIOUnit::InitialiseIODevice() {
    return SvcpInitialiseIODevice(&m_hDevice);
}

// Exchanges are not serialised here: each has its own packet, the driver
// takes concurrent requests, and on Windows the I/O manager already orders
// the synchronous requests of one handle. A lock would only make a caller's
// read wait for the poll.
bool CIOUnit::Exchange(uint8_t command, bool alertPoll, SvcpPacket& packet) {
    return SvcpRequestResponse(m_hDevice, static_cast<DWORD>(m_dwPortBase), command, alertPoll,
                               packet);
}

void CIOUnit::RegisterSensorStateListener(ISensorStateListener* listener) {
    Log(kLogCall, "CIOUnit::RegisterSensorStateListener(0x%08x)", LogAddress(listener));
    m_Listeners.Add(listener);
}

void CIOUnit::UnregisterSensorStateListener(ISensorStateListener* listener) {
    Log(kLogCall, "CIOUnit::UnregisterSensorStateListener(0x%08x)", LogAddress(listener));
    m_Listeners.Remove(listener);
}

void CIOUnit::GetServiceProcessorStatus(CServiceProcessorStatus& status) const {
    for (int kind = 0; kind < ExchangeKind_Count; ++kind) {
        m_Counters.Snapshot(static_cast<SVCP_EXCHANGE_KIND>(kind), status.Exchanges[kind]);
    }
    status.PollingThreadRunning = m_PollingThread.IsPolling();
    status.CurrentTick = GetTickCount();
}
