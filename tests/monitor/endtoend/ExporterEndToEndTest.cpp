// svcproc-monitor --listen end to end: scraped with curl, the body checked by
// promtool where it is installed; overlapping scrapes and a silent client
// beside the alert listener; a failed start-up served as svcproc_up 0; an
// address that cannot be bound refused; svcproc_up following a simulator
// process that is killed and started again.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/process/ChildProcess.h"
#include "support/PrometheusText.h"
#include "support/process/ShellOutput.h"
#include "support/sockets/SilentClient.h"
#include "support/process/SimulatorProcess.h"

namespace {

using std::chrono::seconds;

const std::vector<std::string> kNoDeviceDirectory = {"SVCP_DEVICE_DIR="};

// Starts the exporter on a free port; the base URL, or "" on failure.
std::string StartExporter(CChildProcess& exporter, const std::vector<std::string>& arguments,
                          const std::vector<std::string>& environment = kNoDeviceDirectory) {
    std::vector<std::string> argv = {SVCPROC_MONITOR};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    argv.insert(argv.end(), {"--listen", "127.0.0.1:0"});
    if (!exporter.Start(argv, environment) ||
        !exporter.WaitForLine("svcproc-monitor: serving http://", seconds(30))) {
        return "";
    }
    const std::string& out = exporter.Out();
    const size_t start = out.find("http://");
    return out.substr(start, out.find("/metrics", start) - start);
}

std::string HttpCode(const std::string& arguments) {
    return ShellOutput("curl -sS -o /dev/null -w '%{http_code}' " + arguments);
}

class ExporterEndToEnd : public testing::Test {
protected:
    void SetUp() override {
        if (!Installed("curl")) {
            GTEST_SKIP() << "curl is not installed (scripts/install-deps.sh)";
        }
    }
};

TEST_F(ExporterEndToEnd, CurlScrapesTheBuiltInMachine) {
    CChildProcess exporter;
    const std::string base = StartExporter(exporter, {"--simulate"});
    ASSERT_FALSE(base.empty()) << exporter.Err();

    int status = 0;
    const std::string headers =
        ShellOutput("curl -sS -D - -o /dev/null " + base + "/metrics", &status);
    ASSERT_EQ(status, 0) << headers;
    EXPECT_NE(headers.find("HTTP/1.1 200 OK"), std::string::npos) << headers;
    EXPECT_NE(headers.find("Content-Type: text/plain; version=0.0.4; charset=utf-8\r\n"),
              std::string::npos)
        << headers;
    const std::string body = ShellOutput("curl -sS " + base + "/metrics");
    EXPECT_EQ(PromtoolProblems(body), "") << body;
    const std::map<std::string, double> samples = PrometheusSamples(body);
    EXPECT_EQ(samples.at("svcproc_up"), 1);
    EXPECT_EQ(samples.at(R"(svcproc_led_on{id="0x00040001",name="Power"})"), 1);
    EXPECT_NEAR(samples.at(R"(svcproc_fan_speed_rpm{id="0x00020002",name="Chassis Fan"})"), 1800,
                400);

    EXPECT_NE(ShellOutput("curl -sS " + base + "/").find("href=\"/metrics\""), std::string::npos);
    const std::string sensors = ShellOutput("curl -sS -D - " + base + "/api/v1/sensors");
    EXPECT_NE(sensors.find("Content-Type: application/json; charset=utf-8\r\n"), std::string::npos)
        << sensors;
    EXPECT_NE(sensors.find("\"description\": \"Chassis Fan\""), std::string::npos) << sensors;
    EXPECT_EQ(HttpCode(base + "/nothing"), "404");
    EXPECT_EQ(HttpCode("-X POST " + base + "/metrics"), "405");
    EXPECT_EQ(HttpCode("-X DELETE " + base + "/"), "405");

    exporter.Signal(SIGINT);
    EXPECT_EQ(exporter.Wait(seconds(10)), 0) << exporter.Err();
}

TEST_F(ExporterEndToEnd, SilentClientsAndOverlappingScrapesLeaveScrapesAndAlertsGoing) {
    CChildProcess exporter;
    const std::string base = StartExporter(exporter, {"--simulate"});
    ASSERT_FALSE(base.empty()) << exporter.Err();
    const int port = std::stoi(base.substr(base.rfind(':') + 1));
    std::vector<std::unique_ptr<SilentClient>> silent;
    for (int i = 0; i < 3; ++i) {
        silent.push_back(std::make_unique<SilentClient>(port));
        ASSERT_TRUE(silent.back()->Connected());
    }
    // Six scrapes at once, each bounded by curl's own timeout.
    const std::string codes = ShellOutput(
        "for i in 1 2 3 4 5 6; do curl -sS -m 10 -o /dev/null -w "
        "'%{http_code}\\n' " +
        base + "/metrics & done; wait");
    EXPECT_EQ(codes, "200\n200\n200\n200\n200\n200\n");
    // The built-in scenario's first alert (the chassis fan) still arrives.
    EXPECT_TRUE(exporter.WaitForLine("ASSERTED  0x00020002", seconds(30))) << exporter.Out();
    // The listener counted it before printing it.
    const std::map<std::string, double> samples =
        PrometheusSamples(ShellOutput("curl -sS " + base + "/metrics"));
    EXPECT_GE(
        samples.at(
            R"(svcproc_sensor_state_changes_total{id="0x00020002",kind="fan",name="Chassis Fan"})"),
        1);
    EXPECT_EQ(
        samples.count(
            R"(svcproc_sensor_last_change_timestamp_seconds{id="0x00020002",kind="fan",name="Chassis Fan"})"),
        1u);

    const auto stopping = std::chrono::steady_clock::now();
    exporter.Signal(SIGTERM);
    EXPECT_EQ(exporter.Wait(seconds(20)), 0) << exporter.Err();
    EXPECT_LT(std::chrono::steady_clock::now() - stopping, seconds(8))
        << "stopped within the read and keep-alive timeouts";
}

TEST_F(ExporterEndToEnd, AFailedStartUpIsServedAsDown) {
    const std::string replay = testing::TempDir() + "/exporter-replay.json";
    std::ofstream(replay) << R"({"smbiosTable": ")" << SVCP_SMBIOS_DATA_DIR
                          << R"(/gosmbios-1.bin"})";
    CChildProcess exporter;
    const std::string base = StartExporter(exporter, {"--simulate=" + replay});
    ASSERT_FALSE(base.empty()) << exporter.Err();
    const std::string body = ShellOutput("curl -sS " + base + "/metrics");
    EXPECT_EQ(PromtoolProblems(body), "") << body;
    const std::map<std::string, double> samples = PrometheusSamples(body);
    EXPECT_EQ(samples.at("svcproc_up"), 0);
    EXPECT_EQ(samples.at("svcproc_startup_result"), 5) << "no service processor";
    exporter.Signal(SIGTERM);
    EXPECT_EQ(exporter.Wait(seconds(10)), 0);
    EXPECT_NE(exporter.Err().find("NoServiceProcessor"), std::string::npos) << exporter.Err();
}

