// Records that the SMBIOS parsers fill, one per structure, with the values as
// the table holds them (little-endian words already assembled). The parsers
// own them; users copy what they keep before the parser goes away.
#pragma once

#include <cstdint>
#include <string>

// The unknown marker of SMBIOS words.
constexpr uint16_t kSMBiosUnknown = 0x8000;

// Type 0, BIOS information: the table's first structure.
struct SMBiosBiosInformation {
    uint8_t type = 0;
    uint8_t length = 0;
    uint16_t handle = 0;
    uint8_t vendorString = 0;
    uint8_t versionString = 0;
    uint16_t startingSegment = 0;
    uint8_t releaseDateString = 0;
    uint8_t romSize = 0;
    uint8_t characteristics[8] = {};
    uint8_t extensionByte1 = 0;
    uint8_t extensionByte2 = 0;
    uint8_t biosMajorRelease = 0;
    uint8_t biosMinorRelease = 0;
    uint8_t firmwareMajorRelease = 0;
    uint8_t firmwareMinorRelease = 0;
    std::string vendor;
    std::string version;
    std::string releaseDate;
};

// Type 34, management device.
struct SMBiosManagementDevice {
    uint8_t type = 0;
    uint8_t length = 0;
    uint16_t handle = 0;  // what Type 35 components name as their device
    uint8_t descriptionString = 0;
    uint8_t deviceType = 0;
    uint32_t address = 0;
    uint8_t addressType = 0;
    std::string description;
};

// Sensor kinds, as SMBiosSensor::kind holds them.
constexpr uint32_t kSensorKindVoltage = 1;      // Type 26
constexpr uint32_t kSensorKindCooling = 2;      // Type 27
constexpr uint32_t kSensorKindTemperature = 3;  // Type 28

// Types 26 and 28: voltage and temperature probes share this layout.
struct SMBiosProbePart {
    uint8_t descriptionString = 0;
    uint8_t locationAndStatus = 0;
    uint16_t maximumValue = 0;
    uint16_t minimumValue = 0;
    uint16_t resolution = 0;
    uint16_t tolerance = 0;
    uint16_t accuracy = 0;
    uint16_t nominalValue = kSMBiosUnknown;  // read only when the structure holds it
};

// Type 27: cooling device.
struct SMBiosCoolingPart {
    uint16_t temperatureProbeHandle = 0;  // stored, not followed
    uint8_t deviceTypeAndStatus = 0;
    uint8_t coolingUnitGroup = 0;
    uint16_t nominalSpeed = kSMBiosUnknown;  // read only when the structure holds it
};

// One Type 26, 27 or 28 structure. `probe` is meaningful for kinds 1 and 3,
// `cooling` for kind 2; the other part keeps its initial values.
struct SMBiosSensor {
    uint8_t type = 0;
    uint8_t length = 0;
    uint16_t handle = 0;  // what Type 35 components name as their sensor
    uint32_t kind = 0;
    uint32_t oemDefined = 0;  // low byte: the sensor's index with the service processor
    // Probes: their own string. Cooling devices: their component's description.
    std::string description;
    // Lower non-critical, upper non-critical, lower critical, upper critical,
    // lower non-recoverable, upper non-recoverable; unknown until a Type 36
    // structure is attached.
    uint16_t thresholds[6] = {kSMBiosUnknown, kSMBiosUnknown, kSMBiosUnknown,
                              kSMBiosUnknown, kSMBiosUnknown, kSMBiosUnknown};
    SMBiosProbePart probe;
    SMBiosCoolingPart cooling;
};

// Type 35, management device component: joins a device, a sensor and its
// thresholds. 0xFFFF names none.
struct SMBiosComponent {
    uint8_t type = 0;
    uint8_t length = 0;
    uint16_t handle = 0;
    uint8_t descriptionString = 0;
    uint16_t managementDeviceHandle = 0;
    uint16_t componentHandle = 0;
    uint16_t thresholdHandle = 0;
    std::string description;
};

// Type 36, management device threshold data, in the order of
// SMBiosSensor::thresholds.
struct SMBiosThreshold {
    uint8_t type = 0;
    uint8_t length = 0;
    uint16_t handle = 0;
    uint16_t thresholds[6] = {};
};

// Type 128 (OEM): one LED.
struct SMBiosLed {
    uint8_t type = 0;
    uint8_t length = 0;
    uint16_t handle = 0;
    uint8_t descriptionString = 0;
    uint16_t bitMap = 0;  // the LED's index in the cache
    std::string description;
};
