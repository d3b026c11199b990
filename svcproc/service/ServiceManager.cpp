#include "svcproc/service/ServiceManager.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "svcproc/logging/Log.h"
#include "svcproc/service/CallLog.h"
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
    RememberMachine(version, nullptr, 0);

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
        RememberMachine(version, &device.description, device.address);
        const SERVICE_CODE result = m_Processor.Initialise(raw, device.handle);
        if (result == ServiceCode_Success) {
            m_bInit.store(true, std::memory_order_release);
        }
        return result;
    }
    return ServiceCode_NoServiceProcessor;
}

SERVICE_CODE CServiceManager::EnumerateSensorHandles(CSensorHandleList& handles) {
    LogCallEntry("CServiceManager::EnumerateSensorHandles", LogAddress(&handles), InitFlag());
    return LogCallExit("CServiceManager::EnumerateSensorHandles",
                       m_Processor.EnumerateSensorHandles(handles));
}

SERVICE_CODE CServiceManager::EnumerateLedHandles(CLedHandleList& handles) {
    LogCallEntry("CServiceManager::EnumerateLedHandles", LogAddress(&handles), InitFlag());
    return LogCallExit("CServiceManager::EnumerateLedHandles",
                       m_Processor.EnumerateLedHandles(handles));
}

SERVICE_CODE CServiceManager::GetSensorInformation(unsigned long handle,
                                                   CSensorInformation& information) {
    LogCallEntry("CServiceManager::GetSensorInformation", static_cast<unsigned>(handle),
                 LogAddress(&information), InitFlag());
    return LogCallExit("CServiceManager::GetSensorInformation",
                       m_Processor.GetSensorInformation(handle, information));
}

SERVICE_CODE CServiceManager::GetLedInformation(unsigned long handle,
                                                CLedInformation& information) {
    LogCallEntry("CServiceManager::GetLedInformation", static_cast<unsigned>(handle),
                 LogAddress(&information), InitFlag());
    return LogCallExit("CServiceManager::GetLedInformation",
                       m_Processor.GetLedInformation(handle, information));
}

SERVICE_CODE CServiceManager::ReadSensor(unsigned long handle, CSensorReading& reading) {
    LogCallEntry("CServiceManager::ReadSensor", static_cast<unsigned>(handle), LogAddress(&reading),
                 InitFlag());
    return LogCallExit("CServiceManager::ReadSensor", m_Processor.ReadSensor(handle, reading));
}

SERVICE_CODE CServiceManager::ReadLed(unsigned long handle, CLedReading& reading) {
    LogCallEntry("CServiceManager::ReadLed", static_cast<unsigned>(handle), LogAddress(&reading),
                 InitFlag());
    return LogCallExit("CServiceManager::ReadLed", m_Processor.ReadLed(handle, reading));
}

void CServiceManager::RegisterSensorStateListener(ISensorStateListener* listener) {
    LogCallEntry("CServiceManager::RegisterSensorStateListener", LogAddress(listener), InitFlag());
    m_Processor.RegisterSensorStateListener(listener);
    LogQuick(kLogCall, "CServiceManager::RegisterSensorStateListener exit");
}

void CServiceManager::UnregisterSensorStateListener(ISensorStateListener* listener) {
    LogCallEntry("CServiceManager::UnregisterSensorStateListener", LogAddress(listener),
                 InitFlag());
    m_Processor.UnregisterSensorStateListener(listener);
    LogQuick(kLogCall, "CServiceManager::UnregisterSensorStateListener exit");
}

void CServiceManager::RememberMachine(const std::string& biosVersion,
                                      const std::string* serviceProcessor, uint32_t address) {
    // The copies may throw std::bad_alloc, which refuses start-up as any
    // other allocation of it does; the record changes only whole.
    std::string bios = biosVersion;
    std::string device = serviceProcessor != nullptr ? *serviceProcessor : std::string();
    m_sBiosVersion.swap(bios);
    m_sServiceProcessor.swap(device);
    m_nServiceProcessorAddress = address;
    m_bMachineKnown = true;
}

namespace {

void CopyCut(const std::string& text, char (&out)[kMachineTextSize]) {
    const size_t length = std::min(text.size(), kMachineTextSize - 1);
    std::memcpy(out, text.data(), length);
    out[length] = '\0';
}

}  // namespace

SERVICE_CODE CServiceManager::GetMachineInfo(CMachineInfo& info) const {
    if (!m_bMachineKnown) {
        return ServiceCode_NotInitialised;
    }
    CopyCut(m_sBiosVersion, info.BiosVersion);
    CopyCut(m_sServiceProcessor, info.ServiceProcessor);
    info.ServiceProcessorAddress = m_nServiceProcessorAddress;
    return ServiceCode_Success;
}

SERVICE_CODE CServiceManager::GetServiceProcessorStatus(CServiceProcessorStatus& status) const {
    return m_Processor.GetServiceProcessorStatus(status);
}
