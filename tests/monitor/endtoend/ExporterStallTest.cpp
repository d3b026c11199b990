// The exporter beside a svcproc-sim process that stops answering (SIGSTOP)
// and one whose alerts a second process polls too: scrapes answer at once
// with svcproc_up 0 while the service processor is silent and 1 again after
// it resumes; the states served follow the machine whoever takes its alerts.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/process/ChildProcess.h"
#include "support/PrometheusText.h"
#include "support/process/ShellOutput.h"
#include "support/process/SimulatorProcess.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using Steady = std::chrono::steady_clock;

// Starts the exporter on a free port; the base URL, or "" on failure.
std::string StartExporter(CChildProcess& exporter, const std::vector<std::string>& environment,
                          const std::string& interval) {
    if (!exporter.Start({SVCPROC_MONITOR, "--interval", interval, "--listen", "127.0.0.1:0"},
                        environment) ||
        !exporter.WaitForLine("svcproc-monitor: serving http://", seconds(30))) {
        return "";
    }
    const std::string& out = exporter.Out();
    const size_t start = out.find("http://");
    return out.substr(start, out.find("/metrics", start) - start);
}

struct Scrape {
    std::map<std::string, double> samples;
    milliseconds took{0};

    double Get(const std::string& name) const {
        const auto found = samples.find(name);
        return found == samples.end() ? -1 : found->second;
    }
};

Scrape ScrapeOnce(const std::string& base) {
    const Steady::time_point start = Steady::now();
    Scrape scrape;
    scrape.samples = PrometheusSamples(ShellOutput("curl -sS -m 5 " + base + "/metrics"));
    scrape.took = std::chrono::duration_cast<milliseconds>(Steady::now() - start);
    return scrape;
}

// Continues a stopped process however the test ends.
struct Continuer {
    pid_t pid;
    ~Continuer() { kill(pid, SIGCONT); }
};

class ExporterStall : public testing::Test {
protected:
    void SetUp() override {
        if (!Installed("curl")) {
            GTEST_SKIP() << "curl is not installed (scripts/install-deps.sh)";
        }
    }
};

TEST_F(ExporterStall, AStoppedServiceProcessorIsServedAsDownAtOnce) {
    CSimulatorProcess sim(SVCPROC_SIM);
    ASSERT_TRUE(sim.Start());
    CChildProcess exporter;
    const std::string base = StartExporter(exporter, sim.Environment(), "0.25");
    ASSERT_FALSE(base.empty()) << exporter.Err();
    ASSERT_EQ(ScrapeOnce(base).Get("svcproc_up"), 1);

    const Continuer continuer{sim.Process().Pid()};
    sim.Process().Signal(SIGSTOP);
    const Steady::time_point stopped = Steady::now();
    int down = 0;  // scrapes that said so
    milliseconds slowest{0};
    while (down < 4 && Steady::now() - stopped < seconds(10)) {
        const Scrape scrape = ScrapeOnce(base);
        slowest = std::max(slowest, scrape.took);
        EXPECT_LT(scrape.took, seconds(1)) << "a scrape waited on the service processor";
        if (scrape.Get("svcproc_up") == 0) {
            ++down;
            // Stuck in a read that waits for its exchange; or, once the
            // stopped server's backlog is full, done with reads that fail.
            const bool stale = scrape.Get(R"(svcproc_down_reason{reason="stale"})") == 1;
            EXPECT_TRUE(stale || scrape.Get(R"(svcproc_down_reason{reason="not_answering"})") == 1);
            if (stale) {
                EXPECT_GT(scrape.Get("svcproc_collection_running_seconds"), 2);
            }
        } else {
            EXPECT_EQ(down, 0) << "once down, down while the service processor is stopped";
        }
        usleep(100 * 1000);
    }
    EXPECT_EQ(down, 4);
    std::printf("svcproc_up 0 within %lld ms of SIGSTOP; slowest scrape %lld ms\n",
                static_cast<long long>(
                    std::chrono::duration_cast<milliseconds>(Steady::now() - stopped).count()),
                static_cast<long long>(slowest.count()));

    sim.Process().Signal(SIGCONT);
    const Steady::time_point resumed = Steady::now();
    double up = 0;
    while (up != 1 && Steady::now() - resumed < seconds(10)) {
        const Scrape scrape = ScrapeOnce(base);
        EXPECT_LT(scrape.took, seconds(1));
        up = scrape.Get("svcproc_up");
        usleep(100 * 1000);
    }
    EXPECT_EQ(up, 1) << "up again after SIGCONT";
    std::printf("svcproc_up 1 within %lld ms of SIGCONT\n",
                static_cast<long long>(
                    std::chrono::duration_cast<milliseconds>(Steady::now() - resumed).count()));

    exporter.Signal(SIGTERM);
    EXPECT_EQ(exporter.Wait(seconds(20)), 0) << exporter.Err();
}

