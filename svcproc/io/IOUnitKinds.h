// What differs between the three sensor kinds in reads and alerts.
#pragma once

#include <cstdint>

#include "svcproc/io/IOUnit.h"

struct CIOUnit::KindRules {
    uint8_t command;            // read command, also the alert type
    bool wide;                  // 16-bit readings (voltages, fans) or bytes (temperatures)
    LONG scale;                 // raw reading to the units of the cache
    const char* readLine;       // "CIOUnit::ReadVoltages"
    const char* wrongTypeLine;  // "... - Type 0x%02x not Voltage"
    const char* readCountLine;  // nullptr: no cross-check
    const char* alertCountLine;
    const char* collectedLine;
    const char* invalidListenerLine;
};
