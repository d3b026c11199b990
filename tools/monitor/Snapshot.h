// One reading of everything the library offers, taken through the exported
// API only.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "svcproc/api/ServiceApi.h"

struct SensorSnapshot {
    unsigned long handle = 0;
    CSensorInformation information;
    SERVICE_CODE readResult = ServiceCode_Success;
    CSensorReading reading{};
    std::chrono::system_clock::time_point readAt;
};

struct LedSnapshot {
    unsigned long handle = 0;
    CLedInformation information;
    SERVICE_CODE readResult = ServiceCode_Success;
    CLedReading reading{};
    std::chrono::system_clock::time_point readAt;
};

struct Snapshot {
    SERVICE_CODE startup = ServiceCode_NotInitialised;
    std::chrono::system_clock::time_point takenAt;
    std::vector<SensorSnapshot> sensors;
    std::vector<LedSnapshot> leds;
};

// Lists and describes every sensor and LED (the inventory never changes after
// start-up, so this is done once).
Snapshot TakeInventory(SERVICE_CODE startup);
// Reads every sensor and LED of the inventory again.
void RefreshReadings(Snapshot& snapshot);
