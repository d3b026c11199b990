#pragma once

#include <chrono>
#include <string>

// "2026-12-08T14:05:35.123Z" (UTC, milliseconds).
std::string FormatUtc(std::chrono::system_clock::time_point time);
// "14:05:35" in local time, for alert lines.
std::string FormatLocalClock(std::chrono::system_clock::time_point time);
