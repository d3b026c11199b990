// The alert listener's tally in the exporter's metrics: a counter for every
// sensor from the start, both edges of a short excursion counted, the counts
// kept from scrape to scrape, the latest change's time.
#include <chrono>
#include <map>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "exporter/Exporter.h"
#include "exporter/ScrapeAnswer.h"
#include "exporter/SensorChangeTally.h"
#include "monitor/SnapshotSamples.h"
#include "support/PrometheusText.h"

namespace {

const std::string kFan = R"({id="0x00020001",kind="fan",name="Chassis Fan"})";
const std::string kCpu = R"({id="0x00010000",kind="voltage",name="CPU"})";

constexpr Thresholds kInside = {kNa, 0, kNa, kNa, 5000, kNa};
const SteadyClock::time_point kNow = SteadyClock::time_point() + std::chrono::hours(1);

std::map<std::string, double> Scraped(const CollectionStatus& status,
                                      const CSensorChangeTally& tally) {
    const SensorChanges changes = tally.Changes();
    return PrometheusSamples(RenderScrape(status, kNow, {}, &changes));
}

std::chrono::system_clock::time_point At(int64_t milliseconds) {
    return std::chrono::system_clock::time_point(std::chrono::milliseconds(milliseconds));
}

CollectionStatus Collected() {
    auto snapshot = std::make_shared<Snapshot>();
    snapshot->startup = ServiceCode_Success;
    // Both read Ok at every collection: only the tally sees the fan's dip.
    snapshot->sensors = {Sensor(0x10000, L"CPU", 5, -3, 1200, kInside),
                         Sensor(0x20001, L"Chassis Fan", 19, 0, 1800, kInside)};
    CollectionStatus status;
    status.startup = ServiceCode_Success;
    status.latest = snapshot;
    status.latestStarted = kNow;
    status.completed = 1;
    return status;
}

TEST(SensorChanges, ShortExcursionsStayCountedFromScrapeToScrape) {
    const CollectionStatus status = Collected();
    CSensorChangeTally tally;

    std::map<std::string, double> samples = Scraped(status, tally);
    EXPECT_EQ(samples.at("svcproc_sensor_state_changes_total" + kFan), 0) << "there for rate()";
    EXPECT_EQ(samples.at("svcproc_sensor_state_changes_total" + kCpu), 0);
    EXPECT_EQ(samples.count("svcproc_sensor_last_change_timestamp_seconds" + kFan), 0u);

    // Asserted and cleared between two scrapes; and a handle outside the
    // inventory, which no series names.
    tally.Record({At(1767225600100), 0x20001, 1, 300});
    tally.Record({At(1767225603250), 0x20001, 0, 1700});
    tally.Record({At(1767225604000), 0x30009, 1, 0});
    const SensorChanges changes = tally.Changes();
    const std::string text = RenderScrape(status, kNow, {}, &changes);
    EXPECT_EQ(PromtoolProblems(text), "");
    for (int scrape = 0; scrape < 2; ++scrape) {
        samples = Scraped(status, tally);
        EXPECT_EQ(samples.at("svcproc_sensor_state_changes_total" + kFan), 2) << scrape;
        EXPECT_EQ(samples.at("svcproc_sensor_state_changes_total" + kCpu), 0);
        EXPECT_DOUBLE_EQ(samples.at("svcproc_sensor_last_change_timestamp_seconds" + kFan),
                         1767225603.25);
        EXPECT_EQ(samples.at("svcproc_sensor_level" + kFan), 0) << "the reading is back";
    }
    EXPECT_EQ(text.find("0x00030009"), std::string::npos) << text;

    tally.Record({At(1767225700000), 0x20001, 1, 200});
    samples = Scraped(status, tally);
    EXPECT_EQ(samples.at("svcproc_sensor_state_changes_total" + kFan), 3);
    EXPECT_DOUBLE_EQ(samples.at("svcproc_sensor_last_change_timestamp_seconds" + kFan), 1767225700);
}

TEST(SensorChanges, OnlyAScrapeSourceWithAListenerShowsThem) {
    CollectorHooks hooks;
    hooks.now = [] { return kNow; };
    hooks.initialise = [] { return ServiceCode_Success; };
    hooks.takeInventory = [](SERVICE_CODE) { return *Collected().latest; };
    hooks.refresh = [](Snapshot&, const std::function<bool()>&) { return true; };
    CCollector collector(hooks, std::chrono::seconds(1), ServiceCode_Success);
    ASSERT_TRUE(collector.Collect());
    CSensorChangeTally tally;
    tally.Record({At(1000), 0x10000, 1, 0});

    const CScrapeSource withTally(collector, {}, hooks.now, &tally);
    EXPECT_EQ(
        PrometheusSamples(withTally.Scrape({})).at("svcproc_sensor_state_changes_total" + kCpu), 1);
    const CScrapeSource without(collector, {}, hooks.now);
    EXPECT_EQ(without.Scrape({}).find("svcproc_sensor_state_changes_total"), std::string::npos);
}

}  // namespace
