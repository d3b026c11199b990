// svcproc-monitor's run: start-up, inventory, one snapshot or a watch loop.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>

#include "events/EventSink.h"
#include "run/MonitorOptions.h"
#include "terminal/Terminal.h"
#include "svcproc/api/ServiceCode.h"

constexpr int kExitUsage = 64;   // sysexits EX_USAGE
constexpr int kExitOutput = 74;  // sysexits EX_IOERR

struct MonitorStreams {
    FILE* out = stdout;
    FILE* err = stderr;
    ITerminal* terminal = nullptr;  // set when `out` is a terminal
    bool noColor = false;           // NO_COLOR is set and not empty
    IEventSink* events = nullptr;   // the system's log (--system-log); null: none
};

// What a run needs from outside, replaceable by tests: the library's
// start-up and the clock the watch paces itself by.
struct MonitorHooks {
    std::function<SERVICE_CODE()> initialise;
    std::function<std::chrono::steady_clock::time_point()> now;
    // Returns at the time given (or earlier; callers check the clock again).
    std::function<void(std::chrono::steady_clock::time_point)> sleepUntil;
};
// ServiceApi::InitialiseServiceDriver and the steady clock.
MonitorHooks DefaultMonitorHooks();

// The steady clock's duration of `seconds` (--interval, --duration).
std::chrono::steady_clock::duration Seconds(double seconds);

// Says on `err` why start-up failed and what to check: the code, its name,
// its meaning and the advice for it.
void ExplainStartup(FILE* err, SERVICE_CODE startup);

// Sets the logging library's level and file from --log-level and --log-file;
// false, with a message, when the file cannot be opened.
bool ApplyLogOptions(const MonitorOptions& options, const MonitorStreams& streams);

// Runs the monitor against whatever the library finds (the caller has started
// a simulated machine first when asked to). `stop` ends a watch early.
// Returns the process exit status.
int RunMonitor(const MonitorOptions& options, const MonitorStreams& streams,
               const std::atomic<bool>& stop, const MonitorHooks& hooks = DefaultMonitorHooks());
