// The monitor's three renderings of a snapshot.
#pragma once

#include <string>

#include "Snapshot.h"

// A table a person reads at a glance; ANSI colour for the state when `color`.
std::string RenderTable(const Snapshot& snapshot, bool color);

// A versioned JSON document for scripts (see README: "JSON output").
std::string RenderJson(const Snapshot& snapshot);
constexpr int kJsonFormatVersion = 1;

// Prometheus text exposition, named as IPMI exporters name their metrics.
std::string RenderPrometheus(const Snapshot& snapshot);
