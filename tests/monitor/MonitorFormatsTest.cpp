// The monitor's renderings of a snapshot: human units, unknown thresholds,
// and JSON and Prometheus output that parse back.
#include <cctype>
#include <chrono>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "SnapshotSamples.h"
#include "render/Formats.h"
#include "run/MonitorOptions.h"
#include "snapshot/ServiceCodeAdvice.h"
#include "snapshot/Units.h"
#include "support/PrometheusText.h"
#include "svcp_version.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

CSensorInformation Units(uint16_t baseUnits, int32_t modifier) {
    CSensorInformation information;
    information.BaseUnits = baseUnits;
    information.UnitModifier = modifier;
    return information;
}

TEST(MonitorUnits, ReadingsInHumanUnits) {
    EXPECT_EQ(FormatValue(3300, Units(5, -3)), "3.300 V");
    EXPECT_EQ(FormatValue(12000, Units(5, -3)), "12.000 V");
    EXPECT_EQ(FormatValue(5, Units(5, -3)), "0.005 V");
    EXPECT_EQ(FormatValue(1980, Units(19, 0)), "1980 RPM");
    EXPECT_EQ(FormatValue(655350, Units(19, 0)), "655350 RPM");
    EXPECT_EQ(FormatValue(415, Units(2, -1)), "41.5 \u00B0C");
    EXPECT_EQ(FormatValue(-25, Units(2, -1)), "-2.5 \u00B0C");
    EXPECT_EQ(FormatThreshold(kSensorValueUnknown, Units(5, -3)), "na");
    EXPECT_EQ(FormatThreshold(65535, Units(5, -3)), "65.535 V");
    EXPECT_DOUBLE_EQ(ToBaseUnits(3300, -3), 3.3);
}

Snapshot SampleSnapshot() {
    Snapshot snapshot;
    snapshot.startup = ServiceCode_Success;
    snapshot.sensors = {
        Sensor(0x10000, L"CPU \"Core\"", 5, -3, 1200, {0, kNa, 0, 0, 1400, 0}),
        Sensor(0x20001, L"Chassis Fan", 19, 0, 300, {0, 400, 0, 0, kNa, 0}, 1),
    };
    snapshot.leds = {Led(0x40004, 5, 4, L"Disk", 1)};
    return snapshot;
}

TEST(MonitorFormats, TableShowsUnitsStatesAndUnknownThresholdsAsNa) {
    const std::string table = RenderTable(SampleSnapshot(), false);
    EXPECT_THAT(table, HasSubstr("1.200 V"));
    EXPECT_THAT(table, HasSubstr("Critical"));
    EXPECT_THAT(table, HasSubstr("na"));
    EXPECT_THAT(table, HasSubstr("Disk"));
    EXPECT_THAT(table, Not(HasSubstr("-2147483648")));
    EXPECT_THAT(table, Not(HasSubstr("\033[")));  // no colour when not asked
    EXPECT_THAT(RenderTable(SampleSnapshot(), true), HasSubstr("\033[1;31mCritical"));
}

TEST(MonitorFormats, JsonIsVersionedWithNullForUnknownValues) {
    const nlohmann::json document = nlohmann::json::parse(RenderJson(SampleSnapshot()));
    EXPECT_EQ(document["version"], 2);
    EXPECT_EQ(document["startup"]["result"], 0);
    ASSERT_EQ(document["sensors"].size(), 2u);
    const nlohmann::json& voltage = document["sensors"][0];
    EXPECT_EQ(voltage["description"], "CPU \"Core\"");
    EXPECT_EQ(voltage["kind"], "voltage");
    EXPECT_DOUBLE_EQ(voltage["reading"]["value"].get<double>(), 1.2);
    EXPECT_TRUE(voltage["information"]["lowerThresholdCritical"].is_null());
    EXPECT_EQ(voltage["information"]["upperThresholdCritical"], 1400);
    EXPECT_EQ(voltage["thresholds"]["upperCritical"]["raw"], 1400);
    EXPECT_EQ(voltage["thresholds"]["upperCritical"]["value"], 1.4);
    EXPECT_TRUE(voltage["thresholds"]["lowerCritical"].is_null());
    EXPECT_EQ(document["sensors"][1]["state"], "critical");
    EXPECT_EQ(document["sensors"][1]["level"], "critical");
    EXPECT_EQ(document["sensors"][1]["reading"]["value"], 300);
    EXPECT_TRUE(document["sensors"][1]["reading"]["value"].is_number_integer()) << "RPM: 300";
    EXPECT_EQ(document["leds"][0]["on"], true);
    EXPECT_EQ(document["leds"][0]["kind"], "led");
    EXPECT_EQ(document["leds"][0]["information"]["kind"], 5);
    EXPECT_TRUE(document["sensors"][0]["readAt"].is_string());
    EXPECT_TRUE(document["serviceProcessor"].is_null()) << "no status taken";
}

