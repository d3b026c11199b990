#include "svcproc/smbios/SMBiosSensorData.h"

#include <memory>

#include "svcproc/logging/Log.h"
#include "svcproc/smbios/LittleEndian.h"

namespace {

constexpr uint8_t kType26 = 26;
constexpr uint8_t kType27 = 27;
constexpr uint8_t kType28 = 28;
constexpr uint8_t kType35 = 35;
constexpr uint8_t kType36 = 36;
constexpr uint16_t kNoHandle = 0xFFFF;

// How many bytes of each structure the store operations read, whatever the
// structure's length says.
constexpr size_t kProbeExtent = 0x16;      // up to Nominal Value at 0x14-0x15
constexpr size_t kCoolingExtent = 0x0E;    // up to Nominal Speed at 0x0C-0x0D
constexpr size_t kComponentExtent = 0x0B;  // up to the threshold handle at 0x09-0x0A
constexpr size_t kThresholdExtent = 0x10;  // 16 bytes, whatever the length

// Appends a new record made by `store` to `records`, which owns it.
template <typename Record, typename Store>
void AppendNew(std::vector<Record*>& records, Store store) {
    auto record = std::make_unique<Record>();
    store(*record);
    records.push_back(record.get());
    record.release();
}

}  // namespace

CSMBiosSensorData::CSMBiosSensorData(uint16_t chipHandle)
    : m_bInit(false), m_wChipHandle(chipHandle) {
    LogQuick(kLogTrace, "CSMBiosSensorData Constructed");
}

CSMBiosSensorData::~CSMBiosSensorData() {
    FreeRecords();
    LogQuick(kLogTrace, "CSMBiosSensorData Destroyed");
}

void CSMBiosSensorData::FreeRecords() {
    m_vThisChipSensors.clear();
    for (SMBiosSensor* sensor : m_vAllSensors) {
        delete sensor;
    }
    m_vAllSensors.clear();
    for (SMBiosComponent* component : m_vAllComponents) {
        delete component;
    }
    m_vAllComponents.clear();
    for (SMBiosThreshold* threshold : m_vAllThresholds) {
        delete threshold;
    }
    m_vAllThresholds.clear();
}

bool CSMBiosSensorData::Initialise(CRawSMBios* raw) {
    if (m_bInit) {
        LogQuick(kLogTrace, "CSMBiosSensorData::Initialise - Already initialised");
        return true;
    }
    // A parse after a failed one starts from nothing, so that no record is
    // held twice.
    FreeRecords();
    AssignTable(raw);
    GetStructures();
    if (m_vAllSensors.empty()) {
        LogQuick(kLogError, "CSMBiosSensorData::Initialise - No sensors found for any chip device");
        return false;
    }
    GetThisChipSensors();
    if (m_vThisChipSensors.empty()) {
        LogQuick(kLogError,
                 "CSMBiosSensorData::Initialise - No sensors found for this chip device");
        return false;
    }
    m_bInit = true;
    Log(kLogTrace, "CSMBiosSensorData::Initialise - Initialised Ok - #sensor(s)=%d",
        static_cast<int>(m_vThisChipSensors.size()));
    return true;
}

