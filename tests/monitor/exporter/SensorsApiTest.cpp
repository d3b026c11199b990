// GET /api/v1/sensors: the monitor's JSON document from the latest
// collection, served beside /metrics without a call into the library.
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "exporter/Exporter.h"
#include "exporter/MetricsServer.h"
#include "monitor/SnapshotSamples.h"
#include "render/Formats.h"
#include "support/sockets/RawHttpClient.h"

namespace {

TEST(SensorsApi, ServesTheDocumentForGetAndHeadOnly) {
    int calls = 0;
    MetricsRoutes routes;
    routes.sensorsDocument = [&calls] {
        ++calls;
        return std::string("{\"formatVersion\":2}\n");
    };
    CMetricsServer server([](const ScrapeRequest&) { return std::string("svcproc_up 1\n"); }, {},
                          routes);
    std::string error;
    ASSERT_TRUE(server.Start({"127.0.0.1", 0}, error)) << error;

    const RawHttpResponse got = Ask(server.Port(), "GET /api/v1/sensors?x=1 HTTP/1.1\r\n\r\n");
    EXPECT_EQ(got.status, 200);
    EXPECT_EQ(got.Field("Content-Type"), "application/json; charset=utf-8");
    EXPECT_EQ(got.body, "{\"formatVersion\":2}\n");
    const RawHttpResponse head = Ask(server.Port(), "HEAD /api/v1/sensors HTTP/1.1\r\n\r\n", true);
    EXPECT_EQ(head.status, 200);
    EXPECT_EQ(head.Field("Content-Length"), "20");
    EXPECT_EQ(head.body, "");
    EXPECT_EQ(Ask(server.Port(), "POST /api/v1/sensors HTTP/1.1\r\n\r\n").status, 405);
    EXPECT_EQ(Ask(server.Port(), "GET /api/v1/sensor HTTP/1.1\r\n\r\n").status, 404);
    EXPECT_EQ(calls, 2);

    CMetricsServer without([](const ScrapeRequest&) { return std::string(); });
    ASSERT_TRUE(without.Start({"127.0.0.1", 0}, error)) << error;
    EXPECT_EQ(Ask(without.Port(), "GET /api/v1/sensors HTTP/1.1\r\n\r\n").status, 404);
}

TEST(SensorsApi, DocumentIsTheLatestCollectionsWithoutReadingAgain) {
    int refreshes = 0;
    CollectorHooks hooks;
    SteadyClock::time_point now = SteadyClock::time_point() + std::chrono::hours(1);
    hooks.now = [&now] { return now; };
    hooks.sleepUntil = [&now](SteadyClock::time_point until) { now = until; };
    hooks.initialise = [] { return ServiceCode_Success; };
    hooks.takeInventory = [](SERVICE_CODE startup) {
        Snapshot snapshot;
        snapshot.startup = startup;
        snapshot.sensors = {
            Sensor(0x20001, L"Chassis Fan", 19, 0, 300, {kNa, 400, kNa, kNa, kNa, kNa})};
        return snapshot;
    };
    hooks.refresh = [&refreshes](Snapshot& snapshot, const std::function<bool()>&) {
        ++refreshes;
        snapshot.sensors[0].reading.CurrentReading = 1800;
        return true;
    };
    CCollector collector(hooks, std::chrono::seconds(1), ServiceCode_DriverUnavailable);
    const CScrapeSource source(collector, {}, hooks.now);

    // Before the first collection: the start-up's result and no sensors.
    nlohmann::json before = nlohmann::json::parse(source.SensorsDocument());
    EXPECT_EQ(before["startup"]["result"], 6) << before.dump();
    EXPECT_TRUE(before["sensors"].empty());
    EXPECT_EQ(before["exporter"]["snapshotAgeSeconds"], nullptr);

    CCollector started(hooks, std::chrono::seconds(1), ServiceCode_Success);
    const CScrapeSource startedSource(started, {}, hooks.now);
    ASSERT_TRUE(started.Collect());
    ASSERT_TRUE(started.Collect());
    const int refreshed = refreshes;
    const std::string document = startedSource.SensorsDocument();
    // --format json's document, with the exporter's view added.
    nlohmann::json plain = nlohmann::json::parse(document);
    EXPECT_EQ(plain["exporter"]["stale"], false);
    plain.erase("exporter");
    EXPECT_EQ(plain, nlohmann::json::parse(RenderJson(*started.Status().latest)));
    EXPECT_EQ(nlohmann::json::parse(document)["sensors"][0]["reading"]["raw"], 1800);
    EXPECT_EQ(startedSource.SensorsDocument(), document);
    EXPECT_EQ(refreshes, refreshed) << "a request must not read the machine";
}

}  // namespace
