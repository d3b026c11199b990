// svcproc-monitor --listen: a Prometheus exporter over the library. Each
// scrape reads through the library afresh (its 500 ms cache bounds the
// exchanges however often it is scraped); alerts go to standard output.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>

#include "run/Monitor.h"
#include "run/MonitorOptions.h"
#include "snapshot/Snapshot.h"

constexpr int kExitUnavailable = 69;  // sysexits EX_UNAVAILABLE: cannot listen

// The text of one scrape. Thread-safe: scrapes may overlap; each takes a copy
// of the inventory and reads it on its own thread. While start-up has failed,
// a scrape tries it again, at most once per `retry`, so an exporter started
// before the driver comes up by itself.
class CScrapeSource {
public:
    CScrapeSource(std::function<SERVICE_CODE()> initialise,
                  std::chrono::steady_clock::duration retry, SERVICE_CODE startup);

    std::string Scrape();

    // Called (on the scraping thread) when a retried start-up succeeds.
    std::function<void()> onStarted;

private:
    std::function<SERVICE_CODE()> m_Initialise;
    std::chrono::steady_clock::duration m_Retry;
    std::mutex m_Lock;  // guards what follows
    Snapshot m_Inventory;
    std::chrono::steady_clock::time_point m_LastAttempt;
};

// Serves until `stop` or --duration; the exit status.
int RunExporter(const MonitorOptions& options, const MonitorStreams& streams,
                const std::atomic<bool>& stop, const MonitorHooks& hooks = DefaultMonitorHooks());
