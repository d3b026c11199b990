// Sensors and LEDs of a snapshot as the monitor's renderings meet them, one
// line each.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "snapshot/Snapshot.h"

constexpr int32_t kNa = kSensorValueUnknown;

// Lower fatal, lower critical, lower non-critical, upper non-critical, upper
// critical, upper fatal; 0 where the library's record leaves them alone.
using Thresholds = std::array<int32_t, 6>;

inline SensorSnapshot Sensor(unsigned long handle, const wchar_t* description, uint16_t units,
                             int32_t modifier, int32_t reading, const Thresholds& thresholds = {},
                             unsigned long state = 0) {
    SensorSnapshot sensor;
    sensor.handle = handle;
    CSensorInformation& info = sensor.information;
    info.Description = description;
    info.BaseUnits = units;
    info.UnitModifier = modifier;
    int32_t CSensorInformation::*const order[] = {&CSensorInformation::LowerThresholdFatal,
                                                  &CSensorInformation::LowerThresholdCritical,
                                                  &CSensorInformation::LowerThresholdNonCritical,
                                                  &CSensorInformation::UpperThresholdNonCritical,
                                                  &CSensorInformation::UpperThresholdCritical,
                                                  &CSensorInformation::UpperThresholdFatal};
    for (size_t i = 0; i < thresholds.size(); ++i) {
        info.*order[i] = thresholds[i];
    }
    sensor.reading.CurrentReading = static_cast<uint32_t>(reading);
    sensor.reading.CurrentState = static_cast<uint32_t>(state);
    return sensor;
}

inline LedSnapshot Led(unsigned long handle, uint16_t kind, uint16_t bitMap,
                       const wchar_t* description, uint8_t state) {
    LedSnapshot led;
    led.handle = handle;
    led.information.Kind = kind;
    led.information.BitMap = bitMap;
    led.information.Description = description;
    led.reading.State = state;
    return led;
}
