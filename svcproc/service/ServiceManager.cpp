#include "svcproc/service/ServiceManager.h"

#include <string>

#include "svcproc/logging/Log.h"
#include "svcproc/service/POSSystem.h"
#include "svcproc/smbios/RawSMBios.h"
#include "svcproc/smbios/SMBiosChipData.h"

CServiceManager::CServiceManager() : m_bInit(false), m_Processor() {
    LogQuick(kLogTrace, "CServiceManager Constructed");
}

CServiceManager::~CServiceManager() {
    LogQuick(kLogTrace, "CServiceManager Destroyed");
}

SERVICE_CODE CServiceManager::Initialise() {
    CRawSMBios raw;
    if (!raw.Initialise()) {
        return ServiceCode_SmbiosUnreadable;
    }
    CSMBiosChipData chipData;
    if (!chipData.Initialise(&raw)) {
        return ServiceCode_SmbiosInventoryFailed;
    }

    const std::string version = chipData.GetBiosVersion();
    try {
        CPOSSystem::GetInstance().m_sBiosVersion = version;
    } catch (...) {
        LogQuick(kLogError, "CServiceManager::Initialise - CPOSSystem::GetInstance() failed");
        return ServiceCode_PosSystemUnavailable;
    }
    Log(kLogTrace, "Type 00 Bios Version is %s", version.c_str());

    const auto& devices = chipData.GetDevices();
    Log(kLogTrace, "Found %i Type 34 Management Device(s)", static_cast<int>(devices.size()));
    for (size_t i = 0; i < devices.size(); ++i) {
        const SMBiosManagementDevice& device = *devices[i];
        Log(kLogTrace, "Management Device # %i", static_cast<int>(i));
        Log(kLogTrace, "  Description:   %s", device.description.c_str());
        Log(kLogTrace, "  Address:       0x%08x", static_cast<unsigned>(device.address));
        Log(kLogTrace, "  Addr Type:     %d", static_cast<int>(device.addressType));
        Log(kLogTrace, "  SMBIOS Handle: 0x%04x", static_cast<unsigned>(device.handle));
        if (device.description != kServiceProcessorDescription) {
            continue;
        }
        // Only the first matching device is ever tried.
        const SERVICE_CODE result = m_Processor.Initialise(raw, device.handle);
        if (result == ServiceCode_Success) {
            m_bInit.store(true, std::memory_order_release);
        }
        return result;
    }
    return ServiceCode_NoServiceProcessor;
}

SERVICE_CODE CServiceManager::EnumerateSensorHandles(CSensorHandleList& handles) {
    Log(kLogCall, "CServiceManager::EnumerateSensorHandles(0x%08x), m_bInit=%x",
        LogAddress(&handles), InitFlag());
    const SERVICE_CODE result = m_Processor.EnumerateSensorHandles(handles);
    Log(kLogCall, "CServiceManager::EnumerateSensorHandles exit, sscode=0x%x",
        static_cast<unsigned>(result));
    return result;
}

SERVICE_CODE CServiceManager::EnumerateLedHandles(CLedHandleList& handles) {
    Log(kLogCall, "CServiceManager::EnumerateLedHandles(0x%08x), m_bInit=%x", LogAddress(&handles),
        InitFlag());
    const SERVICE_CODE result = m_Processor.EnumerateLedHandles(handles);
    Log(kLogCall, "CServiceManager::EnumerateLedHandles exit, sscode=0x%x",
        static_cast<unsigned>(result));
    return result;
}

SERVICE_CODE CServiceManager::GetSensorInformation(unsigned long handle,
                                                   CSensorInformation& information) {
    Log(kLogCall, "CServiceManager::GetSensorInformation(0x%08x,0x%08x), m_bInit=%x",
        static_cast<unsigned>(handle), LogAddress(&information), InitFlag());
    const SERVICE_CODE result = m_Processor.GetSensorInformation(handle, information);
    Log(kLogCall, "CServiceManager::GetSensorInformation exit, sscode=0x%x",
        static_cast<unsigned>(result));
    return result;
}

SERVICE_CODE CServiceManager::GetLedInformation(unsigned long handle,
                                                CLedInformation& information) {
    Log(kLogCall, "CServiceManager::GetLedInformation(0x%08x,0x%08x), m_bInit=%x",
        static_cast<unsigned>(handle), LogAddress(&information), InitFlag());
    const SERVICE_CODE result = m_Processor.GetLedInformation(handle, information);
    Log(kLogCall, "CServiceManager::GetLedInformation exit, sscode=0x%x",
        static_cast<unsigned>(result));
    return result;
}

SERVICE_CODE CServiceManager::ReadSensor(unsigned long handle, CSensorReading& reading) {
    Log(kLogCall, "CServiceManager::ReadSensor(0x%08x,0x%08x), m_bInit=%x",
        static_cast<unsigned>(handle), LogAddress(&reading), InitFlag());
    const SERVICE_CODE result = m_Processor.ReadSensor(handle, reading);
    Log(kLogCall, "CServiceManager::ReadSensor exit, sscode=0x%x", static_cast<unsigned>(result));
    return result;
}

SERVICE_CODE CServiceManager::ReadLed(unsigned long handle, CLedReading& reading) {
    Log(kLogCall, "CServiceManager::ReadLed(0x%08x,0x%08x), m_bInit=%x",
        static_cast<unsigned>(handle), LogAddress(&reading), InitFlag());
    const SERVICE_CODE result = m_Processor.ReadLed(handle, reading);
    Log(kLogCall, "CServiceManager::ReadLed exit, sscode=0x%x", static_cast<unsigned>(result));
    return result;
}

void CServiceManager::RegisterSensorStateListener(ISensorStateListener* listener) {
    Log(kLogCall, "CServiceManager::RegisterSensorStateListener(0x%08x), m_bInit=%x",
        LogAddress(listener), InitFlag());
    m_Processor.RegisterSensorStateListener(listener);
    LogQuick(kLogCall, "CServiceManager::RegisterSensorStateListener exit");
}

void CServiceManager::UnregisterSensorStateListener(ISensorStateListener* listener) {
    Log(kLogCall, "CServiceManager::UnregisterSensorStateListener(0x%08x), m_bInit=%x",
        LogAddress(listener), InitFlag());
    m_Processor.UnregisterSensorStateListener(listener);
    LogQuick(kLogCall, "CServiceManager::UnregisterSensorStateListener exit");
}

SERVICE_CODE CServiceManager::GetServiceProcessorStatus(CServiceProcessorStatus& status) const {
    return m_Processor.GetServiceProcessorStatus(status);
}
