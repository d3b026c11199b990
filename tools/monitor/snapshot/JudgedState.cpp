#include "snapshot/JudgedState.h"

#include <cstdint>

#include "snapshot/Units.h"

namespace {

// One side of a sensor's range: its non-critical threshold and the two that
// the service processor asserts beyond.
struct Side {
    int32_t nonCritical;
    int32_t critical;
    int32_t fatal;
};

enum class Verdict { Beyond, Inside, Unknown };

// `beyond(reading, threshold)`: the reading lies past the threshold on this
// side.
template <typename Beyond>
Verdict Judge(int64_t reading, const Side& side, Beyond beyond) {
    const bool critical = IsKnown(side.critical);
    const bool fatal = IsKnown(side.fatal);
    if ((critical && beyond(reading, side.critical)) || (fatal && beyond(reading, side.fatal))) {
        return Verdict::Beyond;
    }
    if (!critical && !fatal) {
        return Verdict::Inside;  // nothing to assert at on this side
    }
    if (IsKnown(side.nonCritical) && !beyond(reading, side.nonCritical)) {
        return Verdict::Inside;
    }
    return Verdict::Unknown;  // between the thresholds: the hysteresis may hold it
}

}  // namespace

unsigned long JudgedState(const SensorSnapshot& sensor, bool stale) {
    const unsigned long library = sensor.reading.CurrentState != 0 ? 1 : 0;
    if (stale || sensor.readResult != ServiceCode_Success) {
        return library;
    }
    const CSensorInformation& info = sensor.information;
    const Side lower{info.LowerThresholdNonCritical, info.LowerThresholdCritical,
                     info.LowerThresholdFatal};
    const Side upper{info.UpperThresholdNonCritical, info.UpperThresholdCritical,
                     info.UpperThresholdFatal};
    if (!IsKnown(lower.critical) && !IsKnown(lower.fatal) && !IsKnown(upper.critical) &&
        !IsKnown(upper.fatal)) {
        return library;  // no threshold the service processor asserts at is known
    }
    const int64_t reading = sensor.reading.CurrentReading;
    const Verdict below = Judge(reading, lower, [](int64_t r, int32_t t) { return r < t; });
    const Verdict above = Judge(reading, upper, [](int64_t r, int32_t t) { return r > t; });
    if (below == Verdict::Beyond || above == Verdict::Beyond) {
        return 1;
    }
    if (below == Verdict::Inside && above == Verdict::Inside) {
        return 0;
    }
    return library;
}

size_t JudgeStates(Snapshot& snapshot) {
    size_t changed = 0;
    for (SensorSnapshot& sensor : snapshot.sensors) {
        const unsigned long judged = JudgedState(sensor, Stale(snapshot, sensor.handle));
        if (judged != (sensor.reading.CurrentState != 0 ? 1u : 0u)) {
            sensor.reading.CurrentState = static_cast<uint32_t>(judged);
            ++changed;
        }
    }
    return changed;
}
