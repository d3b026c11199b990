// The monitor's three renderings of a snapshot.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "snapshot/SensorChanges.h"
#include "snapshot/Snapshot.h"

struct TableStyle {
    bool color = false;   // ANSI colour for states and LEDs
    size_t maxWidth = 0;  // columns available; 0: no limit (the full layout)
    // A failed start-up that a watch retries: how often, and when next.
    double retrySeconds = 0;  // 0: not retried
    std::chrono::system_clock::time_point nextRetry;
};

// A table a person reads at a glance. Below the full layout's width columns
// are left out (the non-recoverable thresholds first) and the description is
// shortened; column widths depend only on the inventory and the readings'
// digits, never on states.
std::string RenderTable(const Snapshot& snapshot, const TableStyle& style);
// The full layout, uncoloured or coloured.
std::string RenderTable(const Snapshot& snapshot, bool color);

// A rendering's lines, without their line feeds.
std::vector<std::string> SplitLines(const std::string& text);

// A versioned JSON document for scripts (docs/monitor.md, "JSON"): pretty,
// or compact on one line for NDJSON streams. Either ends with a line feed.
enum class JsonLayout { Pretty, Compact };
std::string RenderJson(const Snapshot& snapshot, JsonLayout layout = JsonLayout::Pretty);
constexpr int kJsonFormatVersion = 2;

// What the exporter knows beyond one snapshot, for its GET /api/v1/sensors.
struct ExporterView {
    bool up = false;                           // what svcproc_up says now
    bool stale = false;                        // no collection completed lately (one is stuck)
    std::optional<double> snapshotAgeSeconds;  // empty before the first collection
    double collectionRunningSeconds = 0;       // 0 when none is under way
    std::vector<SensorAlert> recentAlerts;     // newest first
};
// The same document with an "exporter" member added: every other member is
// as above, so readers of the plain document read this one too.
std::string RenderJson(const Snapshot& snapshot, const ExporterView& exporter,
                       JsonLayout layout = JsonLayout::Pretty);

// Prometheus text exposition, named as IPMI exporters name their metrics.
std::string RenderPrometheus(const Snapshot& snapshot);
// The same with svcproc_up given: the exporter also judges the snapshot's age.
std::string RenderPrometheus(const Snapshot& snapshot, bool up);
// The same with the alert listener's tally: a change counter for every
// sensor of the inventory (0 until its first alert) and the time of the
// latest change.
std::string RenderPrometheus(const Snapshot& snapshot, bool up, const SensorChanges& changes);
