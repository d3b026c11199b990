// The one service processor the library drives: it owns the sensor and LED
// cache and the I/O unit (with the polling thread). Initialise turns the
// SMBIOS inventory of its management device into cache entries, locks the
// cache, chooses the port base from the BIOS family and brings the I/O up.
//
// Initialise runs on the start-up thread under the exported layer's lock; the
// other operations on callers' threads once start-up has succeeded.
#pragma once

#include <atomic>

#include "svcproc/api/ISensorStateListener.h"
#include "svcproc/api/SensorRecords.h"
#include "svcproc/api/ServiceCode.h"
#include "svcproc/cache/DataCache.h"
#include "svcproc/io/IOUnit.h"

class CRawSMBios;
struct SMBiosSensor;

class CServiceProcessor {
public:
    // The I/O port base of the service processor's interface on every known
    // BIOS family.
    static constexpr unsigned long kPortBase = 0x2B0;

    CServiceProcessor();
    ~CServiceProcessor();
    CServiceProcessor(const CServiceProcessor&) = delete;
    CServiceProcessor& operator=(const CServiceProcessor&) = delete;

    // 0, 3 (inventory or BIOS family unusable) or 6 (driver channel). A failed
    // run may be repeated: the cache keeps what the failed run added.
    SERVICE_CODE Initialise(CRawSMBios& raw, unsigned short managementDeviceHandle);

    // Fills `information` (freshly constructed) from the sensor record and
    // adds it to the cache under the low byte of its OEM-defined dword.
    void CopySensorInformation(const SMBiosSensor& sensor, CSensorInformation& information);

    // The cache's inventory, in the order start-up added it.
    SERVICE_CODE EnumerateSensorHandles(CSensorHandleList& handles);
    SERVICE_CODE EnumerateLedHandles(CLedHandleList& handles);
    // From the cache; 7 for a handle of another kind or of nothing cached.
    SERVICE_CODE GetSensorInformation(unsigned long handle, CSensorInformation& information);
    SERVICE_CODE GetLedInformation(unsigned long handle, CLedInformation& information);
    // Through the I/O unit, which answers from the cache while it is fresh.
    SERVICE_CODE ReadSensor(unsigned long handle, CSensorReading& reading);
    SERVICE_CODE ReadLed(unsigned long handle, CLedReading& reading);
    // The polling thread's listeners.
    void RegisterSensorStateListener(ISensorStateListener* listener);
    void UnregisterSensorStateListener(ISensorStateListener* listener);
    // The link status (an extension the operations above do not use); 0.
    SERVICE_CODE GetServiceProcessorStatus(CServiceProcessorStatus& status) const;

private:
    unsigned InitFlag() const { return m_bInit.load(std::memory_order_acquire) ? 1u : 0u; }

    std::atomic<bool> m_bInit;
    CDataCache m_Cache;
    CIOUnit m_IOUnit;
};
