#include "svcproc/service/ServiceProcessor.h"

#include "svcproc/api/SensorHandle.h"
#include "svcproc/logging/Log.h"
#include "svcproc/service/CallLog.h"
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
    LogCallEntry("CServiceProcessor::EnumerateSensorHandles", LogAddress(&handles), InitFlag());
    return LogCallExit("CServiceProcessor::EnumerateSensorHandles",
                       m_Cache.EnumerateSensorHandles(handles));
}

SERVICE_CODE CServiceProcessor::EnumerateLedHandles(CLedHandleList& handles) {
    LogCallEntry("CServiceProcessor::EnumerateLedHandles", LogAddress(&handles), InitFlag());
    return LogCallExit("CServiceProcessor::EnumerateLedHandles",
                       m_Cache.EnumerateLedHandles(handles));
}

SERVICE_CODE CServiceProcessor::GetSensorInformation(unsigned long handle,
                                                     CSensorInformation& information) {
    LogCallEntry("CServiceProcessor::GetSensorInformation", static_cast<unsigned>(handle),
                 LogAddress(&information), InitFlag());
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
    return LogCallExit("CServiceProcessor::GetSensorInformation",
                       found ? ServiceCode_Success : ServiceCode_InvalidHandle);
}

SERVICE_CODE CServiceProcessor::GetLedInformation(unsigned long handle,
                                                  CLedInformation& information) {
    LogCallEntry("CServiceProcessor::GetLedInformation", static_cast<unsigned>(handle),
                 LogAddress(&information), InitFlag());
    const bool found =
        ServiceApi::HandleKind(handle) == HandleKind_Led && m_Cache.GetLedInfo(handle, information);
    return LogCallExit("CServiceProcessor::GetLedInformation",
                       found ? ServiceCode_Success : ServiceCode_InvalidHandle);
}

SERVICE_CODE CServiceProcessor::ReadSensor(unsigned long handle, CSensorReading& reading) {
    LogCallEntry("CServiceProcessor::ReadSensor", static_cast<unsigned>(handle),
                 LogAddress(&reading), InitFlag());
    return LogCallExit("CServiceProcessor::ReadSensor", m_IOUnit.ReadSensor(handle, reading));
}

SERVICE_CODE CServiceProcessor::ReadLed(unsigned long handle, CLedReading& reading) {
    LogCallEntry("CServiceProcessor::ReadLed", static_cast<unsigned>(handle), LogAddress(&reading),
                 InitFlag());
    return LogCallExit("CServiceProcessor::ReadLed", m_IOUnit.ReadLed(handle, reading));
}

void CServiceProcessor::RegisterSensorStateListener(ISensorStateListener* listener) {
    LogCallEntry("CServiceProcessor::RegisterSensorStateListener", LogAddress(listener),
                 InitFlag());
    m_IOUnit.RegisterSensorStateListener(listener);
    LogQuick(kLogCall, "CServiceProcessor::RegisterSensorStateListener exit");
}

void CServiceProcessor::UnregisterSensorStateListener(ISensorStateListener* listener) {
    LogCallEntry("CServiceProcessor::UnregisterSensorStateListener", LogAddress(listener),
                 InitFlag());
    m_IOUnit.UnregisterSensorStateListener(listener);
    LogQuick(kLogCall, "CServiceProcessor::UnregisterSensorStateListener exit");
}

// No log lines: a status may be taken often, and it touches nothing the
// operations above log about.
SERVICE_CODE CServiceProcessor::GetServiceProcessorStatus(CServiceProcessorStatus& status) const {
    m_IOUnit.GetServiceProcessorStatus(status);
    return ServiceCode_Success;
}
