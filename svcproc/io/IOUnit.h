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
#include "svcproc/api/ServiceProcessorStatus.h"
#include <mutex>

#include "svcproc/io/ExchangeCounters.h"
#include "svcproc/io/ListenerList.h"
#include "svcproc/io/PollingThread.h"
#include "svcproc/io/SvcpPacket.h"

class CDataCache;
class CSensorMap;

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

    // The link status: the exchange counts of every kind, whether the polling
    // thread polls, and the tick now. Any thread, no lock, no exchange.
    void GetServiceProcessorStatus(CServiceProcessorStatus& status) const;

private:
    // The sensor kinds of the reads and alerts.
    enum SENSOR_KIND { SensorKind_Voltage, SensorKind_Fan, SensorKind_Temperature };
    struct KindRules;
    static const KindRules& RulesOf(SENSOR_KIND kind);
    static SVCP_EXCHANGE_KIND ExchangeOf(SENSOR_KIND kind);

    // The channel (DriverChannel.h).
    bool InitialiseIODevice();
    bool Exchange(uint8_t command, bool alertPoll, SvcpPacket& packet);

    // Reads: one exchange each, parsed into the cache. The Update operations
    // say whether they took the response (false: of the wrong type).
    void ReadVoltages();
    void ReadFans();
    void ReadTemperatures();
    void ReadLeds();
    void ReadSensors(SENSOR_KIND kind);
    bool UpdateVoltages(const SvcpPacket& packet);
    bool UpdateFans(const SvcpPacket& packet);
    bool UpdateTemperatures(const SvcpPacket& packet);
    bool UpdateSensors(SENSOR_KIND kind, const SvcpPacket& packet);
    bool UpdateLeds(const SvcpPacket& packet);
    CSensorMap& MapOf(SENSOR_KIND kind) const;
    // Refreshes the kind when stale; one caller at a time per kind, so that
    // callers finding it stale together cause one exchange. The fresh path
    // is the test alone; the locked refresh is out of line.
    void RefreshIfStale(SENSOR_KIND kind);
    void RefreshLedsIfStale();
    bool IsStale(SENSOR_KIND kind) const;
    void RefreshStale(SENSOR_KIND kind);
    void RefreshStaleLeds();

    // Alerts. The Process operations say whether the alert was used (false:
    // dropped for its type or its counts).
    bool ProcessAlerts(const SvcpPacket& packet);
    bool ProcessVoltageAlerts(const SvcpPacket& packet);
    bool ProcessFanAlerts(const SvcpPacket& packet);
    bool ProcessTemperatureAlerts(const SvcpPacket& packet);
    bool ProcessSensorAlerts(SENSOR_KIND kind, const SvcpPacket& packet);
    void FireVoltageStateChange(unsigned short SmbiosIndex, unsigned long state,
                                unsigned long reading);
    void FireFanStateChange(unsigned short SmbiosIndex, unsigned long state, unsigned long reading);
    void FireTemperatureStateChange(unsigned short SmbiosIndex, unsigned long state,
                                    unsigned long reading);

    // Members in this order: the flag, the port base, the cache, the device,
    // the polling thread, the listeners.
    bool m_bInit;
    unsigned long m_dwPortBase;
    CDataCache* m_pCache;  // not owned
    HANDLE m_hDevice;      // owned; INVALID_HANDLE_VALUE until opened
    CPollingThread m_PollingThread;
    CListenerList m_Listeners;
    // One per sensor kind and one for the LEDs: held while a stale kind is
    // refreshed, never on the fresh read path.
    std::mutex m_aRefreshLocks[4];
    // Moved by the exchanges only (reads and polls), read by the link status.
    CExchangeCounters m_Counters;
};
