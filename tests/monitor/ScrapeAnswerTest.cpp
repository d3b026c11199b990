// A scrape's answer from the collection's status at a given time: when it
// says svcproc_up 0 and why, the collection's age and durations, and when a
// scrape waits for the collection under way.
#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "exporter/ScrapeAnswer.h"
#include "support/PrometheusText.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

const SteadyClock::time_point kT0 = SteadyClock::time_point() + std::chrono::hours(1);

// Started up, answering, one temperature; collected at kT0 in 5 ms.
CollectionStatus Collected(SERVICE_CODE startup = ServiceCode_Success, bool answering = true) {
    auto snapshot = std::make_shared<Snapshot>();
    snapshot->startup = startup;
    if (startup == ServiceCode_Success) {
        SensorSnapshot sensor;
        sensor.handle = 0x30000;
        sensor.information.Description = L"CPU";
        sensor.information.UnitModifier = -1;  // tenths of a degree
        sensor.reading.CurrentReading = 480;
        snapshot->sensors.push_back(sensor);
        LinkSnapshot link{};
        if (!answering) {
            link.status.Exchanges[ExchangeKind_AlertPoll].ConsecutiveFailures = 30;
        }
        snapshot->link = link;
    }
    CollectionStatus status;
    status.latest = snapshot;
    status.startup = startup;
    status.latestStarted = kT0;
    status.latestDuration = milliseconds(5);
    status.completed = 7;
    return status;
}

std::map<std::string, double> Scraped(const CollectionStatus& status, SteadyClock::time_point now,
                                      const ScrapeLimits& limits = {}) {
    const std::string text = RenderScrape(status, now, limits);
    EXPECT_EQ(PromtoolProblems(text), "") << text;
    return PrometheusSamples(text);
}

TEST(ScrapeAnswer, UpUntilNoCollectionHasCompletedWithinTheIntervalAndTheStallTime) {
    const ScrapeLimits limits;  // 1 s interval, stuck after 2 s
    CollectionStatus status = Collected();
    EXPECT_FALSE(Outdated(status, kT0 + milliseconds(500), limits));
    EXPECT_FALSE(Outdated(status, kT0 + seconds(3), limits)) << "the collector is late, not yet "
                                                                "stale";
    EXPECT_TRUE(Outdated(status, kT0 + milliseconds(3001), limits));
    status.runningSince = kT0 + seconds(1);
    EXPECT_FALSE(Outdated(status, kT0 + seconds(3), limits));
    EXPECT_TRUE(Outdated(status, kT0 + milliseconds(3001), limits)) << "stuck for 2 s";
    ScrapeLimits slow = limits;
    slow.interval = seconds(60);
    EXPECT_TRUE(Outdated(status, kT0 + milliseconds(3001), slow))
        << "a stuck collection, whatever the interval";
    EXPECT_FALSE(Outdated(Collected(), kT0 + seconds(61), slow));
    EXPECT_TRUE(Outdated(CollectionStatus{}, kT0, limits)) << "none completed yet";
}

TEST(ScrapeAnswer, SaysWhySvcprocUpIsZero) {
    struct Case {
        const char* what;
        CollectionStatus status;
        SteadyClock::time_point now;
        double up, startup, notAnswering, stale;
    };
    CollectionStatus stuck = Collected();
    stuck.runningSince = kT0 + seconds(1);
    CollectionStatus none;
    none.startup = ServiceCode_Success;
    none.runningSince = kT0;
    const Case cases[] = {
        {"fresh", Collected(), kT0 + milliseconds(200), 1, 0, 0, 0},
        {"stuck", stuck, kT0 + seconds(4), 0, 0, 0, 1},
        {"start-up failed", Collected(ServiceCode_NoServiceProcessor), kT0, 0, 1, 0, 0},
        {"not answering", Collected(ServiceCode_Success, false), kT0, 0, 0, 1, 0},
        {"no collection yet", none, kT0 + milliseconds(50), 0, 0, 0, 1},
    };
    for (const Case& c : cases) {
        const std::map<std::string, double> samples = Scraped(c.status, c.now);
        EXPECT_EQ(samples.at("svcproc_up"), c.up) << c.what;
        EXPECT_EQ(samples.at(R"(svcproc_down_reason{reason="startup"})"), c.startup) << c.what;
        EXPECT_EQ(samples.at(R"(svcproc_down_reason{reason="not_answering"})"), c.notAnswering)
            << c.what;
        EXPECT_EQ(samples.at(R"(svcproc_down_reason{reason="stale"})"), c.stale) << c.what;
    }
}

