// The series a fleet alerts on: each sensor's level as JSON judges it, the
// inventory and build labels; all of it passes promtool.
#include <map>
#include <regex>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "monitor/SnapshotSamples.h"
#include "render/Formats.h"
#include "support/PrometheusText.h"
#include "svcp_version.h"

namespace {

constexpr Thresholds kNone = {kNa, kNa, kNa, kNa, kNa, kNa};

Snapshot LevelSnapshot() {
    Snapshot snapshot;
    snapshot.startup = ServiceCode_Success;
    snapshot.sensors = {
        // Inside every threshold: ok.
        Sensor(0x10000, L"CPU \"Core\"", 5, -3, 1200, {kNa, 1000, 1100, 1300, 1400, kNa}),
        // Below the lower non-critical one, not asserted: warning.
        Sensor(0x20001, L"Chassis Fan", 19, 0, 900, {kNa, 500, 1000, kNa, kNa, kNa}),
        // Asserted although the reading lies inside: critical.
        Sensor(0x30002, L"Board", 2, -1, 300, {kNa, kNa, kNa, 500, 600, kNa}, 1),
        // Its read failed and the library holds it Ok: ok, as JSON says.
        Sensor(0x30003, L"Ambient", 2, -1, 9999, {kNa, kNa, kNa, 500, 600, kNa}),
        Sensor(0x10004, L"No thresholds", 5, -3, 5000, kNone),
    };
    snapshot.sensors[3].readResult = ServiceCode_DriverUnavailable;
    return snapshot;
}

std::string LevelKey(const nlohmann::json& sensor, const std::string& name) {
    return "svcproc_sensor_level{id=\"" + sensor["id"].get<std::string>() + "\",kind=\"" +
           sensor["kind"].get<std::string>() + "\",name=\"" + name + "\"}";
}

TEST(PrometheusFleetSeries, LevelOfEverySensorMatchesJson) {
    const Snapshot snapshot = LevelSnapshot();
    const std::string text = RenderPrometheus(snapshot);
    const std::map<std::string, double> samples = PrometheusSamples(text);
    const nlohmann::json document = nlohmann::json::parse(RenderJson(snapshot));
    const std::map<std::string, double> levels = {{"ok", 0}, {"warning", 1}, {"critical", 2}};
    const char* const escapedNames[] = {"CPU \\\"Core\\\"", "Chassis Fan", "Board", "Ambient",
                                        "No thresholds"};
    ASSERT_EQ(document["sensors"].size(), 5u);
    std::map<std::string, int> seen;
    for (size_t i = 0; i < document["sensors"].size(); ++i) {
        const nlohmann::json& sensor = document["sensors"][i];
        const std::string key = LevelKey(sensor, escapedNames[i]);
        ASSERT_EQ(samples.count(key), 1u) << key << "\n" << text;
        EXPECT_EQ(samples.at(key), levels.at(sensor["level"].get<std::string>())) << key;
        ++seen[sensor["level"].get<std::string>()];
    }
    // The sample covers every level, so a shifted scale shows.
    EXPECT_EQ(seen, (std::map<std::string, int>{{"critical", 1}, {"ok", 3}, {"warning", 1}}));
    EXPECT_EQ(PromtoolProblems(text), "");
}

TEST(PrometheusFleetSeries, NoLevelsWithoutAnInventory) {
    Snapshot failed;
    failed.startup = ServiceCode_DriverUnavailable;
    const std::string text = RenderPrometheus(failed);
    EXPECT_EQ(text.find("svcproc_sensor_level"), std::string::npos);
    EXPECT_EQ(PromtoolProblems(text), "");
}

TEST(PrometheusFleetSeries, BuildInfoNamesTheRevisionAndCompiler) {
    // "unknown" when configured outside a git checkout.
    EXPECT_TRUE(std::regex_match(SVCP_REVISION, std::regex("[0-9a-f]{12}|unknown")))
        << SVCP_REVISION;
    EXPECT_TRUE(std::regex_match(SVCP_COMPILER, std::regex("(GNU|Clang) [0-9][0-9.]*")))
        << SVCP_COMPILER;
    const std::map<std::string, double> samples = PrometheusSamples(RenderPrometheus(Snapshot()));
    EXPECT_EQ(samples.at("svcproc_build_info{version=\"" SVCP_VERSION_TEXT
                         "\",revision=\"" SVCP_REVISION "\",compiler=\"" SVCP_COMPILER "\"}"),
              1);
}

}  // namespace
