// One reading of everything the library offers, taken through the exported
// API only.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "svcproc/api/ServiceApi.h"
#include "svcproc/api/ServiceProcessorStatus.h"

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

// The link's health as the library reported it after the readings were
// taken, with the wall-clock time that matches its CurrentTick.
struct LinkSnapshot {
    CServiceProcessorStatus status{};
    std::chrono::system_clock::time_point takenAt;
};

struct Snapshot {
    SERVICE_CODE startup = ServiceCode_NotInitialised;
    std::chrono::system_clock::time_point takenAt;
    std::vector<SensorSnapshot> sensors;
    std::vector<LedSnapshot> leds;
    // Empty while the library has not started up.
    std::optional<LinkSnapshot> link;
    // How long the last refresh (readings and status) took.
    std::chrono::duration<double> refreshDuration{0};
};

// The service processor answers when no exchange kind has failures since its
// last accepted response.
bool Answering(const LinkSnapshot& link);

// Started up and, as far as the library knows, answering: Prometheus's
// svcproc_up.
bool Up(const Snapshot& snapshot);

// The wall-clock time of a kind's last accepted response; empty when none has
// arrived since start-up.
std::optional<std::chrono::system_clock::time_point> LastResponseAt(const LinkSnapshot& link,
                                                                    int exchangeKind);

// Lists and describes every sensor and LED (the inventory never changes after
// start-up, so this is done once).
Snapshot TakeInventory(SERVICE_CODE startup);
// Reads every sensor and LED of the inventory again.
void RefreshReadings(Snapshot& snapshot);
