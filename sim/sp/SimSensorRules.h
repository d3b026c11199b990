// The simulated service processor's sensor rules: kinds, wire units and the
// assertion rule with its hysteresis. Pure functions, thread-safe.
//
// Readings and thresholds are kept in the units of the SMBIOS descriptions:
// millivolts, RPM and tenths of a degree Celsius. On the wire a voltage is a
// 16-bit count of tens of millivolts and a temperature one byte of whole
// degrees (the host multiplies both by 10 in its reads); a fan is its RPM as
// a 16-bit number. Conversion rounds to the nearest wire unit, halves away
// from zero, and clamps to the wire's range (so negative values send 0).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "svcproc/api/SensorHandle.h"

namespace svcpsim {

// The sensor kinds of the library's handles, with their numbers, as a type
// of their own: a simulated sensor is never an LED, and a switch over the
// kinds stays complete.
enum class SensorKind {
    Voltage = HandleKind_Voltage,
    Fan = HandleKind_Fan,
    Temperature = HandleKind_Temperature
};
constexpr size_t kSensorKinds = 3;
constexpr SensorKind kAllSensorKinds[kSensorKinds] = {SensorKind::Voltage, SensorKind::Fan,
                                                      SensorKind::Temperature};

// The handle kind of the kind's sensors; ServiceApi::KindName names it.
constexpr HANDLE_KIND HandleKindOf(SensorKind kind) {
    return static_cast<HANDLE_KIND>(kind);
}
// The kind's place in per-kind arrays: 0 to kSensorKinds - 1.
constexpr size_t KindIndex(SensorKind kind) {
    return static_cast<size_t>(kind) - HandleKind_Voltage;
}

// The read command of the kind, which is also its alert type.
uint8_t WireType(SensorKind kind);
// Bytes per reading on the wire: 2, 2 and 1.
size_t WireWidth(SensorKind kind);
// The reading in wire units.
uint16_t ToWire(SensorKind kind, int32_t value);

// Sensors of a kind that one message can carry: an alert, the longer of the
// two, holds L = 4 + n * width <= 63 bytes: 29 voltages or fans, 59
// temperatures.
size_t MaxSensors(SensorKind kind);
// Sensors with an alert-mask bit: 0..15.
constexpr size_t kMaskedSensors = 16;

// Critical thresholds; an absent one is unknown and never trips.
struct Thresholds {
    std::optional<int32_t> lowerCritical;
    std::optional<int32_t> upperCritical;
};

// The default hysteresis margin per kind: 50 mV, 100 RPM, 2.0 degrees.
int32_t DefaultHysteresis(SensorKind kind);

// The assertion state after a reading, from the state before: asserted as
// soon as the reading is below the lower or above the upper critical
// threshold; once asserted, deasserted only when the reading is back inside
// both known thresholds by at least `hysteresis` (reading >= lower +
// hysteresis and reading <= upper - hysteresis). In between the state holds.
bool NextAssertion(bool asserted, int32_t reading, const Thresholds& thresholds,
                   int32_t hysteresis);

}  // namespace svcpsim
