// A scrape's answer from the collection's status, without a call into the
// library: the latest complete snapshot, svcproc_up 0 with the reason when it
// is stale, and the collection's own timings. Pure functions of the status
// and the time, so that tests give both.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "exporter/Collector.h"
#include "snapshot/SensorChanges.h"

struct ScrapeLimits {
    // The collector's cadence (--interval).
    SteadyClock::duration interval = std::chrono::seconds(1);
    // A collection running longer than this is stuck: a healthy one takes
    // milliseconds, a read the service processor does not answer 3 s.
    SteadyClock::duration stallAfter = std::chrono::seconds(2);
    // How long a scrape without the scraper's deadline may wait for a
    // collection under way.
    SteadyClock::duration budget = std::chrono::milliseconds(100);
    // Kept from the scraper's deadline for rendering and the network.
    SteadyClock::duration margin = std::chrono::milliseconds(500);
    // How much longer than the previous one a collection may take and still
    // be waited for.
    SteadyClock::duration slack = std::chrono::milliseconds(100);
};

// No collection has completed within the interval and the stall time: none
// yet, the one under way is stuck, or the collector is behind.
bool Outdated(const CollectionStatus& status, SteadyClock::time_point now,
              const ScrapeLimits& limits);

// Until when a scrape arriving at `now` waits for the collection under way;
// empty: answer at once. It waits only when the snapshot it has is older
// than the interval and the collection is likely to end before the scraper's
// deadline (`scraperTimeout`, zero when not sent) less the margin, or within
// the budget without one; likely means within the previous collection's
// duration and the slack (the first collection: within the slack). It never
// waits past that deadline.
std::optional<SteadyClock::time_point> ScrapeWaitLimit(const CollectionStatus& status,
                                                       SteadyClock::time_point now,
                                                       std::chrono::milliseconds scraperTimeout,
                                                       const ScrapeLimits& limits);

// The exposition text: the snapshot's metrics (svcproc_up 0 when Outdated),
// with the alert listener's `changes` when given, then why svcproc_up is 0
// and the collection's age and durations.
std::string RenderScrape(const CollectionStatus& status, SteadyClock::time_point now,
                         const ScrapeLimits& limits, const SensorChanges* changes = nullptr);

// The JSON document of GET /api/v1/sensors: the latest snapshot's (before the
// first, the start-up's result alone) with the exporter's view of it, judged
// as RenderScrape judges svcproc_up, and the listener's `recent` alerts.
std::string RenderSensorsDocument(const CollectionStatus& status, SteadyClock::time_point now,
                                  const ScrapeLimits& limits, std::vector<SensorAlert> recent = {});
