// How worrying a sensor is, as a person reading the monitor needs to know:
// the library's alert state says only Ok or Critical; a reading past a
// non-critical threshold is a warning the monitor works out itself.
#pragma once

#include "snapshot/Snapshot.h"

enum class SensorLevel { Ok, Warning, Critical };

// Critical when the library reports the sensor asserted; else Warning when
// its reading lies beyond any known threshold (below a lower one, above an
// upper one); else Ok. A sensor whose read failed is judged by its state.
SensorLevel LevelOf(const SensorSnapshot& sensor);

// "ok", "warning", "critical".
const char* LevelName(SensorLevel level);
