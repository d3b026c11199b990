// A sensor's alert state as the machine has it, whoever else polls its
// alerts. The library's state changes only with the alerts this process
// receives; a pending alert goes to whichever process polls first, so beside
// another poller the library's state can stay wrong until the next alert of
// the kind reaches this process. The reading, renewed by every read, is
// compared with the thresholds the service processor asserts at.
#pragma once

#include <cstddef>

#include "snapshot/Snapshot.h"

// 1 (asserted) while the reading lies beyond a critical or non-recoverable
// threshold; 0 while, on every side that has such a threshold, it lies at or
// inside the non-critical one (the service processor's hysteresis is taken
// to be narrower than the gap between the two); otherwise, and whenever the
// reading is not current (`stale`, or its read failed), the library's state.
unsigned long JudgedState(const SensorSnapshot& sensor, bool stale);

// Puts the judged state into every sensor's reading; the number of sensors
// whose state it changed.
size_t JudgeStates(Snapshot& snapshot);