TEST(ScrapeAnswer, GivesTheSnapshotsAgeAndTheCollectionsDurations) {
    CollectionStatus status = Collected();
    status.runningSince = kT0 + seconds(1);
    status.judgedStates = 2;
    std::map<std::string, double> samples = Scraped(status, kT0 + milliseconds(9500));
    EXPECT_DOUBLE_EQ(samples.at("svcproc_snapshot_age_seconds"), 9.5);
    EXPECT_DOUBLE_EQ(samples.at("svcproc_collection_duration_seconds"), 0.005);
    EXPECT_DOUBLE_EQ(samples.at("svcproc_collection_running_seconds"), 8.5);
    EXPECT_EQ(samples.at("svcproc_collections_total"), 7);
    EXPECT_EQ(samples.at("svcproc_sensor_states_judged"), 2);
    EXPECT_EQ(samples.at(R"(svcproc_temperature_celsius{id="0x00030000",name="CPU"})"), 48)
        << "the latest complete snapshot's readings, still";

    status.runningSince.reset();
    samples = Scraped(status, kT0 + milliseconds(100));
    EXPECT_EQ(samples.at("svcproc_collection_running_seconds"), 0);

    CollectionStatus none;
    none.startup = ServiceCode_Success;
    samples = Scraped(none, kT0);
    EXPECT_EQ(samples.count("svcproc_snapshot_age_seconds"), 0u) << "no snapshot, no age";
    EXPECT_EQ(samples.at("svcproc_startup_result"), 0);
}

TEST(ScrapeAnswer, WaitsOnlyForACollectionLikelyToEndBeforeTheScrapersDeadline) {
    const ScrapeLimits limits;  // 1 s interval, 100 ms budget and slack, 500 ms margin
    using std::nullopt;
    // The previous collection took 5 ms; this one began at 1 s.
    CollectionStatus running = Collected();
    running.runningSince = kT0 + seconds(1);
    const SteadyClock::time_point likelyEnd = kT0 + milliseconds(1105);
    EXPECT_EQ(ScrapeWaitLimit(running, kT0 + milliseconds(1010), milliseconds(0), limits),
              std::optional(likelyEnd))
        << "no deadline sent: within the budget";
    EXPECT_EQ(ScrapeWaitLimit(running, kT0 + milliseconds(1002), milliseconds(0), limits),
              std::nullopt)
        << "no deadline sent: its likely end is past the budget";
    EXPECT_EQ(ScrapeWaitLimit(running, kT0 + milliseconds(1002), seconds(10), limits),
              std::optional(likelyEnd));
    EXPECT_EQ(ScrapeWaitLimit(running, kT0 + milliseconds(1200), seconds(10), limits), nullopt)
        << "overdue: stuck, most likely";
    EXPECT_EQ(ScrapeWaitLimit(running, kT0 + milliseconds(1002), milliseconds(500), limits),
              nullopt)
        << "a deadline within the margin";
    EXPECT_EQ(ScrapeWaitLimit(Collected(), kT0 + seconds(2), seconds(10), limits), nullopt)
        << "nothing under way";
    CollectionStatus young = running;
    young.latestStarted = kT0 + milliseconds(500);
    EXPECT_EQ(ScrapeWaitLimit(young, kT0 + milliseconds(1002), seconds(10), limits), nullopt)
        << "the snapshot at hand is within the interval";

    // A slow collection (3 s): waited for when the deadline leaves room.
    CollectionStatus slow = running;
    slow.latestDuration = seconds(3);
    EXPECT_EQ(ScrapeWaitLimit(slow, kT0 + seconds(2), seconds(10), limits),
              std::optional(kT0 + milliseconds(4100)));
    EXPECT_EQ(ScrapeWaitLimit(slow, kT0 + seconds(2), milliseconds(2500), limits), nullopt)
        << "it would end after the deadline less the margin";
    EXPECT_EQ(ScrapeWaitLimit(slow, kT0 + seconds(2), milliseconds(0), limits), nullopt)
        << "nor within the budget";

    // The first collection: as one that took no time, with nothing else to serve.
    CollectionStatus first;
    first.runningSince = kT0;
    EXPECT_EQ(ScrapeWaitLimit(first, kT0 + milliseconds(10), milliseconds(0), limits),
              std::optional(kT0 + milliseconds(100)));
    EXPECT_EQ(ScrapeWaitLimit(first, kT0 + milliseconds(10), seconds(10), limits),
              std::optional(kT0 + milliseconds(100)));
    EXPECT_EQ(ScrapeWaitLimit(first, kT0 + milliseconds(150), seconds(10), limits), nullopt)
        << "a first collection that is stuck is not waited for either";
}

}  // namespace
