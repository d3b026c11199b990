// svcproc-monitor's events reach the journal (a socket of the test's) from
// the watch and from the exporter, beside svcproc-sim: the scenario's alerts
// with their sensors and readings, then the lost link once the simulator is
// killed.
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "monitor/events/FakeJournal.h"
#include "support/process/ChildProcess.h"
#include "support/process/SimulatorProcess.h"

namespace {

using std::chrono::seconds;

std::string EscapedForRegex(const std::string& text) {
    static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
    return std::regex_replace(text, special, R"(\$&)");
}

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

    // The built-in scenario: two sensors asserted, then cleared. Under load
    // the two sensors' events may interleave either way and the readings the
    // monitor happens to take vary; each sensor's own order may not.
    std::vector<std::string> heard;
    while (heard.size() < 5) {
        const std::optional<JournalFields> event = journal.Receive(seconds(20));
        ASSERT_TRUE(event) << "heard only " << heard.size() << "; " << monitor.Err();
        heard.push_back(event->at("SVCPROC_EVENT_ID") + " " + event->at("PRIORITY") + " " +
                        event->at("MESSAGE"));
    }
    EXPECT_EQ(heard[0], "1202 6 Started: 12 sensors, 4 LEDs");
    const std::vector<std::pair<std::string, std::string>> sensors = {
        {"Chassis Fan (fan 0x00020002)", " RPM"},
        {"CPU Temperature (temperature 0x00030000)", " \u00b0C"}};
    for (const auto& [sensor, unit] : sensors) {
        const std::regex asserted("1001 3 Sensor alert asserted: " + EscapedForRegex(sensor) +
                                  ", reading [0-9.]+" + unit);
        const std::regex cleared("1002 6 Sensor alert cleared: " + EscapedForRegex(sensor) +
                                 ", reading [0-9.]+" + unit);
        const auto first =
            std::find_if(heard.begin() + 1, heard.end(),
                         [&](const std::string& line) { return std::regex_match(line, asserted); });
        const auto second =
            std::find_if(heard.begin() + 1, heard.end(),
                         [&](const std::string& line) { return std::regex_match(line, cleared); });
        ASSERT_NE(first, heard.end())
            << sensor << " never asserted: " << testing::PrintToString(heard);
        ASSERT_NE(second, heard.end())
            << sensor << " never cleared: " << testing::PrintToString(heard);
        EXPECT_LT(first, second) << sensor << " cleared before it was asserted";
    }

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
