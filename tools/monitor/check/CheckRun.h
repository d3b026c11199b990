// --check: one reading of the machine judged as a monitoring plugin answers,
// within --timeout even if the library hangs.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "run/Monitor.h"

// Watches a deadline on a thread of its own. Whoever claims the answer
// first, the run or the watchdog at the deadline, writes it; the other stays
// silent.
class CCheckWatchdog {
public:
    // `expire` runs on the watchdog's thread once the deadline passes before
    // the run claims the answer; it normally writes an UNKNOWN line and ends
    // the process.
    CCheckWatchdog(const MonitorHooks& hooks, std::chrono::steady_clock::time_point deadline,
                   std::function<void()> expire);
    ~CCheckWatchdog();  // stops watching
    CCheckWatchdog(const CCheckWatchdog&) = delete;
    CCheckWatchdog& operator=(const CCheckWatchdog&) = delete;

    // True for the first caller only.
    bool Claim();

private:
    std::atomic<bool> m_bClaimed{false};
    std::atomic<bool> m_bStop{false};
    std::thread m_Thread;
};

// Writes the UNKNOWN line for an expired --timeout and ends the process with
// status 3, without waiting for a library that may never return.
[[noreturn]] void ExpireCheck(FILE* out, double timeoutSeconds);

// Runs the check: start-up, inventory (with options.selection), states
// judged as the exporter judges them, the answer on `streams.out`. Returns
// the plugin's exit status (0 to 3). `expire` replaces ExpireCheck.
int RunCheck(const MonitorOptions& options, const MonitorStreams& streams,
             const MonitorHooks& hooks = DefaultMonitorHooks(),
             std::function<void()> expire = nullptr);