// One fan that stalls and recovers every second: an alert a second.
const char* const kFlappingFan = R"({
  "name": "flapping fan", "repeat": 2,
  "bios": { "vendor": "Orvane Telk", "version": "85.12.07", "date": "04/18/2023" },
  "sensors": [
    { "kind": "fan", "index": 0, "description": "Flapping Fan", "nominal": 1800,
      "thresholds": { "lowerNonCritical": 700, "lowerCritical": 500 },
      "behaviour": { "base": 1800, "script": [ { "at": 0.5, "value": 200 },
                                                { "at": 1.5, "value": 1800 } ] } }
  ],
  "leds": [ { "bitMap": "0x0001", "description": "Power", "drive": "on" } ]
})";

TEST_F(ExporterStall, StatesFollowTheMachineWhileAnotherProcessTakesAlerts) {
    const std::string machine = testing::TempDir() + "/svcp-flapping-fan.json";
    std::ofstream(machine) << kFlappingFan;
    CSimulatorProcess sim(SVCPROC_SIM);
    ASSERT_TRUE(sim.Start({machine})) << sim.Process().Err();
    // A watch polls the same service processor's alerts from its own library.
    CChildProcess other;
    ASSERT_TRUE(other.Start({SVCPROC_MONITOR, "--watch", "--format", "ndjson", "--interval", "60"},
                            sim.Environment()));
    ASSERT_TRUE(other.WaitForLine("{", seconds(30))) << other.Err();
    CChildProcess exporter;
    const std::string base = StartExporter(exporter, sim.Environment(), "0.1");
    ASSERT_FALSE(base.empty()) << exporter.Err();

    const std::string reading = R"(svcproc_fan_speed_rpm{id="0x00020000",name="Flapping Fan"})";
    const std::string state = R"(svcproc_fan_speed_state{id="0x00020000",name="Flapping Fan"})";
    int seen[2] = {0, 0};
    int wrong = 0;
    const Steady::time_point start = Steady::now();
    while (Steady::now() - start < seconds(6)) {
        const Scrape scrape = ScrapeOnce(base);
        const double rpm = scrape.Get(reading);
        ASSERT_GE(rpm, 0) << "no reading served";
        const double machineState = rpm < 500 ? 1 : 0;
        ++seen[static_cast<int>(machineState)];
        if (scrape.Get(state) != machineState) {
            ++wrong;
            ADD_FAILURE() << "at " << rpm << " RPM the exporter served state " << scrape.Get(state);
        }
        usleep(150 * 1000);
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_GE(seen[0], 4) << "the fan ran";
    EXPECT_GE(seen[1], 4) << "the fan stalled";

    exporter.Signal(SIGTERM);
    EXPECT_EQ(exporter.Wait(seconds(20)), 0) << exporter.Err();
    other.Signal(SIGTERM);
    other.Wait(seconds(20));
    // Which process heard which alert is the polls' race; printed for the record.
    auto count = [](const std::string& text, const char* what) {
        size_t n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
            ++n;
        }
        return n;
    };
    std::printf("alerts heard: exporter %zu, the other process %zu\n",
                count(exporter.Out(), "ASSERTED") + count(exporter.Out(), "CLEARED"),
                count(other.Err(), "ASSERTED") + count(other.Err(), "CLEARED"));
}

}  // namespace
