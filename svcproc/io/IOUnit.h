// The service processor I/O: the driver channel, sensor and LED reads
// answered from the cache, alert processing with the listener list, and the
// polling thread.
//
// Threads: Initialise and the destructor run on the thread that owns the
// service processor; ReadSensor, ReadLed and the listener registration on
// callers' threads, concurrently with each other and with the polling thread,
// which alone runs PollAlerts and calls listeners.
#pragma once

#include "platform.h"
#include "svcproc/api/ISensorStateListener.h"
#include "svcproc/api/SensorRecords.h"
#include "svcproc/api/ServiceCode.h"
#include "svcproc/io/PollingThread.h"

class CDataCache;

class CIOUnit {
public:
    explicit CIOUnit(CDataCache* cache);
    ~CIOUnit();
    CIOUnit(const CIOUnit&) = delete;
    CIOUnit& operator=(const CIOUnit&) = delete;

    // Opens the driver, creates the polling thread idle and takes a first
    // reading of every kind. True at once when already initialised.
    bool Initialise(unsigned long PortBase);

    // The polling thread, for the service processor to Run once initialised.
    CPollingThread& PollingThread() { return m_PollingThread; }

    // A sensor's reading and state (kinds 1-3) or an LED's state (kind 4),
    // refreshing the kind first when its readings are 500 ms old or older.
    // 0, or 7 for a handle of another kind or one the cache does not know.
    SERVICE_CODE ReadSensor(unsigned long handle, CSensorReading& reading);
    SERVICE_CODE ReadLed(unsigned long handle, CLedReading& reading);

    // Listener list: registration order, each pointer at most once, not owned.
    void RegisterSensorStateListener(ISensorStateListener* listener);
    void UnregisterSensorStateListener(ISensorStateListener* listener);

    // One alert poll; called by the polling thread only.
    void PollAlerts();

private:
    // Members in this order: the flag, the port base, the cache, the device,
    // the polling thread, the listeners.
    bool m_bInit;
    unsigned long m_dwPortBase;
    CDataCache* m_pCache;  // not owned
    HANDLE m_hDevice;      // owned; INVALID_HANDLE_VALUE until opened
    CPollingThread m_PollingThread;
};