void CSMBiosSensorData::GetStructures() {
    LogQuick(
        kLogTrace,
        "CSMBiosSensorData::GetStructures - Parsing all Type 00, 26, 27, 28, 35, 36 structures");
    StoreType00(m_pRawBytes);
    for (const uint8_t* pTable = GetNextTable(m_pRawBytes); pTable != nullptr;
         pTable = GetNextTable(pTable)) {
        Log(kLogTrace, "CSMBiosSensorData::GetStructures - pTable=0x%x", LogAddress(pTable));
        DumpHeader(pTable);
        switch (pTable[0]) {
            case kType26:
            case kType28:
                if (!StructureFits(pTable, kProbeExtent)) {
                    return;
                }
                AppendNew(m_vAllSensors, [&](SMBiosSensor& sensor) {
                    if (pTable[0] == kType26) {
                        StoreType26(pTable, sensor);
                        sensor.kind = kSensorKindVoltage;
                    } else {
                        StoreType28(pTable, sensor);
                        sensor.kind = kSensorKindTemperature;
                    }
                });
                break;
            case kType27:
                if (!StructureFits(pTable, kCoolingExtent)) {
                    return;
                }
                AppendNew(m_vAllSensors, [&](SMBiosSensor& sensor) {
                    StoreType27(pTable, sensor);
                    sensor.kind = kSensorKindCooling;
                });
                break;
            case kType35:
                if (!StructureFits(pTable, kComponentExtent)) {
                    return;
                }
                AppendNew(m_vAllComponents,
                          [&](SMBiosComponent& component) { StoreType35(pTable, component); });
                break;
            case kType36:
                if (!StructureFits(pTable, kThresholdExtent)) {
                    return;
                }
                AppendNew(m_vAllThresholds,
                          [&](SMBiosThreshold& threshold) { StoreType36(pTable, threshold); });
                break;
            default:
                break;
        }
    }
}

void CSMBiosSensorData::StoreProbe(const uint8_t* pTable, SMBiosSensor& sensor) {
    sensor.type = pTable[0x00];
    sensor.length = pTable[0x01];
    sensor.handle = ReadLe16(&pTable[0x02]);
    SMBiosProbePart& probe = sensor.probe;
    probe.descriptionString = pTable[0x04];
    probe.locationAndStatus = pTable[0x05];
    probe.maximumValue = ReadLe16(&pTable[0x06]);
    probe.minimumValue = ReadLe16(&pTable[0x08]);
    probe.resolution = ReadLe16(&pTable[0x0A]);
    probe.tolerance = ReadLe16(&pTable[0x0C]);
    probe.accuracy = ReadLe16(&pTable[0x0E]);
    sensor.oemDefined = ReadLe32(&pTable[0x10]);
    // Nominal Value came with a later revision of the structure.
    probe.nominalValue = sensor.length > 0x14 ? ReadLe16(&pTable[0x14]) : kSMBiosUnknown;
    sensor.description = GetStructureString(pTable, probe.descriptionString);
}

void CSMBiosSensorData::LogProbe(const SMBiosSensor& sensor) const {
    const SMBiosProbePart& probe = sensor.probe;
    Log(kLogTrace, "  Description:        %s", sensor.description.c_str());
    Log(kLogTrace, "  Location & Status:  0x%02x", static_cast<unsigned>(probe.locationAndStatus));
    Log(kLogTrace, "  Maximium Value:     0x%04x", static_cast<unsigned>(probe.maximumValue));
    Log(kLogTrace, "  Minimium Value:     0x%04x", static_cast<unsigned>(probe.minimumValue));
    Log(kLogTrace, "  Resolution:         0x%04x", static_cast<unsigned>(probe.resolution));
    Log(kLogTrace, "  Tolerance:          0x%04x", static_cast<unsigned>(probe.tolerance));
    Log(kLogTrace, "  Accuracy:           0x%04x", static_cast<unsigned>(probe.accuracy));
    Log(kLogTrace, "  OEM DWord:          0x%08x", static_cast<unsigned>(sensor.oemDefined));
    Log(kLogTrace, "  Nominal Value:      0x%04x", static_cast<unsigned>(probe.nominalValue));
}

void CSMBiosSensorData::StoreType26(const uint8_t* pTable, SMBiosSensor& sensor) {
    StoreProbe(pTable, sensor);
    LogQuick(kLogTrace, "CSMBiosSensorData::StoreType26");
    LogProbe(sensor);
}

void CSMBiosSensorData::StoreType28(const uint8_t* pTable, SMBiosSensor& sensor) {
    StoreProbe(pTable, sensor);
    LogQuick(kLogTrace, "CSMBiosSensorData::StoreType28");
    LogProbe(sensor);
}

