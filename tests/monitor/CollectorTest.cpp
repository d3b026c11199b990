// The exporter's collector on a clock the test moves: collections at the
// interval without bursts after a slow one, the start-up retried at each
// collection until it succeeds, a stop that publishes nothing half-read; and
// a scrape that waits for the collection under way getting it.
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "exporter/Collector.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

// A machine and a clock that only move when the collector reads or sleeps.
struct FakeRun {
    SteadyClock::time_point now = SteadyClock::time_point() + std::chrono::hours(1);
    SERVICE_CODE initialiseResult = ServiceCode_Success;
    int initialised = 0;
    std::vector<SteadyClock::time_point> inventories;
    std::vector<SteadyClock::time_point> refreshes;
    std::vector<SteadyClock::duration> refreshTakes;  // by refresh, then 1 ms
    size_t stopAfter = 3;                             // collections, then Stop()
    CCollector* collector = nullptr;
    std::function<void()> duringRefresh;

    CollectorHooks Hooks() {
        CollectorHooks hooks;
        hooks.now = [this] { return now; };
        hooks.sleepUntil = [this](SteadyClock::time_point until) {
            EXPECT_GT(until, now) << "a sleep that does not move time spins";
            now = std::max(now, until);
        };
        hooks.initialise = [this] {
            ++initialised;
            return initialiseResult;
        };
        hooks.takeInventory = [this](SERVICE_CODE startup) {
            inventories.push_back(now);
            now += milliseconds(2);
            Snapshot snapshot;
            snapshot.startup = startup;
            Collected();
            return snapshot;
        };
        hooks.refresh = [this](Snapshot&, const std::function<bool()>& proceed) {
            const size_t index = refreshes.size();
            refreshes.push_back(now);
            if (duringRefresh) {
                duringRefresh();
            }
            now += index < refreshTakes.size() ? refreshTakes[index] : milliseconds(1);
            Collected();
            return proceed();
        };
        return hooks;
    }

    void Collected() {
        if (inventories.size() + refreshes.size() >= stopAfter) {
            collector->Stop();
        }
    }
};

TEST(Collector, CollectsAtTheIntervalAndStartsAtOnceAfterASlowCollection) {
    FakeRun run;
    run.stopAfter = 7;
    run.refreshTakes = {milliseconds(1), milliseconds(2500)};
    const SteadyClock::time_point t0 = run.now;
    CCollector collector(run.Hooks(), seconds(1), ServiceCode_Success);
    run.collector = &collector;
    CollectionStatus during;
    run.duringRefresh = [&] {
        if (run.refreshes.size() == 2) {
            during = collector.Status();
        }
    };
    collector.Run();

    ASSERT_EQ(run.inventories.size(), 1u);
    EXPECT_EQ(run.inventories[0], t0) << "the first collection at once, the inventory";
    const std::vector<SteadyClock::time_point> expected = {
        t0 + seconds(1), t0 + seconds(2),
        // The one at 2 s took 2.5 s: the next at once, then on the new beat.
        t0 + milliseconds(4500), t0 + milliseconds(5500), t0 + milliseconds(6500),
        t0 + milliseconds(7500)};
    EXPECT_EQ(run.refreshes, expected);
    EXPECT_EQ(run.initialised, 0) << "start-up had succeeded";

    // Seen from a scrape during the slow collection: the previous one.
    ASSERT_TRUE(during.runningSince.has_value());
    EXPECT_EQ(*during.runningSince, t0 + seconds(2));
    EXPECT_EQ(during.completed, 2u);
    EXPECT_EQ(during.latestStarted, t0 + seconds(1));
    EXPECT_EQ(during.latestDuration, milliseconds(1));

    const CollectionStatus after = collector.Status();
    EXPECT_FALSE(after.runningSince.has_value());
    EXPECT_EQ(after.completed, 6u) << "the last one was stopped before its end";
}

TEST(Collector, RetriesAFailedStartUpAtEachCollectionUntilItSucceeds) {
    FakeRun run;
    run.stopAfter = 6;
    run.initialiseResult = ServiceCode_NoServiceProcessor;
    const SteadyClock::time_point t0 = run.now;
    int started = 0;
    // The third retry succeeds.
    std::vector<SERVICE_CODE> startups;
    CollectorHooks hooks = run.Hooks();
    hooks.takeInventory = [&, inner = hooks.takeInventory](SERVICE_CODE startup) {
        startups.push_back(startup);
        if (startups.size() == 3) {
            run.initialiseResult = ServiceCode_Success;
        }
        return inner(startup);
    };
    CCollector retrying(hooks, seconds(1), ServiceCode_DriverUnavailable);
    run.collector = &retrying;
    retrying.onStarted = [&] { ++started; };
    retrying.Run();

    EXPECT_EQ(startups, (std::vector<SERVICE_CODE>{
                            ServiceCode_DriverUnavailable, ServiceCode_NoServiceProcessor,
                            ServiceCode_NoServiceProcessor, ServiceCode_Success}))
        << "the first collection shows the start-up already made, without retrying it";
    EXPECT_EQ(run.initialised, 3);
    EXPECT_EQ(run.inventories, (std::vector<SteadyClock::time_point>{
                                   t0, t0 + seconds(1), t0 + seconds(2), t0 + seconds(3)}))
        << "one retry per interval";
    EXPECT_EQ(started, 1);
    EXPECT_EQ(run.refreshes.size(), 2u) << "started: readings from then on";
    EXPECT_EQ(retrying.Status().latest->startup, ServiceCode_Success);
}

TEST(Collector, AStopDuringACollectionPublishesNothingHalfRead) {
    FakeRun run;
    run.stopAfter = 100;
    CCollector collector(run.Hooks(), seconds(1), ServiceCode_Success);
    run.collector = &collector;
    ASSERT_TRUE(collector.Collect());  // the inventory
    run.duringRefresh = [&] { collector.Stop(); };
    EXPECT_FALSE(collector.Collect());
    const CollectionStatus status = collector.Status();
    EXPECT_EQ(status.completed, 1u);
    EXPECT_FALSE(status.runningSince.has_value());
}

TEST(Collector, AWaitingScrapeGetsTheCollectionUnderWay) {
    // On the real clock: the time logic is above; this is the hand-over
    // between threads.
    std::promise<void> entered;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    bool first = true;
    CollectorHooks hooks;
    hooks.now = [] { return SteadyClock::now(); };
    hooks.sleepUntil = [](SteadyClock::time_point until) { std::this_thread::sleep_until(until); };
    hooks.initialise = [] { return ServiceCode_Success; };
    hooks.takeInventory = [](SERVICE_CODE startup) {
        Snapshot snapshot;
        snapshot.startup = startup;
        return snapshot;
    };
    hooks.refresh = [&](Snapshot&, const std::function<bool()>&) {
        if (first) {
            first = false;
            entered.set_value();
            released.wait();
        }
        return true;
    };
    CCollector collector(hooks, milliseconds(1), ServiceCode_Success);
    collector.Start();
    entered.get_future().wait();
    const CollectionStatus before = collector.Status();
    ASSERT_TRUE(before.runningSince.has_value());
    EXPECT_EQ(before.completed, 1u);
    // A deadline already past: the status at once.
    EXPECT_EQ(collector.WaitForCollection(before.completed, SteadyClock::now()).completed, 1u);

    auto waiting = std::async(std::launch::async, [&] {
        return collector.WaitForCollection(before.completed, SteadyClock::now() + seconds(60));
    });
    release.set_value();
    const CollectionStatus after = waiting.get();
    EXPECT_GE(after.completed, 2u);
    collector.Stop();
}

}  // namespace
