// svcproc-monitor's events reach the journal (a socket of the test's) from
// the watch and from the exporter, beside svcproc-sim: the scenario's alerts
// with their sensors and readings, then the lost link once the simulator is
// killed.
#include <signal.h>

#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "monitor/events/FakeJournal.h"
#include "support/process/ChildProcess.h"
#include "support/process/SimulatorProcess.h"

namespace {

using std::chrono::seconds;

// How the monitor runs: a watch writing a file, or the exporter.
struct RunKind {
    std::string name;
    std::vector<std::string> arguments;
};

class MonitorEvents : public ::testing::TestWithParam<RunKind> {};

TEST_P(MonitorEvents, AlertsAndALostLinkReachTheJournalWithTheirIds) {
    CFakeJournal journal(testing::TempDir() + "/monitor-events-" + GetParam().name + ".sock");
    ASSERT_TRUE(journal.Bound());
    CSimulatorProcess sim(SVCPROC_SIM);
    ASSERT_TRUE(sim.Start()) << sim.Process().Err();
    std::vector<std::string> environment = sim.Environment();
    environment.push_back("SVCPROC_JOURNAL_SOCKET=" + journal.Path());
    std::vector<std::string> argv = {SVCPROC_MONITOR, "--system-log", "always", "--interval",
                                     "0.25",          "--duration",   "60"};
    argv.insert(argv.end(), GetParam().arguments.begin(), GetParam().arguments.end());
    CChildProcess monitor;
    ASSERT_TRUE(monitor.Start(argv, environment));

    // The built-in scenario: two sensors asserted, then cleared.
    std::vector<std::string> heard;
    while (heard.size() < 5) {
        const std::optional<JournalFields> event = journal.Receive(seconds(20));
        ASSERT_TRUE(event) << "heard only " << heard.size() << "; " << monitor.Err();
        heard.push_back(event->at("SVCPROC_EVENT_ID") + " " + event->at("PRIORITY") + " " +
                        event->at("MESSAGE"));
    }
    EXPECT_EQ(heard, (std::vector<std::string>{
                         "1202 6 Started: 12 sensors, 4 LEDs",
                         "1001 3 Sensor alert asserted: Chassis Fan (fan 0x00020002), reading "
                         "483 RPM",
                         "1001 3 Sensor alert asserted: CPU Temperature (temperature "
                         "0x00030000), reading 86.0 \u00b0C",
                         "1002 6 Sensor alert cleared: Chassis Fan (fan 0x00020002), reading "
                         "650 RPM",
                         "1002 6 Sensor alert cleared: CPU Temperature (temperature "
                         "0x00030000), reading 83.0 \u00b0C"}));

    EXPECT_EQ(sim.Kill(), 128 + SIGKILL);
    const std::optional<JournalFields> lost = journal.Receive(seconds(20));
    ASSERT_TRUE(lost) << monitor.Err();
    EXPECT_EQ(lost->at("SVCPROC_EVENT_ID"), "1101");
    EXPECT_EQ(lost->at("MESSAGE_ID"), "ede825625f47460abbc2fa9db739a302");
    EXPECT_EQ(lost->at("PRIORITY"), "3");
    monitor.Signal(SIGTERM);
    EXPECT_EQ(monitor.Wait(seconds(30)), 0) << monitor.Err();
}

INSTANTIATE_TEST_SUITE_P(Runs, MonitorEvents,
                         ::testing::Values(RunKind{"Watch",
                                                   {"--watch", "--format", "prometheus", "--output",
                                                    testing::TempDir() + "/monitor-events.prom"}},
                                           RunKind{"Exporter", {"--listen", "127.0.0.1:0"}}),
                         [](const ::testing::TestParamInfo<RunKind>& info) {
                             return info.param.name;
                         });

}  // namespace