// Every object key in the document, at any depth, below "information" too.
void CollectKeys(const nlohmann::json& value, std::vector<std::string>& keys) {
    if (value.is_object()) {
        for (const auto& [key, member] : value.items()) {
            keys.push_back(key);
            CollectKeys(member, keys);
        }
    } else if (value.is_array()) {
        for (const nlohmann::json& member : value) {
            CollectKeys(member, keys);
        }
    }
}

TEST(MonitorFormats, JsonNamesAreCamelCaseEverywhere) {
    Snapshot snapshot = SampleSnapshot();
    snapshot.link = LinkSnapshot{};
    std::vector<std::string> keys;
    CollectKeys(nlohmann::json::parse(RenderJson(snapshot)), keys);
    ASSERT_GT(keys.size(), 60u);
    for (const std::string& key : keys) {
        EXPECT_TRUE(std::islower(static_cast<unsigned char>(key[0]))) << key;
        EXPECT_EQ(key.find_first_of("_- "), std::string::npos) << key;
    }
}

// 3.05 V is 3050 mV: exact in decimal, not 3050 * 0.001.
TEST(MonitorFormats, ReadingsAreExactInDecimal) {
    Snapshot snapshot = SampleSnapshot();
    snapshot.sensors[0].reading.CurrentReading = 3050;
    snapshot.sensors[0].information.UpperThresholdCritical = 3465;
    const std::string json = RenderJson(snapshot);
    EXPECT_THAT(json, HasSubstr("\"value\": 3.05\n"));
    EXPECT_THAT(json, HasSubstr("\"value\": 3.465\n"));
    EXPECT_THAT(json, Not(HasSubstr("000000")));
    const std::string prometheus = RenderPrometheus(snapshot);
    EXPECT_THAT(prometheus, HasSubstr("name=\"CPU \\\"Core\\\"\"} 3.05\n"));
    EXPECT_THAT(prometheus, HasSubstr("threshold=\"upper_critical\"} 3.465\n"));
}

TEST(MonitorFormats, CompactJsonIsOneDocumentPerLine) {
    Snapshot snapshot = SampleSnapshot();
    snapshot.sensors[0].information.Description = L"two\nlines";
    const std::string pretty = RenderJson(snapshot);
    const std::string compact = RenderJson(snapshot, JsonLayout::Compact);
    ASSERT_FALSE(compact.empty());
    EXPECT_EQ(compact.find('\n'), compact.size() - 1);
    EXPECT_EQ(nlohmann::json::parse(compact), nlohmann::json::parse(pretty));
}

CServiceProcessorStatus Answering() {
    CServiceProcessorStatus status{};
    status.PollingThreadRunning = true;
    status.CurrentTick = 100000;
    for (CExchangeStatus& exchange : status.Exchanges) {
        exchange.Tried = 40;
        exchange.Failed = 2;
        exchange.HasResponded = true;
        exchange.LastResponseTick = 99900;
    }
    return status;
}

Snapshot WithLink(const CServiceProcessorStatus& status) {
    Snapshot snapshot = SampleSnapshot();
    // 2026-01-01T00:00:00.500Z
    snapshot.link = LinkSnapshot{
        status, std::chrono::system_clock::time_point(std::chrono::milliseconds(1767225600500))};
    return snapshot;
}

