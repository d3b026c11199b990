#include "svcproc/service/ServiceProcessor.h"

#include "svcproc/api/SensorHandle.h"
#include "svcproc/logging/Log.h"
#include "svcproc/service/POSSystem.h"
#include "svcproc/service/SensorInformationConversion.h"
#include "svcproc/smbios/SMBiosLedData.h"
#include "svcproc/smbios/SMBiosSensorData.h"

CServiceProcessor::CServiceProcessor() : m_bInit(false), m_Cache(), m_IOUnit(&m_Cache) {
    LogQuick(kLogTrace, "CServiceProcessor Constructed");
}

CServiceProcessor::~CServiceProcessor() {
    LogQuick(kLogTrace, "CServiceProcessor Destroyed");
}

SERVICE_CODE CServiceProcessor::Initialise(CRawSMBios& raw, unsigned short managementDeviceHandle) {
    CSMBiosSensorData sensorData(managementDeviceHandle);
    if (!sensorData.Initialise(&raw)) {
        return ServiceCode_SmbiosInventoryFailed;
    }
    for (const SMBiosSensor* sensor : sensorData.GetSensors()) {
        if (sensor != nullptr) {
            CSensorInformation information;
            CopySensorInformation(*sensor, information);
        }
    }

    CSMBiosLedData ledData;
    if (!ledData.Initialise(&raw)) {
        return ServiceCode_SmbiosInventoryFailed;
    }
    for (const SMBiosLed* led : ledData.GetLeds()) {
        if (led == nullptr) {
            continue;
        }
        CLedInformation information;
        information.Kind = 5;
        information.BitMap = led->bitMap;
        NarrowToWide(led->description, information.Description);
        m_Cache.AddLed(information, led->bitMap);
    }
    m_Cache.m_bLocked = true;

    const CPOSSystem& system = CPOSSystem::GetInstance();
    if (!system.IsBios8D() && !system.IsBios84() && !system.IsBios85()) {
        LogQuick(kLogError, "Cannot determine Port Base Address");
        return ServiceCode_SmbiosInventoryFailed;
    }
    Log(kLogTrace, "  Port Base: 0x%08x", static_cast<unsigned>(kPortBase));
    if (!m_IOUnit.Initialise(kPortBase)) {
        return ServiceCode_DriverUnavailable;
    }
    m_IOUnit.PollingThread().Run();
    m_bInit.store(true, std::memory_order_release);
    return ServiceCode_Success;
}

void CServiceProcessor::CopySensorInformation(const SMBiosSensor& sensor,
                                              CSensorInformation& information) {
    if (!ConvertSensorInformation(sensor, information)) {
        Log(kLogError, "CopySensorInformation - Unknown sensor type=0x%x",
            static_cast<unsigned>(sensor.kind));
        return;
    }
    const unsigned short index = static_cast<unsigned short>(sensor.oemDefined & 0xFFu);
    switch (sensor.kind) {
        case kSensorKindVoltage:
            m_Cache.AddVoltage(information, index);
            break;
        case kSensorKindCooling:
            m_Cache.AddFan(information, index);
            break;
        default:
            m_Cache.AddTemperature(information, index);
            break;
    }
}

SERVICE_CODE CServiceProcessor::EnumerateSensorHandles(CSensorHandleList& handles) {
    Log(kLogCall, "CServiceProcessor::EnumerateSensorHandles(0x%08x), m_bInit=%x",
        LogAddress(&handles), InitFlag());
    const SERVICE_CODE result = m_Cache.EnumerateSensorHandles(handles);
    Log(kLogCall, "CServiceProcessor::EnumerateSensorHandles exit, sscode=0x%x",
        static_cast<unsigned>(result));
    return result;
}

SERVICE_CODE CServiceProcessor::EnumerateLedHandles(CLedHandleList& handles) {
    Log(kLogCall, "CServiceProcessor::EnumerateLedHandles(0x%08x), m_bInit=%x",
        LogAddress(&handles), InitFlag());
    const SERVICE_CODE result = m_Cache.EnumerateLedHandles(handles);
    Log(kLogCall, "CServiceProcessor::EnumerateLedHandles exit, sscode=0x%x",
        static_cast<unsigned>(result));
    return result;
}