void CSMBiosSensorData::StoreType27(const uint8_t* pTable, SMBiosSensor& sensor) {
    sensor.type = pTable[0x00];
    sensor.length = pTable[0x01];
    sensor.handle = ReadLe16(&pTable[0x02]);
    SMBiosCoolingPart& cooling = sensor.cooling;
    cooling.temperatureProbeHandle = ReadLe16(&pTable[0x04]);
    cooling.deviceTypeAndStatus = pTable[0x06];
    cooling.coolingUnitGroup = pTable[0x07];
    sensor.oemDefined = ReadLe32(&pTable[0x08]);
    // Nominal Speed came with a later revision of the structure.
    cooling.nominalSpeed = sensor.length > 0x0C ? ReadLe16(&pTable[0x0C]) : kSMBiosUnknown;
    // The description comes from the sensor's Type 35 component, if any.

    LogQuick(kLogTrace, "CSMBiosSensorData::StoreType27");
    Log(kLogTrace, "  Description:                %s", sensor.description.c_str());
    Log(kLogTrace, "  Temperature Probe Handle:   0x%04x",
        static_cast<unsigned>(cooling.temperatureProbeHandle));
    Log(kLogTrace, "  Device Type & Status:       0x%02x",
        static_cast<unsigned>(cooling.deviceTypeAndStatus));
    Log(kLogTrace, "  Cooling Unit Grooup:        0x%02x",
        static_cast<unsigned>(cooling.coolingUnitGroup));
    Log(kLogTrace, "  OEM DWord:                  0x%08x",
        static_cast<unsigned>(sensor.oemDefined));
    Log(kLogTrace, "  Nominal Value:              0x%04x",
        static_cast<unsigned>(cooling.nominalSpeed));
}

void CSMBiosSensorData::StoreType35(const uint8_t* pTable, SMBiosComponent& component) {
    component.type = pTable[0x00];
    component.length = pTable[0x01];
    component.handle = ReadLe16(&pTable[0x02]);
    component.descriptionString = pTable[0x04];
    component.managementDeviceHandle = ReadLe16(&pTable[0x05]);
    component.componentHandle = ReadLe16(&pTable[0x07]);
    component.thresholdHandle = ReadLe16(&pTable[0x09]);
    component.description = GetStructureString(pTable, component.descriptionString);

    LogQuick(kLogTrace, "CSMBiosSensorData::StoreType35");
    Log(kLogTrace, "  Description:                %s", component.description.c_str());
    Log(kLogTrace, "  Management Device Handle:   0x%04x",
        static_cast<unsigned>(component.managementDeviceHandle));
    Log(kLogTrace, "  Component Handle:           0x%04x",
        static_cast<unsigned>(component.componentHandle));
    Log(kLogTrace, "  Threshold Handle:           0x%04x",
        static_cast<unsigned>(component.thresholdHandle));
}

void CSMBiosSensorData::StoreType36(const uint8_t* pTable, SMBiosThreshold& threshold) {
    // Sixteen bytes whatever the structure's length (the caller checked they
    // lie in the buffer): a short structure lends bytes of its string-set.
    threshold.type = pTable[0x00];
    threshold.length = pTable[0x01];
    threshold.handle = ReadLe16(&pTable[0x02]);
    for (size_t i = 0; i < 6; ++i) {
        threshold.thresholds[i] = ReadLe16(&pTable[0x04 + 2 * i]);
    }

    LogQuick(kLogTrace, "CSMBiosSensorData::StoreType36");
    const uint16_t* t = threshold.thresholds;
    Log(kLogTrace, "  Lower Threshold Non Critical:       0x%04x", static_cast<unsigned>(t[0]));
    Log(kLogTrace, "  Upper Threshold Non Critical:       0x%04x", static_cast<unsigned>(t[1]));
    Log(kLogTrace, "  Lower Threshold Critical:           0x%04x", static_cast<unsigned>(t[2]));
    Log(kLogTrace, "  Upper Threshold Critical:           0x%04x", static_cast<unsigned>(t[3]));
    Log(kLogTrace, "  Lower Threshold Non Recoverable:    0x%04x", static_cast<unsigned>(t[4]));
    Log(kLogTrace, "  Upper Threshold Non Recoverable:    0x%04x", static_cast<unsigned>(t[5]));
}

