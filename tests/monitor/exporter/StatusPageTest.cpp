// The status page at / and what it reads: the page goes out with its policy
// and the telemetry path filled in; the sensors' document carries the
// exporter's view (stale or not) and the alerts heard, in the sensors' units.
#include <chrono>
#include <memory>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "exporter/MetricsServer.h"
#include "exporter/ScrapeAnswer.h"
#include "exporter/SensorChangeTally.h"
#include "exporter/page/StatusPageData.h"
#include "monitor/SnapshotSamples.h"
#include "support/sockets/RawHttpClient.h"

namespace {

using nlohmann::json;

TEST(StatusPage, ServedWithItsPolicyAndTheTelemetryPath) {
    MetricsRoutes routes;
    routes.telemetryPath = "/probe/metrics";
    routes.sensorsDocument = [] { return std::string("{}\n"); };
    CMetricsServer server([](const ScrapeRequest&) { return std::string("svcproc_up 1\n"); }, {},
                          routes);
    std::string error;
    ASSERT_TRUE(server.Start({"127.0.0.1", 0}, error)) << error;

    for (const char* method : {"GET", "HEAD"}) {
        const RawHttpResponse page =
            Ask(server.Port(), std::string(method) + " / HTTP/1.1\r\n\r\n", *method == 'H');
        SCOPED_TRACE(method);
        EXPECT_EQ(page.status, 200);
        EXPECT_EQ(page.Field("Content-Type"), "text/html; charset=utf-8");
        EXPECT_EQ(page.Field("Content-Security-Policy"), kStatusPagePolicy);
        EXPECT_EQ(page.Field("X-Content-Type-Options"), "nosniff");
        EXPECT_EQ(page.Field("Cache-Control"), "no-store");
    }
    const std::string policy = kStatusPagePolicy;
    EXPECT_NE(policy.find("default-src 'none'"), std::string::npos);
    EXPECT_NE(policy.find("script-src 'sha256-"), std::string::npos);
    EXPECT_EQ(policy.find("unsafe"), std::string::npos);

    const std::string body = Ask(server.Port(), "GET / HTTP/1.1\r\n\r\n").body;
    EXPECT_NE(body.find("href=\"/probe/metrics\""), std::string::npos);
    EXPECT_EQ(body.find("TELEMETRY-PATH"), std::string::npos) << "a mark left in the page";
    EXPECT_EQ(body.find("STATUS-PAGE-"), std::string::npos) << "style or script not put in";
    EXPECT_EQ(
        Ask(server.Port(), "GET /api/v1/sensors HTTP/1.1\r\n\r\n").Field("X-Content-Type-Options"),
        "nosniff");
}

const SteadyClock::time_point kNow = SteadyClock::time_point() + std::chrono::hours(1);

CollectionStatus Collected(SteadyClock::duration age) {
    auto snapshot = std::make_shared<Snapshot>();
    snapshot->startup = ServiceCode_Success;
    snapshot->sensors = {Sensor(0x10000, L"+3.3 V", 5, -3, 3300),
                         Sensor(0x20001, L"Chassis Fan", 19, 0, 1800),
                         Sensor(0x30000, L"CPU <b>Temp</b>", 2, -1, 480)};
    CollectionStatus status;
    status.startup = ServiceCode_Success;
    status.latest = snapshot;
    status.latestStarted = kNow - age;
    status.completed = 1;
    return status;
}

TEST(StatusPage, DocumentSaysWhetherTheReadingsAreStale) {
    ScrapeLimits limits;
    limits.interval = std::chrono::seconds(1);
    const json fresh =
        json::parse(RenderSensorsDocument(Collected(std::chrono::milliseconds(400)), kNow, limits));
    EXPECT_EQ(fresh["exporter"]["stale"], false);
    EXPECT_EQ(fresh["exporter"]["up"], true);
    EXPECT_DOUBLE_EQ(fresh["exporter"]["snapshotAgeSeconds"].get<double>(), 0.4);
    EXPECT_EQ(fresh["sensors"].size(), 3u);

    // A collection stuck on a silent service processor: the snapshot ages.
    CollectionStatus stuck = Collected(std::chrono::seconds(4));
    stuck.runningSince = kNow - std::chrono::milliseconds(3500);
    const json stale = json::parse(RenderSensorsDocument(stuck, kNow, limits));
    EXPECT_EQ(stale["exporter"]["stale"], true);
    EXPECT_EQ(stale["exporter"]["up"], false);
    EXPECT_DOUBLE_EQ(stale["exporter"]["collectionRunningSeconds"].get<double>(), 3.5);
    EXPECT_EQ(stale["sensors"][1]["reading"]["value"], 1800) << "the last readings stay";
}

TEST(StatusPage, RecentAlertsNewestFirstInTheSensorsUnits) {
    CSensorChangeTally tally;
    const auto at = [](int seconds) {
        return std::chrono::system_clock::time_point(std::chrono::seconds(1700000000 + seconds));
    };
    tally.Record(Alert{at(0), 0x20001, 1, 483});
    tally.Record(Alert{at(1), 0x30000, 1, 86});   // whole degrees: ReadSensor's 860
    tally.Record(Alert{at(2), 0x10000, 0, 330});  // 3.30 V: ReadSensor's 3300 mV
    tally.Record(Alert{at(3), 0x20009, 0, 5});    // not in the inventory
    const json alerts = json::parse(RenderSensorsDocument(
        Collected(std::chrono::seconds(0)), kNow, {}, tally.Recent()))["exporter"]["recentAlerts"];
    ASSERT_EQ(alerts.size(), 4u);
    EXPECT_EQ(alerts[0]["id"], "0x00020009");
    EXPECT_EQ(alerts[0]["description"], nullptr);
    EXPECT_EQ(alerts[0]["reading"], nullptr);
    EXPECT_EQ(alerts[1]["state"], "cleared");
    EXPECT_EQ(alerts[1]["reading"]["text"], "3.300 V");
    EXPECT_EQ(alerts[2]["description"], "CPU <b>Temp</b>");
    EXPECT_EQ(alerts[2]["reading"]["value"], 86);
    EXPECT_EQ(alerts[2]["reading"]["raw"], 86);
    EXPECT_EQ(alerts[3]["state"], "asserted");
    EXPECT_EQ(alerts[3]["reading"]["text"], "483 RPM");
    EXPECT_EQ(alerts[3]["time"], "2023-11-14T22:13:20.000Z");

    // Bounded: the oldest go.
    for (int i = 0; i < 30; ++i) {
        tally.Record(Alert{at(10 + i), 0x20001, static_cast<unsigned long>(i % 2), 1000});
    }
    const std::vector<SensorAlert> recent = tally.Recent();
    ASSERT_EQ(recent.size(), CSensorChangeTally::kRecentAlerts);
    EXPECT_EQ(recent.front().at, at(39));
    EXPECT_EQ(recent.back().at, at(20));
    EXPECT_EQ(tally.Changes().at(0x20001).count, 31u) << "the counts are not bounded";
}

}  // namespace
