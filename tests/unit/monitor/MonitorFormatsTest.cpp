// The monitor's renderings of a snapshot: human units, unknown thresholds,
// and JSON and Prometheus output that parse back.
#include <map>
#include <sstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "Formats.h"
#include "MonitorOptions.h"
#include "ServiceCodeText.h"
#include "Units.h"

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
    SensorSnapshot voltage;
    voltage.handle = 0x10000;
    voltage.information = Units(5, -3);
    voltage.information.Description = L"CPU \"Core\"";
    voltage.information.UpperThresholdCritical = 1400;
    voltage.information.LowerThresholdCritical = kSensorValueUnknown;
    voltage.reading = {1200, 0};
    SensorSnapshot fan;
    fan.handle = 0x20001;
    fan.information = Units(19, 0);
    fan.information.Description = L"Chassis Fan";
    fan.information.LowerThresholdCritical = 400;
    fan.information.UpperThresholdCritical = kSensorValueUnknown;
    fan.reading = {300, 1};
    snapshot.sensors = {voltage, fan};
    LedSnapshot led;
    led.handle = 0x40004;
    led.information.Kind = 5;
    led.information.BitMap = 4;
    led.information.Description = L"Disk";
    led.reading.State = 1;
    snapshot.leds = {led};
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
    EXPECT_EQ(document["version"], kJsonFormatVersion);
    EXPECT_EQ(document["startup"]["result"], 0);
    ASSERT_EQ(document["sensors"].size(), 2u);
    const nlohmann::json& voltage = document["sensors"][0];
    EXPECT_EQ(voltage["description"], "CPU \"Core\"");
    EXPECT_EQ(voltage["kind"], "voltage");
    EXPECT_DOUBLE_EQ(voltage["reading"]["value"].get<double>(), 1.2);
    EXPECT_TRUE(voltage["information"]["LowerThresholdCritical"].is_null());
    EXPECT_EQ(voltage["information"]["UpperThresholdCritical"], 1400);
    EXPECT_EQ(document["sensors"][1]["state"], "Critical");
    EXPECT_EQ(document["leds"][0]["on"], true);
    EXPECT_TRUE(document["sensors"][0]["readAt"].is_string());
}

// name{labels} value lines, keyed by name and labels.
std::map<std::string, double> ParsePrometheus(const std::string& text) {
    std::map<std::string, double> samples;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const size_t space = line.rfind(' ');
        samples[line.substr(0, space)] = std::stod(line.substr(space + 1));
    }
    return samples;
}

TEST(MonitorFormats, PrometheusNamesFollowTheIpmiExporters) {
    const std::map<std::string, double> samples =
        ParsePrometheus(RenderPrometheus(SampleSnapshot()));
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
    const std::map<std::string, double> down = ParsePrometheus(RenderPrometheus(failed));
    EXPECT_EQ(down.at("svcproc_up"), 0);
    EXPECT_EQ(down.at("svcproc_startup_result"), 6);
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
        const ServiceCodeText text = DescribeServiceCode(static_cast<SERVICE_CODE>(code));
        EXPECT_STRNE(text.name, "Unknown") << code;
        EXPECT_GT(std::string(text.advice).size(), 10u) << code;
    }
}

}  // namespace
