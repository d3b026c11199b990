// svcproc-monitor --check as a monitoring agent runs it: exit statuses 0 to
// 3 and the exact status line and performance data of a simulated machine,
// a stopped simulator and bad options as UNKNOWN, and a service processor
// that never answers cut off by --timeout.
#include <signal.h>

#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/process/ChildProcess.h"
#include "support/process/ShellOutput.h"
#include "support/process/SimulatorProcess.h"

namespace {

using std::chrono::seconds;

struct CheckRun {
    int status;
    std::string out;
};

CheckRun Check(const std::vector<std::string>& arguments,
               const std::vector<std::string>& environment = {"SVCP_DEVICE_DIR="}) {
    std::vector<std::string> argv = {SVCPROC_MONITOR, "--check"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    CChildProcess check;
    EXPECT_TRUE(check.Start(argv, environment));
    const int status = check.Wait(seconds(60));
    return CheckRun{status, check.Out()};
}

// A fan below its critical threshold, one below its non-critical one, a
// temperature inside its limits.
std::string TroubledMachine() {
    const std::string path = testing::TempDir() + "/check-machine.json";
    std::ofstream(path) << R"({"bios": {"version": "85.12.07"}, "sensors": [
        {"kind": "fan", "index": 0, "description": "CPU Fan 1",
         "thresholds": {"lowerNonCritical": 1200, "lowerCritical": 900},
         "behaviour": {"base": 850}},
        {"kind": "fan", "index": 1, "description": "Rear's Fan",
         "thresholds": {"lowerNonCritical": 1200, "lowerCritical": 900},
         "behaviour": {"base": 1000}},
        {"kind": "temperature", "index": 0, "description": "CPU Temperature",
         "limits": {"min": 0, "max": 127},
         "thresholds": {"upperNonCritical": 75, "upperCritical": 85},
         "behaviour": {"base": 71}}],
      "leds": [{"bitMap": 1, "description": "Power"}]})";
    return path;
}

TEST(CheckEndToEnd, StatusLineAndPerformanceDataOfASimulatedMachine) {
    const std::string machine = "--simulate=" + TroubledMachine();
    const std::string perfData =
        " | 'CPU Fan 1'=850;1200:;900: 'Rear''s Fan'=1000;1200:;900: "
        "'CPU Temperature'=71;~:75;~:85;0;127\n";
    CheckRun run = Check({machine});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out,
              "SVCPROC CRITICAL - CPU Fan 1 critical (850 RPM), Rear's Fan warning (1000 RPM)" +
                  perfData);

    run = Check({machine, "--warning-only", "-v"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out,
              "SVCPROC WARNING - CPU Fan 1 warning (850 RPM), Rear's Fan warning (1000 RPM)" +
                  perfData +
                  "CPU Fan 1: critical, 850 RPM\nRear's Fan: warning, 1000 RPM\n"
                  "CPU Temperature: ok, 71.0 °C\nLED Power: off\n");

    run = Check({machine, "--exclude", "*Fan*"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "SVCPROC OK - 1 sensors ok | 'CPU Temperature'=71;~:75;~:85;0;127\n");
}

TEST(CheckEndToEnd, UnknownWhateverStopsTheAnswer) {
    CSimulatorProcess sim(SVCPROC_SIM);
    CheckRun run = Check({}, sim.Environment());
    EXPECT_EQ(run.status, 3) << "a stopped simulator";
    EXPECT_EQ(run.out.rfind("SVCPROC UNKNOWN - start-up failed with ", 0), 0u) << run.out;

    EXPECT_EQ(Check({"--timeout", "0"}).status, 3) << "bad options";
    EXPECT_EQ(Check({"--listen", "9723"}).status, 3);
    EXPECT_EQ(Check({"--simulate=/nonexistent.json"}).status, 3);

    // A service processor that takes requests and never answers.
    ASSERT_TRUE(sim.Start()) << sim.Process().Err();
    sim.Process().Signal(SIGSTOP);
    const auto start = std::chrono::steady_clock::now();
    run = Check({"--timeout", "1.5"}, sim.Environment());
    const auto took = std::chrono::steady_clock::now() - start;
    sim.Process().Signal(SIGCONT);
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(run.out, "SVCPROC UNKNOWN - no answer within 1.5 s (--timeout)\n");
    EXPECT_LT(took, seconds(10));
    EXPECT_EQ(sim.Stop(), 0);
}

// The file's filters and renames reach the JSON, the exporter's metrics and
// sensors document, and the check; ids stay.
TEST(CheckEndToEnd, AConfigurationFileShapesEveryFormat) {
    const std::string config = testing::TempDir() + "/check-config.yaml";
    std::ofstream(config) << "sensors:\n  exclude: [{kind: led}, {description: '* Temperature'}]\n"
                             "  rename: [{description: CPU Fan, to: Processor fan}]\n";
    const CheckRun check = Check({"--simulate", "--config.file", config});
    EXPECT_EQ(check.status, 0);
    EXPECT_NE(check.out.find(" 'Processor fan'="), std::string::npos) << check.out;
    CChildProcess monitor;
    ASSERT_TRUE(monitor.Start(
        {SVCPROC_MONITOR, "--simulate", "--once", "--config.file", config, "--format", "json"},
        {"SVCP_DEVICE_DIR="}));
    EXPECT_EQ(monitor.Wait(seconds(60)), 0) << monitor.Err();
    EXPECT_NE(monitor.Out().find("\"description\": \"Processor fan\",\n      \"handle\": 131072"),
              std::string::npos)
        << monitor.Out();
    EXPECT_EQ(monitor.Out().find("Temperature"), std::string::npos);
    EXPECT_EQ(monitor.Out().find("\"Power\""), std::string::npos);

    if (!Installed("curl")) {
        GTEST_SKIP() << "curl is not installed (scripts/install-deps.sh)";
    }
    CChildProcess exporter;
    ASSERT_TRUE(exporter.Start({SVCPROC_MONITOR, "--simulate", "--config.file", config, "--listen",
                                "127.0.0.1:0", "--duration", "30"},
                               {"SVCP_DEVICE_DIR="}));
    ASSERT_TRUE(exporter.WaitForLine("svcproc-monitor: serving http://", seconds(30)));
    const size_t start = exporter.Out().find("http://");
    const std::string url =
        exporter.Out().substr(start, exporter.Out().find("/metrics", start) - start);
    const std::string scraped = ShellOutput("curl -sS " + url + "/metrics");
    EXPECT_NE(scraped.find(R"(svcproc_fan_speed_rpm{id="0x00020000",name="Processor fan"})"),
              std::string::npos)
        << scraped;
    EXPECT_EQ(scraped.find("Temperature"), std::string::npos);
    const std::string sensors = ShellOutput("curl -sS " + url + "/api/v1/sensors");
    EXPECT_NE(sensors.find("\"Processor fan\""), std::string::npos) << sensors;
    EXPECT_EQ(sensors.find("Temperature"), std::string::npos);
    exporter.Signal(SIGTERM);
    EXPECT_EQ(exporter.Wait(seconds(30)), 0);
}

}  // namespace
