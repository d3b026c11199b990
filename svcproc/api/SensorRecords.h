// The records that cross the library's boundary. Callers allocate them and
// pass them by reference; the library overwrites them and never keeps them.
//
// Binary compatibility: the records hold std::wstring and std::vector members,
// so an application must be built with the same compiler and standard library
// as the svcproc library it loads. SVCPROC_API_VERSION changes whenever a
// record's layout does.
#pragma once

#include <cstdint>
#include <list>
#include <string>
#include <vector>

#include "svcproc/api/svcproc_export.h"

#define SVCPROC_API_VERSION 0x00020100

// Unknown values taken from SMBIOS (SMBIOS word 0x8000) arrive as this.
constexpr int32_t kSensorValueUnknown = INT32_MIN;

// Description of one voltage, fan or temperature sensor. Numeric fields use the
// DMTF CIM NumericSensor codes; thresholds, limits and the nominal value are in
// the units given by BaseUnits and UnitModifier.
class SVCPROC_EXPORT CSensorInformation {
public:
    // Strings and PossibleStates empty, every number 0.
    CSensorInformation();
    CSensorInformation(const CSensorInformation& other);
    CSensorInformation& operator=(const CSensorInformation& other);
    ~CSensorInformation();

    int32_t Accuracy;    // hundredths of a percent; unknown for fans
    uint16_t BaseUnits;  // 5 volts, 19 revolutions per minute, 2 degrees Celsius
    std::wstring Description;
    uint32_t Hysteresis;  // always 10
    bool IsLinear;        // always true
    int32_t LowerThresholdCritical;
    int32_t LowerThresholdFatal;
    int32_t LowerThresholdNonCritical;
    int32_t MaxReadable;                       // unknown for fans
    int32_t MinReadable;                       // unknown for fans
    int32_t NominalReading;                    // for a fan, its nominal speed
    std::wstring OtherSensorTypeDescription;   // always empty
    std::vector<std::wstring> PossibleStates;  // "Ok", "Critical"
    uint16_t RateUnits;                        // always 0
    uint32_t Resolution;                       // unknown (0x80000000) for fans
    uint16_t SensorType;                       // 3 voltage, 5 tachometer, 2 temperature
    int32_t UnitModifier;                      // power of ten: -3 voltage, 0 fan, -1 temperature
    int32_t UpperThresholdCritical;
    int32_t UpperThresholdFatal;
    int32_t UpperThresholdNonCritical;
};

// Description of one LED.
class SVCPROC_EXPORT CLedInformation {
public:
    // Description empty, numbers 0.
    CLedInformation();
    CLedInformation(const CLedInformation& other);
    CLedInformation& operator=(const CLedInformation& other);
    ~CLedInformation();

    uint16_t Kind;  // always 5
    std::wstring Description;
    uint16_t BitMap;  // the LED's bit in the LED state word; also its handle's index
};

// Result of ReadSensor.
class SVCPROC_EXPORT CSensorReading {
public:
    // In the units of the sensor's CSensorInformation.
    uint32_t CurrentReading;
    // Index into PossibleStates: 0 "Ok", 1 "Critical".
    uint32_t CurrentState;
};

// Result of ReadLed.
class SVCPROC_EXPORT CLedReading {
public:
    uint8_t State;  // 1 on, 0 off
};

// The list instantiation the handle lists derive from is exported with them.
extern template class SVCPROC_EXPORT std::list<unsigned long>;

// Handle lists. The library appends to them and never empties them.
class SVCPROC_EXPORT CSensorHandleList : public std::list<unsigned long> {};
class SVCPROC_EXPORT CLedHandleList : public std::list<unsigned long> {};
