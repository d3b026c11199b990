// svcproc-monitor --listen: a Prometheus exporter over the library. A
// collector reads the machine on a thread of its own at the interval; a
// scrape renders its latest complete snapshot and never calls the library,
// so it answers at once whatever the service processor does. Alerts go to
// standard output.
#pragma once

#include <atomic>
#include <string>

#include "exporter/Collector.h"
#include "exporter/MetricsServer.h"
#include "exporter/ScrapeAnswer.h"
#include "exporter/SensorChangeTally.h"
#include "run/Monitor.h"
#include "run/MonitorOptions.h"

constexpr int kExitUnavailable = 69;  // sysexits EX_UNAVAILABLE: cannot listen

// The text of one scrape, from the collector's status. Thread-safe: scrapes
// may overlap.
class CScrapeSource {
public:
    // `changes`, when given, is the alert listener's tally the scrapes show.
    CScrapeSource(const CCollector& collector, ScrapeLimits limits,
                  std::function<SteadyClock::time_point()> now,
                  const CSensorChangeTally* changes = nullptr);

    std::string Scrape(const ScrapeRequest& request) const;
    // The JSON document of the latest collection with the exporter's view of
    // it (RenderSensorsDocument), at once: no wait, no call into the library.
    std::string SensorsDocument() const;

private:
    const CCollector& m_Collector;
    ScrapeLimits m_Limits;
    std::function<SteadyClock::time_point()> m_Now;
    const CSensorChangeTally* m_pChanges;
};

// The server's limits for --web.max-requests: that many requests answered
// or waiting for a worker at once, and no more workers than that.
MetricsServerLimits ServerLimits(const MonitorOptions& options);

// Serves until `stop` or --duration; the exit status.
int RunExporter(const MonitorOptions& options, const MonitorStreams& streams,
                const std::atomic<bool>& stop, const MonitorHooks& hooks = DefaultMonitorHooks());
