// Numbers as machine-readable text: the same bytes whatever the process's
// locale (no printf, no iostream), and readings exact in decimal.
#pragma once

#include <cstdint>
#include <string>

// value × 10^exponent written exactly and shortest: 3050, -3 → "3.05";
// 1980, 0 → "1980"; 5, -3 → "0.005"; 12, 2 → "1200"; 0, -3 → "0". An exponent
// beyond ±30 gives "3050e-40", which JSON and Prometheus read the same way.
std::string DecimalText(int64_t value, int32_t exponent);

// The nearest double to value × 10^exponent (one rounding, of the exact
// decimal), so that printing it shortest gives DecimalText back.
double DecimalValue(int64_t value, int32_t exponent);

// The shortest text that reads back as the same double ("0.1", "1e+21");
// "NaN", "+Inf" and "-Inf" as Prometheus writes them.
std::string DoubleText(double value);

std::string IntegerText(int64_t value);
std::string IntegerText(uint64_t value);
