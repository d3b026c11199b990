// Readings and thresholds in human units, derived from a sensor's BaseUnits
// and UnitModifier (CIM NumericSensor codes).
#pragma once

#include <cstdint>
#include <string>

#include "svcproc/api/HandleKindName.h"  // a handle's kind in words
#include "svcproc/api/SensorRecords.h"

// The unit symbol for a CIM base unit: "V", "RPM", "°C" (UTF-8), else "".
const char* UnitSymbol(uint16_t baseUnits);

// A value in the sensor's units (value × 10^UnitModifier of BaseUnits) as a
// number of base units, e.g. 3300 with modifier -3 → 3.3.
double ToBaseUnits(int64_t value, int32_t unitModifier);

// "3.300 V", "1980 RPM", "41.5 °C": as many decimals as the modifier gives,
// no blank inside the number, so a line of them splits into fields.
std::string FormatValue(int64_t value, const CSensorInformation& information);

// SMBIOS's unknown marker (0x80000000) arrives as INT32_MIN.
inline bool IsKnown(int32_t value) {
    return value != kSensorValueUnknown;
}

// FormatValue for known values, "na" (as ipmitool prints it) for unknown ones.
std::string FormatThreshold(int32_t value, const CSensorInformation& information);

// The wide description as UTF-8.
std::string ToUtf8(const std::wstring& text);

// "0x00010002".
std::string FormatHandle(unsigned long handle);
