// The catalogue of sensors and LEDs: one map per kind, filled once at
// start-up, then locked. It makes handles (kind << 16 | SmbiosIndex) and
// resolves them, and tells the I/O unit when a kind's readings are stale.
//
// Calling order: construct; Add every sensor and LED (start-up thread); set
// m_bLocked; then lookups, listings, freshness tests and the maps' updates
// from any thread; destroy.
//
// Thread-safety: no lock of its own. Add and m_bLocked belong to the start-up
// thread, which start-up serialisation protects, and must be done before any
// other thread uses the cache. After locking the key sets never change, and
// every const operation may run on any number of threads concurrently with
// the maps' updates (SensorMaps.h, LedMap.h). A lookup resolves a handle with
// one ordered-map search and copies an entry without taking any lock.
#pragma once

#include <list>

#include "common/NonCopyable.h"
#include "platform.h"
#include "svcproc/api/SensorRecords.h"
#include "svcproc/cache/Freshness.h"
#include "svcproc/api/ServiceCode.h"
#include "svcproc/cache/InternalLed.h"
#include "svcproc/cache/InternalSensor.h"
#include "svcproc/cache/LedMap.h"
#include "svcproc/cache/SensorMaps.h"

class CDataCache : private CNonCopyable {
public:
    CDataCache();
    ~CDataCache();

    // Add one entry under `SmbiosIndex` with state 0 (false) and reading 0.
    // Refused, with a level-1 line, when the cache is locked or the index is
    // already present in that kind's map (the first entry stays).
    void AddVoltage(const CSensorInformation& information, unsigned short SmbiosIndex);
    void AddFan(const CSensorInformation& information, unsigned short SmbiosIndex);
    void AddTemperature(const CSensorInformation& information, unsigned short SmbiosIndex);
    void AddLed(const CLedInformation& information, unsigned short SmbiosIndex);

    // Appends (never clears) the voltage, fan and temperature handles, each
    // kind by ascending index. On the BIOS family 84 the fan "Chassis Fan" is
    // left out (InternalSensor::IsExcludedChassisFan). Always 0.
    SERVICE_CODE EnumerateSensorHandles(std::list<unsigned long>& handles) const;
    // Appends every LED handle by ascending bit mask. Always 0.
    SERVICE_CODE EnumerateLedHandles(std::list<unsigned long>& handles) const;

    // The entry of a sensor handle of kind 1 to 3: 0 with a full copy, or 7
    // (a kind outside 1 to 3 is refused without a log line).
    SERVICE_CODE GetSensor(unsigned long handle, InternalSensor& sensor) const;

    // Lookups in one map by the handle's low 16 bits; the kind bits are not
    // examined. True with a full copy; false, with a level-1 line and the
    // output untouched, when there is no such entry.
    bool GetVoltage(unsigned long handle, InternalSensor& sensor) const;
    bool GetFan(unsigned long handle, InternalSensor& sensor) const;
    bool GetTemperature(unsigned long handle, InternalSensor& sensor) const;
    bool GetLed(unsigned long handle, InternalLed& led) const;

    // As the lookups above, copying only the entry's information.
    bool GetVoltageInfo(unsigned long handle, CSensorInformation& information) const;
    bool GetFanInfo(unsigned long handle, CSensorInformation& information) const;
    bool GetTemperatureInfo(unsigned long handle, CSensorInformation& information) const;
    bool GetLedInfo(unsigned long handle, CLedInformation& information) const;

    // The read path: the same results and log lines as GetSensor and GetLed,
    // but copying only the values: one consistent (state, reading) pair, or
    // the LED flag. Neither allocates.
    SERVICE_CODE GetSensorValues(unsigned long handle, LONG& state, LONG& reading) const;
    bool GetLedState(unsigned long handle, bool& state) const;

    // True when the kind's m_dwLastUpdate is 500 ms or more away from the
    // current tick, on either side (IsTickStale). Inline: every read asks.
    bool IsVoltageDataStale() const { return IsStale(m_VoltageMap.m_dwLastUpdate); }
    bool IsFanDataStale() const { return IsStale(m_FanMap.m_dwLastUpdate); }
    bool IsTemperatureDataStale() const { return IsStale(m_TemperatureMap.m_dwLastUpdate); }
    // The same test on the LED map, for LED reads.
    bool IsLedDataStale() const { return IsStale(m_LedMap.m_dwLastUpdate); }

    // Set by start-up after its last Add; never cleared.
    bool m_bLocked;
    CVoltageMap m_VoltageMap;
    CFanMap m_FanMap;
    CTemperatureMap m_TemperatureMap;
    CLedMap m_LedMap;

private:
    static bool IsStale(const std::atomic<DWORD>& lastUpdate) {
        return IsTickStale(lastUpdate.load(std::memory_order_acquire), GetTickCount());
    }

    // The entry of a sensor handle's kind and index, or null (a kind outside
    // 1 to 3 without a log line).
    const InternalSensor* FindSensor(unsigned long handle) const;
};