SERVICE_CODE CServiceProcessor::GetSensorInformation(unsigned long handle,
                                                     CSensorInformation& information) {
    Log(kLogCall, "CServiceProcessor::GetSensorInformation(0x%08x,0x%08x), m_bInit=%x",
        static_cast<unsigned>(handle), LogAddress(&information), InitFlag());
    bool found = false;
    switch (ServiceApi::HandleKind(handle)) {
        case HandleKind_Voltage:
            found = m_Cache.GetVoltageInfo(handle, information);
            break;
        case HandleKind_Fan:
            found = m_Cache.GetFanInfo(handle, information);
            break;
        case HandleKind_Temperature:
            found = m_Cache.GetTemperatureInfo(handle, information);
            break;
        default:
            break;
    }
    const SERVICE_CODE result = found ? ServiceCode_Success : ServiceCode_InvalidHandle;
    Log(kLogCall, "CServiceProcessor::GetSensorInformation exit, sscode=0x%x",
        static_cast<unsigned>(result));
    return result;
}

SERVICE_CODE CServiceProcessor::GetLedInformation(unsigned long handle,
                                                  CLedInformation& information) {
    Log(kLogCall, "CServiceProcessor::GetLedInformation(0x%08x,0x%08x), m_bInit=%x",
        static_cast<unsigned>(handle), LogAddress(&information), InitFlag());
    const bool found =
        ServiceApi::HandleKind(handle) == HandleKind_Led && m_Cache.GetLedInfo(handle, information);
    const SERVICE_CODE result = found ? ServiceCode_Success : ServiceCode_InvalidHandle;
    Log(kLogCall, "CServiceProcessor::GetLedInformation exit, sscode=0x%x",
        static_cast<unsigned>(result));
    return result;
}

SERVICE_CODE CServiceProcessor::ReadSensor(unsigned long handle, CSensorReading& reading) {
    Log(kLogCall, "CServiceProcessor::ReadSensor(0x%08x,0x%08x), m_bInit=%x",
        static_cast<unsigned>(handle), LogAddress(&reading), InitFlag());
    const SERVICE_CODE result = m_IOUnit.ReadSensor(handle, reading);
    Log(kLogCall, "CServiceProcessor::ReadSensor exit, sscode=0x%x", static_cast<unsigned>(result));
    return result;
}

SERVICE_CODE CServiceProcessor::ReadLed(unsigned long handle, CLedReading& reading) {
    Log(kLogCall, "CServiceProcessor::ReadLed(0x%08x,0x%08x), m_bInit=%x",
        static_cast<unsigned>(handle), LogAddress(&reading), InitFlag());
    const SERVICE_CODE result = m_IOUnit.ReadLed(handle, reading);
    Log(kLogCall, "CServiceProcessor::ReadLed exit, sscode=0x%x", static_cast<unsigned>(result));
    return result;
}

void CServiceProcessor::RegisterSensorStateListener(ISensorStateListener* listener) {
    Log(kLogCall, "CServiceProcessor::RegisterSensorStateListener(0x%08x), m_bInit=%x",
        LogAddress(listener), InitFlag());
    m_IOUnit.RegisterSensorStateListener(listener);
    LogQuick(kLogCall, "CServiceProcessor::RegisterSensorStateListener exit");
}

void CServiceProcessor::UnregisterSensorStateListener(ISensorStateListener* listener) {
    Log(kLogCall, "CServiceProcessor::UnregisterSensorStateListener(0x%08x), m_bInit=%x",
        LogAddress(listener), InitFlag());
    m_IOUnit.UnregisterSensorStateListener(listener);
    LogQuick(kLogCall, "CServiceProcessor::UnregisterSensorStateListener exit");
}

// No log lines: a status may be taken often, and it touches nothing the
// operations above log about.
SERVICE_CODE CServiceProcessor::GetServiceProcessorStatus(CServiceProcessorStatus& status) const {
    m_IOUnit.GetServiceProcessorStatus(status);
    return ServiceCode_Success;
}