SMBiosSensor* CSMBiosSensorData::GetSensorForHandle(uint16_t handle) const {
    if (m_vAllSensors.empty()) {
        LogQuick(kLogError, "CSMBiosSensorData::GetSensorForHandle - m_vAllSensors is empty");
        return nullptr;
    }
    for (SMBiosSensor* sensor : m_vAllSensors) {
        if (sensor->handle == handle) {
            return sensor;
        }
    }
    return nullptr;
}

SMBiosThreshold* CSMBiosSensorData::GetThresholdForHandle(uint16_t handle) const {
    if (m_vAllThresholds.empty()) {
        LogQuick(kLogError, "CSMBiosSensorData::GetThresholdForHandle - m_vAllThresholds is empty");
        return nullptr;
    }
    for (SMBiosThreshold* threshold : m_vAllThresholds) {
        if (threshold->handle == handle) {
            return threshold;
        }
    }
    return nullptr;
}

void CSMBiosSensorData::GetThisChipSensors() {
    LogQuick(kLogTrace, "CSMBiosSensorData::GetThisChipSensors - Parsing all Type 35 components");
    const unsigned chip = m_wChipHandle;
    for (const SMBiosComponent* component : m_vAllComponents) {
        Log(kLogTrace,
            "CSMBiosSensorData::GetThisChipSensors - Building Sensor structures for Type 35 with "
            "handle: 0x%04x",
            static_cast<unsigned>(component->handle));
        // 0xFFFF names no device, even for a parser made with that handle.
        if (component->managementDeviceHandle == kNoHandle ||
            component->managementDeviceHandle != m_wChipHandle) {
            continue;
        }
        Log(kLogTrace,
            "  CSMBiosSensorData::GetThisChipSensors - Found sensor handle: 0x%04x associated "
            "with chip handle 0x%08x",
            static_cast<unsigned>(component->componentHandle), chip);
        Log(kLogTrace,
            "  CSMBiosSensorData::GetThisChipSensors - Found threshold handle: 0x%04x associated "
            "with chip handle 0x%08x",
            static_cast<unsigned>(component->thresholdHandle), chip);
        if (component->componentHandle == kNoHandle) {
            LogQuick(kLogTrace,
                     "  CSMBiosSensorData::GetThisChipSensors - This component has no associated "
                     "sensor structure");
            continue;
        }
        SMBiosSensor* sensor = GetSensorForHandle(component->componentHandle);
        if (sensor == nullptr) {
            Log(kLogTrace,
                "  CSMBiosSensorData::GetThisChipSensors - Cannot find sensor for handle 0x%04x",
                static_cast<unsigned>(component->componentHandle));
            continue;
        }
        Log(kLogTrace, "  CSMBiosSensorData::GetThisChipSensors - Adding sensor 0x%08x to list",
            LogAddress(sensor));
        m_vThisChipSensors.push_back(sensor);
        if (sensor->kind == kSensorKindCooling) {
            Log(kLogTrace,
                "  CSMBiosSensorData::GetThisChipSensors - Attaching component description %s to "
                "sensor 0x%08x",
                component->description.c_str(), LogAddress(sensor));
            sensor->description = component->description;
        }
        if (component->thresholdHandle == kNoHandle) {
            LogQuick(kLogTrace,
                     "  CSMBiosSensorData::GetThisChipSensors - This component has no associated "
                     "threshold structure");
            continue;
        }
        const SMBiosThreshold* threshold = GetThresholdForHandle(component->thresholdHandle);
        if (threshold == nullptr) {
            Log(kLogTrace,
                "  CSMBiosSensorData::GetThisChipSensors - Cannot find threshold for handle 0x%04x",
                static_cast<unsigned>(component->thresholdHandle));
            continue;
        }
        Log(kLogTrace,
            "  CSMBiosSensorData::GetThisChipSensors - Attaching threshold 0x%08x information to "
            "sensor 0x%08x",
            LogAddress(threshold), LogAddress(sensor));
        for (size_t i = 0; i < 6; ++i) {
            sensor->thresholds[i] = threshold->thresholds[i];
        }
    }
}
