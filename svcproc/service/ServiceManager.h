// The one object behind the exported functions. Initialise is the library's
// start-up: it reads SMBIOS, records the BIOS version, finds the service
// processor's management device and brings the service processor up. The
// other operations log and forward to the service processor.
//
// Initialise runs only under the exported layer's lock; the forwarding
// operations take no lock and run once start-up has succeeded.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "svcproc/api/machine/MachineInfo.h"
#include "svcproc/service/ServiceProcessor.h"

class CServiceManager {
public:
    // The description that names the service processor's management device.
    static constexpr const char* kServiceProcessorDescription = "Orvane Telk Service Processor";

    CServiceManager();
    ~CServiceManager();
    CServiceManager(const CServiceManager&) = delete;
    CServiceManager& operator=(const CServiceManager&) = delete;

    // 0, or 2 (SMBIOS unreadable), 3 (inventory), 4 (BIOS version holder),
    // 5 (no service processor device), 6 (driver channel). Can run again after
    // a failure.
    SERVICE_CODE Initialise();

    // Each writes its entry and exit lines (CallLog.h) and passes the call on
    // to the service processor, started or not.
    // The sensors:
    SERVICE_CODE EnumerateSensorHandles(CSensorHandleList& handles);
    SERVICE_CODE GetSensorInformation(unsigned long handle, CSensorInformation& information);
    SERVICE_CODE ReadSensor(unsigned long handle, CSensorReading& reading);
    void RegisterSensorStateListener(ISensorStateListener* listener);
    void UnregisterSensorStateListener(ISensorStateListener* listener);
    // The LEDs:
    SERVICE_CODE EnumerateLedHandles(CLedHandleList& handles);
    SERVICE_CODE GetLedInformation(unsigned long handle, CLedInformation& information);
    SERVICE_CODE ReadLed(unsigned long handle, CLedReading& reading);
    // The link status (an extension the operations above do not use); 0.
    // Writes no log line.
    SERVICE_CODE GetServiceProcessorStatus(CServiceProcessorStatus& status) const;
    // What the latest start-up that read SMBIOS found (an extension too): 0,
    // or 1 before any did. Writes no log line; the caller holds the start-up
    // lock.
    SERVICE_CODE GetMachineInfo(CMachineInfo& info) const;

private:
    unsigned InitFlag() const { return m_bInit.load(std::memory_order_acquire) ? 1u : 0u; }

    // Records what start-up found for GetMachineInfo.
    void RememberMachine(const std::string& biosVersion, const std::string* serviceProcessor,
                         uint32_t address);

    std::atomic<bool> m_bInit;
    CServiceProcessor m_Processor;
    bool m_bMachineKnown = false;
    std::string m_sBiosVersion;
    std::string m_sServiceProcessor;
    uint32_t m_nServiceProcessorAddress = 0;
};
