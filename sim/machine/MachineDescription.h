// A simulated machine as its description file states it, after checking:
// either a whole machine (BIOS, management devices, sensors with their
// behaviour over time, LEDs with what drives them) or a raw SMBIOS table to
// replay. docs/machine-description.md has the file format.
//
// Units. Every SMBIOS field is held in the table's own units, as the words
// the table will carry (std::nullopt: unknown, written as 0x8000):
//   voltage     millivolts; resolution in tenths of a millivolt
//   fan         RPM
//   temperature tenths of a degree Celsius; resolution in thousandths
//   accuracy    hundredths of a percent
// Behaviour values are in the service processor model's units, which are the
// same (millivolts, RPM, tenths of a degree).
//
// Plain data; no invariants beyond what the parser checked.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "SimSensorRules.h"

namespace svcpsim {

constexpr const char* kServiceProcessorDescription = "Orvane Telk Service Processor";

// The six thresholds in SMBIOS Type 36 order.
enum ThresholdIndex : size_t {
    kLowerNonCritical,
    kUpperNonCritical,
    kLowerCritical,
    kUpperCritical,
    kLowerNonRecoverable,
    kUpperNonRecoverable,
    kThresholdCount
};
using ThresholdWords = std::array<std::optional<uint16_t>, kThresholdCount>;

// One scripted change: from `at` seconds on, the value moves to `value`, at
// once (ramp 0) or linearly over `ramp` seconds from wherever it was at `at`.
struct ScriptStep {
    double at = 0;
    double value = 0;
    double ramp = 0;
};

// What a sensor reads over time: `base` until the first step, then the
// script; each reading gets uniform noise in [-noise, +noise].
struct Behaviour {
    double base = 0;
    double noise = 0;
    std::vector<ScriptStep> script;  // ascending `at`
};

struct SensorDescription {
    SensorKind kind = SensorKind::Voltage;
    size_t index = 0;  // the OEM dword's low byte: the position in the kind's reports
    std::string description;
    std::optional<uint16_t> minimum;
    std::optional<uint16_t> maximum;
    std::optional<uint16_t> resolution;
    std::optional<uint16_t> accuracy;
    std::optional<uint16_t> nominal;  // nominal value, or a fan's nominal speed
    ThresholdWords thresholds;
    Behaviour behaviour;
};

// What drives an LED.
struct LedDrive {
    enum class Mode { Off, On, Blink, WhileCritical };
    Mode mode = Mode::Off;
    double period = 1.0;               // Blink: on for the first half of each period
    std::vector<std::string> sensors;  // WhileCritical: descriptions; "*" is every sensor
};

struct LedDescription {
    uint16_t bitMap = 0;
    std::string description;
    LedDrive drive;
};

struct ManagementDeviceDescription {
    std::string description;
    uint32_t address = 0;
    uint8_t addressType = 0x03;  // I/O port
    uint8_t deviceType = 0x01;   // other
};

struct BiosDescription {
    std::string vendor;
    std::string version;
    std::string date;
};

struct MachineDescription {
    std::string name;
    uint32_t seed = 1;  // of the noise
    double repeat = 0;  // > 0: the scenario starts again every `repeat` seconds

    // A raw table to replay (when not empty, the fields below it are unused).
    std::string smbiosTablePath;  // as resolved against the description's directory
    std::vector<uint8_t> smbiosTable;

    BiosDescription bios;
    ManagementDeviceDescription serviceProcessor;
    std::vector<ManagementDeviceDescription> otherDevices;
    // Per kind, at KindIndex; std::nullopt keeps the model's default
    // (DefaultHysteresis).
    std::array<std::optional<int32_t>, kSensorKinds> hysteresis;
    std::vector<SensorDescription> sensors;
    std::vector<LedDescription> leds;

    bool IsReplay() const { return !smbiosTablePath.empty(); }
};

}  // namespace svcpsim