// How long after `since` a scrape first showed svcproc_up == `up`; a
// negative duration when none did within `timeout`.
std::chrono::milliseconds UpBecomes(const std::string& base, double up,
                                    std::chrono::steady_clock::time_point since,
                                    std::chrono::milliseconds timeout) {
    using std::chrono::steady_clock;
    while (steady_clock::now() - since < timeout) {
        const std::map<std::string, double> samples =
            PrometheusSamples(ShellOutput("curl -sS -m 5 " + base + "/metrics"));
        const auto found = samples.find("svcproc_up");
        if (found != samples.end() && found->second == up) {
            return std::chrono::duration_cast<std::chrono::milliseconds>(steady_clock::now() -
                                                                         since);
        }
        usleep(50 * 1000);
    }
    return std::chrono::milliseconds(-1);
}

TEST_F(ExporterEndToEnd, UpFollowsASimulatorThatIsKilledAndStartedAgain) {
    CSimulatorProcess sim(SVCPROC_SIM);
    ASSERT_TRUE(sim.Start());
    CChildProcess exporter;
    const std::string base = StartExporter(exporter, {}, sim.Environment());
    ASSERT_FALSE(base.empty()) << exporter.Err();
    EXPECT_EQ(PrometheusSamples(ShellOutput("curl -sS " + base + "/metrics")).at("svcproc_up"), 1);

    ASSERT_EQ(sim.Kill(), 128 + SIGKILL);
    const std::chrono::milliseconds down =
        UpBecomes(base, 0, std::chrono::steady_clock::now(), seconds(10));
    std::printf("svcproc_up 0 after %lld ms\n", static_cast<long long>(down.count()));
    EXPECT_GE(down.count(), 0);
    EXPECT_LT(down, seconds(2));
    const std::string body = ShellOutput("curl -sS " + base + "/metrics");
    EXPECT_EQ(PromtoolProblems(body), "") << body;
    const std::map<std::string, double> samples = PrometheusSamples(body);
    EXPECT_GT(samples.at(R"(svcproc_exchange_failures_total{kind="alert_poll"})"), 0) << body;
    EXPECT_NEAR(samples.at(R"(svcproc_fan_speed_rpm{id="0x00020002",name="Chassis Fan"})"), 1800,
                400)
        << "the last reading received, still";

    // The same socket path again: the open device handle reaches it.
    ASSERT_TRUE(sim.Start());
    const std::chrono::milliseconds up =
        UpBecomes(base, 1, std::chrono::steady_clock::now(), seconds(10));
    std::printf("svcproc_up 1 after %lld ms\n", static_cast<long long>(up.count()));
    EXPECT_GE(up.count(), 0);
    EXPECT_LT(up, seconds(2));

    exporter.Signal(SIGTERM);
    EXPECT_EQ(exporter.Wait(seconds(20)), 0) << exporter.Err();
}

TEST_F(ExporterEndToEnd, AnAddressThatCannotBeBoundIsRefused) {
    CChildProcess exporter;
    ASSERT_TRUE(exporter.Start({SVCPROC_MONITOR, "--simulate", "--listen", "192.0.2.1:9723"},
                               kNoDeviceDirectory));
    EXPECT_EQ(exporter.Wait(seconds(30)), 69);
    EXPECT_NE(exporter.Err().find("cannot listen on 192.0.2.1:9723"), std::string::npos)
        << exporter.Err();

    CChildProcess usage;
    ASSERT_TRUE(usage.Start({SVCPROC_MONITOR, "--listen", "65536"}, kNoDeviceDirectory));
    EXPECT_EQ(usage.Wait(seconds(10)), 64);
    CChildProcess once;
    ASSERT_TRUE(once.Start({SVCPROC_MONITOR, "--once", "--listen", "9723"}, kNoDeviceDirectory));
    EXPECT_EQ(once.Wait(seconds(10)), 64);
}

}  // namespace
