// The check plugin's answer: one status line naming the sensors in trouble,
// the performance data of every sensor after its '|', optionally one line
// per sensor and LED below, and the exit status the monitoring agent reads.
#pragma once

#include <string>

#include "snapshot/Snapshot.h"

// Monitoring plugin exit statuses.
enum CheckStatus { Check_Ok = 0, Check_Warning = 1, Check_Critical = 2, Check_Unknown = 3 };

struct CheckStyle {
    bool warningOnly = false;  // a critical sensor is reported as a warning
    bool verbose = false;      // a line per sensor and LED after the status line
};

struct CheckResult {
    CheckStatus status = Check_Unknown;
    std::string text;  // ends with a line feed
};

// "OK", "WARNING", "CRITICAL", "UNKNOWN".
const char* CheckStatusName(CheckStatus status);

// An UNKNOWN answer saying `reason`.
CheckResult UnknownResult(const std::string& reason);

// The answer for a snapshot whose states have been judged: UNKNOWN when
// start-up failed, the service processor does not answer, or no sensor is
// left to judge; else the worst sensor level (SensorLevel.h).
CheckResult ReportCheck(const Snapshot& snapshot, const CheckStyle& style);
