// A sensor's scripted value over time (MachineDescription.h has the
// Behaviour). Pure function, thread-safe.
#pragma once

#include "MachineDescription.h"

namespace svcpsim {

// The value at `seconds` without noise: `base` before the first step; at
// each step the value moves to the step's value, at once or linearly over
// its ramp starting from the value the script had at the step's time (so a
// step that interrupts a ramp starts from where the ramp had got to).
double ScriptedValue(const Behaviour& behaviour, double seconds);

}  // namespace svcpsim
