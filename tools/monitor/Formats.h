// The monitor's three renderings of a snapshot.
#pragma once

#include <string>

#include "Snapshot.h"

// A table a person reads at a glance; ANSI colour for the state when `color`.
std::string RenderTable(const Snapshot& snapshot, bool color);

// A versioned JSON document for scripts (docs/monitor.md, "JSON"): pretty,
// or compact on one line for NDJSON streams. Either ends with a line feed.
enum class JsonLayout { Pretty, Compact };
std::string RenderJson(const Snapshot& snapshot, JsonLayout layout = JsonLayout::Pretty);
constexpr int kJsonFormatVersion = 2;

// Prometheus text exposition, named as IPMI exporters name their metrics.
std::string RenderPrometheus(const Snapshot& snapshot);