TEST(MonitorFormats, JsonShowsTheServiceProcessorLinkInBaseUnits) {
    CServiceProcessorStatus status = Answering();
    status.Exchanges[ExchangeKind_Fans].ConsecutiveFailures = 3;
    status.Exchanges[ExchangeKind_Fans].Failed = 9;
    status.Exchanges[ExchangeKind_Fans].LastResponseTick = 100000 - 2250;
    status.Exchanges[ExchangeKind_Leds].HasResponded = false;
    const nlohmann::json document = nlohmann::json::parse(RenderJson(WithLink(status)));
    const nlohmann::json& link = document["serviceProcessor"];
    EXPECT_EQ(link["answering"], false);
    EXPECT_EQ(link["pollingThreadRunning"], true);
    const nlohmann::json& fans = link["exchanges"]["fans"];
    EXPECT_EQ(fans["tried"], 40);
    EXPECT_EQ(fans["failed"], 9);
    EXPECT_EQ(fans["consecutiveFailures"], 3);
    EXPECT_EQ(fans["secondsSinceLastResponse"], 2.25);
    EXPECT_EQ(fans["lastResponse"], "2025-12-31T23:59:58.250Z");
    EXPECT_EQ(link["exchanges"]["voltages"]["secondsSinceLastResponse"], 0.1);
    EXPECT_TRUE(link["exchanges"]["leds"]["lastResponse"].is_null());
    EXPECT_TRUE(link["exchanges"]["leds"]["secondsSinceLastResponse"].is_null());
    EXPECT_EQ(link["exchanges"]["alertPoll"]["consecutiveFailures"], 0);

    status.Exchanges[ExchangeKind_Fans].ConsecutiveFailures = 0;
    EXPECT_EQ(nlohmann::json::parse(RenderJson(WithLink(status)))["serviceProcessor"]["answering"],
              true);
}

// The six thresholds keep their names and their order (lower non-recoverable
// up to upper non-recoverable) in every format.
TEST(MonitorFormats, EachThresholdHasItsNameAndPlaceInEveryFormat) {
    Snapshot snapshot;
    snapshot.startup = ServiceCode_Success;
    snapshot.sensors = {Sensor(0x20000, L"Fan", 19, 0, 0, {101, 102, 103, 104, 105, 106})};
    const char* const json[] = {"lowerNonRecoverable", "lowerCritical", "lowerNonCritical",
                                "upperNonCritical",    "upperCritical", "upperNonRecoverable"};
    const char* const labels[] = {"lower_non_recoverable", "lower_critical",
                                  "lower_non_critical",    "upper_non_critical",
                                  "upper_critical",        "upper_non_recoverable"};

    const nlohmann::json thresholds =
        nlohmann::json::parse(RenderJson(snapshot))["sensors"][0]["thresholds"];
    const std::map<std::string, double> samples = PrometheusSamples(RenderPrometheus(snapshot));
    const std::string table = RenderTable(snapshot, false);
    size_t column = 0;
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(thresholds[json[i]]["raw"], 101 + i) << json[i];
        EXPECT_EQ(samples.at(std::string("svcproc_fan_speed_threshold_rpm{id=\"0x00020000\",") +
                             "name=\"Fan\",threshold=\"" + labels[i] + "\"}"),
                  101 + i)
            << labels[i];
        const size_t next = table.find(std::to_string(101 + i), column);
        ASSERT_NE(next, std::string::npos) << "table column " << i;
        column = next;
    }
}

TEST(MonitorFormats, PrometheusNamesFollowTheIpmiExporters) {
    const std::map<std::string, double> samples =
        PrometheusSamples(RenderPrometheus(SampleSnapshot()));
    EXPECT_EQ(samples.at("svcproc_up"), 1);
    EXPECT_DOUBLE_EQ(
        samples.at("svcproc_voltage_volts{id=\"0x00010000\",name=\"CPU \\\"Core\\\"\"}"), 1.2);
    EXPECT_EQ(samples.at("svcproc_fan_speed_rpm{id=\"0x00020001\",name=\"Chassis Fan\"}"), 300);
    EXPECT_EQ(samples.at("svcproc_fan_speed_state{id=\"0x00020001\",name=\"Chassis Fan\"}"), 1);
    EXPECT_EQ(samples.at("svcproc_fan_speed_threshold_rpm{id=\"0x00020001\",name=\"Chassis "
                         "Fan\",threshold=\"lower_critical\"}"),
              400);
    EXPECT_EQ(samples.count("svcproc_fan_speed_threshold_rpm{id=\"0x00020001\",name=\"Chassis "
                            "Fan\",threshold=\"upper_critical\"}"),
              0u);
    EXPECT_EQ(samples.at("svcproc_led_on{id=\"0x00040004\",name=\"Disk\"}"), 1);

    Snapshot failed;
    failed.startup = ServiceCode_DriverUnavailable;
    const std::map<std::string, double> down = PrometheusSamples(RenderPrometheus(failed));
    EXPECT_EQ(down.at("svcproc_up"), 0);
    EXPECT_EQ(down.at("svcproc_startup_result"), 6);
    EXPECT_EQ(down.count("svcproc_exchanges_total{kind=\"fans\"}"), 0u);
    for (const auto& [name, value] : down) {
        EXPECT_EQ(name.find("svcproc_led"), std::string::npos) << "no inventory: " << name;
    }
}

