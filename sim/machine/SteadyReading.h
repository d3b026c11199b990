// A plausible steady reading for a sensor that has no behaviour of its own:
// the replayed machine's sensors, and a described sensor without a base.
// Pure function, thread-safe.
#pragma once

#include <optional>

#include "MachineDescription.h"

namespace svcpsim {

// In the model's units. The first of these that lies inside every known
// threshold (non-critical and critical, lower and upper): the nominal value;
// the middle of the non-critical thresholds; the middle of the critical
// ones; the middle of the readable range; the kind's typical reading (3.3 V,
// 2 000 RPM, 35.0 degrees). When none does, a tenth inside the tightest known
// bound.
double SteadyReading(SensorKind kind, const std::optional<uint16_t>& nominal,
                     const std::optional<uint16_t>& minimum, const std::optional<uint16_t>& maximum,
                     const ThresholdWords& thresholds);

}  // namespace svcpsim
