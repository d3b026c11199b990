// One reading of everything the library offers, taken through the exported
// API only.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "svcproc/api/ServiceApi.h"
#include "svcproc/api/ServiceProcessorStatus.h"

// A sensor or an LED as the library described it, with its latest reading
// and the wall-clock time it was taken.
template <typename Information, typename Reading>
struct EntrySnapshot {
    unsigned long handle = 0;
    Information information;
    SERVICE_CODE readResult = ServiceCode_Success;
    Reading reading{};
    std::chrono::system_clock::time_point readAt;
};

using SensorSnapshot = EntrySnapshot<CSensorInformation, CSensorReading>;
using LedSnapshot = EntrySnapshot<CLedInformation, CLedReading>;

// The link's health as the library reported it after the readings were
// taken, with the wall-clock time that matches its CurrentTick.
struct LinkSnapshot {
    CServiceProcessorStatus status{};
    std::chrono::system_clock::time_point takenAt;
};

// A time when the link reported failures: since when the service processor
// has not answered.
struct OutageSnapshot {
    // The latest accepted response among the exchange kinds that were
    // failing when the outage was first seen; empty when none of them had
    // answered since start-up.
    std::optional<std::chrono::system_clock::time_point> lastAnswer;
};

// What start-up found of the machine (MachineInfo.h), as UTF-8.
struct MachineSnapshot {
    std::string biosVersion;       // SMBIOS Type 0; empty when the table gives none
    std::string serviceProcessor;  // its management device; empty when none was found
};

// An SMBIOS string as UTF-8: kept when it already is; otherwise every byte
// past ASCII, in a code page the monitor cannot know, becomes U+FFFD.
std::string SmbiosText(const std::string& bytes);

struct Snapshot {
    SERVICE_CODE startup = ServiceCode_NotInitialised;
    std::chrono::system_clock::time_point takenAt;
    std::vector<SensorSnapshot> sensors;
    std::vector<LedSnapshot> leds;
    // Empty while the library has not started up.
    std::optional<LinkSnapshot> link;
    // Set while any exchange kind has failures since its last accepted
    // response. Kept from refresh to refresh while the outage lasts, so that
    // its time does not move.
    std::optional<OutageSnapshot> outage;
    // Empty while no start-up has read the SMBIOS table.
    std::optional<MachineSnapshot> machine;
    // How long the last refresh (readings and status) took.
    std::chrono::duration<double> refreshDuration{0};
};

// The service processor answers when no exchange kind has failures since its
// last accepted response.
bool Answering(const LinkSnapshot& link);

// The failures of a kind since its last accepted response.
bool Failing(const LinkSnapshot& link, int exchangeKind);

// The readings of the sensor or LED `handle` may not be current: its kind's
// reads fail, or, for a sensor, the alert poll that keeps its state does.
bool Stale(const Snapshot& snapshot, unsigned long handle);

// Started up and, as far as the library knows, answering: Prometheus's
// svcproc_up.
bool Up(const Snapshot& snapshot);

// The wall-clock time of a kind's last accepted response; empty when none has
// arrived since start-up.
std::optional<std::chrono::system_clock::time_point> LastResponseAt(const LinkSnapshot& link,
                                                                    int exchangeKind);

struct SensorSelection;

// Lists and describes every sensor and LED (the inventory never changes after
// start-up, so this is done once), keeping and renaming those `selection`
// says (SensorSelection.h); renames it refuses are said in `refused`.
Snapshot TakeInventory(SERVICE_CODE startup, const SensorSelection* selection = nullptr,
                       std::vector<std::string>* refused = nullptr);
// Reads every sensor and LED of the inventory again, then the link's status
// (TrackOutage).
void RefreshReadings(Snapshot& snapshot);
// The same, asking `proceed` before each read: a read of a stale kind may
// wait for its exchange, so a caller that must stop promptly stops between
// reads. False, with the snapshot part-read, when `proceed` said no.
bool RefreshReadings(Snapshot& snapshot, const std::function<bool()>& proceed);
// Sets or clears the outage from the snapshot's link; an outage already set
// keeps its time.
void TrackOutage(Snapshot& snapshot);
