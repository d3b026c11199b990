// Performance data as monitoring plugins write it after the '|' of their
// status line: 'label'=value[UOM];[warn];[crit];[min];[max], numbers in
// plain decimals (no exponent, a point whatever the locale).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "snapshot/Snapshot.h"

// The label quoted: ' doubled, '=' (which ends a label for some readers)
// as '_', '|' as '/', control characters as blanks.
std::string PerfLabel(const std::string& text);

// value × 10^exponent as a plain decimal; empty when it cannot be written
// without an exponent.
std::string PerfNumber(int64_t value, int32_t exponent);

// A range that alerts outside [low, high]: "low:high", "~:high" (no lower
// bound), "low:" (no upper bound), "" (neither). Unknown SMBIOS values are
// no bound.
std::string PerfRange(int32_t low, int32_t high, int32_t exponent);

// One sensor's performance data under `label` (PerfLabel is applied): the
// reading in base units ("U" when it could not be read), warn from the
// non-critical thresholds, crit from the critical ones (a side without one
// takes its non-recoverable threshold), min and max from the readable
// limits. Readings here carry no unit of measure: volts, RPM and degrees are
// not among the ones the plugin guidelines allow. Trailing empty fields are
// left out.
std::string SensorPerfData(const SensorSnapshot& sensor, const std::string& label);
