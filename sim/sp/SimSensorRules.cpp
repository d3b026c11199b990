#include "SimSensorRules.h"

#include "SimProtocol.h"

namespace svcpsim {
namespace {

// value / 10 rounded half away from zero, then clamped to [0, maximum].
uint16_t TenthsToWire(int32_t value, int32_t maximum) {
    if (value <= 0) {
        return 0;
    }
    const int64_t rounded = (static_cast<int64_t>(value) + 5) / 10;
    return static_cast<uint16_t>(rounded > maximum ? maximum : rounded);
}

}  // namespace

uint8_t WireType(SensorKind kind) {
    switch (kind) {
        case SensorKind::Voltage:
            return kCommandReadVoltages;
        case SensorKind::Fan:
            return kCommandReadFans;
        case SensorKind::Temperature:
            return kCommandReadTemperatures;
    }
    return 0;
}

size_t WireWidth(SensorKind kind) {
    return kind == SensorKind::Temperature ? 1 : 2;
}

uint16_t ToWire(SensorKind kind, int32_t value) {
    switch (kind) {
        case SensorKind::Voltage:
            return TenthsToWire(value, 0xFFFF);
        case SensorKind::Fan:
            return static_cast<uint16_t>(value < 0 ? 0 : (value > 0xFFFF ? 0xFFFF : value));
        case SensorKind::Temperature:
            return TenthsToWire(value, 0xFF);
    }
    return 0;
}

size_t MaxSensors(SensorKind kind) {
    return (kMaxResponseLength - 4) / WireWidth(kind);
}

int32_t DefaultHysteresis(SensorKind kind) {
    switch (kind) {
        case SensorKind::Voltage:
            return 50;
        case SensorKind::Fan:
            return 100;
        case SensorKind::Temperature:
            return 20;
    }
    return 0;
}

bool NextAssertion(bool asserted, int32_t reading, const Thresholds& thresholds,
                   int32_t hysteresis) {
    const std::optional<int32_t>& lower = thresholds.lowerCritical;
    const std::optional<int32_t>& upper = thresholds.upperCritical;
    if ((lower && reading < *lower) || (upper && reading > *upper)) {
        return true;
    }
    if (!asserted) {
        return false;
    }
    const int64_t value = reading;
    const bool insideLower = !lower || value >= static_cast<int64_t>(*lower) + hysteresis;
    const bool insideUpper = !upper || value <= static_cast<int64_t>(*upper) - hysteresis;
    return !(insideLower && insideUpper);
}

}  // namespace svcpsim
