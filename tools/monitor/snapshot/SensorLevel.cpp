#include "snapshot/SensorLevel.h"

#include <cstdint>

#include "snapshot/Units.h"

namespace {

bool Below(int64_t reading, int32_t threshold) {
    return IsKnown(threshold) && reading < threshold;
}

bool Above(int64_t reading, int32_t threshold) {
    return IsKnown(threshold) && reading > threshold;
}

}  // namespace

SensorLevel LevelOf(const SensorSnapshot& sensor) {
    if (sensor.reading.CurrentState != 0) {
        return SensorLevel::Critical;
    }
    if (sensor.readResult != ServiceCode_Success) {
        return SensorLevel::Ok;
    }
    const CSensorInformation& info = sensor.information;
    const int64_t reading = sensor.reading.CurrentReading;
    // The non-critical thresholds lie inside the critical and fatal ones, but
    // SMBIOS may leave any of them unknown, so each is looked at.
    if (Below(reading, info.LowerThresholdNonCritical) ||
        Below(reading, info.LowerThresholdCritical) || Below(reading, info.LowerThresholdFatal) ||
        Above(reading, info.UpperThresholdNonCritical) ||
        Above(reading, info.UpperThresholdCritical) || Above(reading, info.UpperThresholdFatal)) {
        return SensorLevel::Warning;
    }
    return SensorLevel::Ok;
}

const char* LevelName(SensorLevel level) {
    switch (level) {
        case SensorLevel::Ok:
            return "ok";
        case SensorLevel::Warning:
            return "warning";
        case SensorLevel::Critical:
            break;
    }
    return "critical";
}