TEST(MonitorFormats, PrometheusShowsTheLinkAndDropsUpWhileItFails) {
    CServiceProcessorStatus status = Answering();
    status.Exchanges[ExchangeKind_Leds].HasResponded = false;
    Snapshot snapshot = WithLink(status);
    snapshot.refreshDuration = std::chrono::milliseconds(125);
    const std::string text = RenderPrometheus(snapshot);
    const std::map<std::string, double> samples = PrometheusSamples(text);
    EXPECT_EQ(samples.at("svcproc_up"), 1);
    EXPECT_EQ(samples.at("svcproc_exchanges_total{kind=\"alert_poll\"}"), 40);
    EXPECT_EQ(samples.at("svcproc_exchange_failures_total{kind=\"voltages\"}"), 2);
    EXPECT_EQ(samples.at("svcproc_exchange_consecutive_failures{kind=\"fans\"}"), 0);
    EXPECT_THAT(text, HasSubstr("svcproc_last_response_timestamp_seconds{kind=\"temperatures\"} "
                                "1767225600.4\n"));
    EXPECT_EQ(samples.count("svcproc_last_response_timestamp_seconds{kind=\"leds\"}"), 0u);
    EXPECT_EQ(samples.at("svcproc_polling_thread_running"), 1);
    EXPECT_EQ(samples.at("svcproc_scrape_duration_seconds"), 0.125);
    EXPECT_EQ(samples.count("svcproc_build_info{version=\"" SVCP_VERSION_TEXT
                            "\",revision=\"" SVCP_REVISION "\",compiler=\"" SVCP_COMPILER "\"}"),
              1u);
    EXPECT_THAT(text, HasSubstr("# TYPE svcproc_exchanges_total counter\n"));
    EXPECT_THAT(text, HasSubstr("# TYPE svcproc_exchange_failures_total counter\n"));

    for (int kind = 0; kind < ExchangeKind_Count; ++kind) {
        CServiceProcessorStatus failing = Answering();
        failing.Exchanges[kind].ConsecutiveFailures = 1;
        EXPECT_EQ(PrometheusSamples(RenderPrometheus(WithLink(failing))).at("svcproc_up"), 0)
            << kind;
    }
}

TEST(MonitorOptions, ParsesTheCommandLineAndRefusesNonsense) {
    MonitorOptions options;
    std::string error;
    const char* good[] = {
        "svcproc-monitor",        "--format=json", "--once", "--duration", "3", "--log-level", "4",
        "--simulate=machine.json"};
    ASSERT_TRUE(ParseMonitorOptions(8, good, options, error)) << error;
    EXPECT_EQ(options.format, OutputFormat::Json);
    EXPECT_EQ(options.mode, RunMode::Once);
    EXPECT_EQ(options.durationSeconds, 3);
    EXPECT_EQ(options.logLevel, 4);
    EXPECT_TRUE(options.simulate);
    EXPECT_EQ(options.simulationFile, "machine.json");
    for (const char* bad : {"--format=xml", "--log-level=7", "--interval=0", "--bogus"}) {
        MonitorOptions other;
        const char* argv[] = {"svcproc-monitor", bad};
        EXPECT_FALSE(ParseMonitorOptions(2, argv, other, error)) << bad;
    }
}

TEST(MonitorFormats, EveryFailureCodeIsExplained) {
    for (int code = 1; code <= 7; ++code) {
        const ServiceCodeAdvice text = DescribeServiceCode(static_cast<SERVICE_CODE>(code));
        EXPECT_STRNE(text.name, "Unknown") << code;
        EXPECT_GT(std::string(text.advice).size(), 10u) << code;
    }
}

}  // namespace
