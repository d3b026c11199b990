// svcproc-monitor's run: start-up, inventory, one snapshot or a watch loop.
#pragma once

#include <atomic>
#include <cstdio>

#include "MonitorOptions.h"

constexpr int kExitUsage = 64;   // sysexits EX_USAGE
constexpr int kExitOutput = 74;  // sysexits EX_IOERR

struct MonitorStreams {
    FILE* out = stdout;
    FILE* err = stderr;
    bool outIsTerminal = false;
};

// Runs the monitor against whatever the library finds (the caller has started
// a simulated machine first when asked to). `stop` ends a watch early.
// Returns the process exit status.
int RunMonitor(const MonitorOptions& options, const MonitorStreams& streams,
               const std::atomic<bool>& stop);
