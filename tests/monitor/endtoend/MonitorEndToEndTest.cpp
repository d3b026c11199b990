// svcproc-monitor end to end, through its own entry point: the built-in
// simulated machine in table, JSON and Prometheus form (parsed back and
// compared with the machine's description), the scenario's alerts reaching
// its listener, failing start-ups and bad descriptions explained, and the
// monitor beside svcproc-sim as two processes, the simulator killed mid-run
// and started again.
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "support/process/ChildProcess.h"
#include "support/PrometheusText.h"
#include "support/process/SimulatorProcess.h"
#include "DefaultMachine.h"
#include "svcproc/api/SensorHandle.h"

namespace {

using nlohmann::json;
using std::chrono::seconds;

const std::vector<std::string> kNoDeviceDirectory = {"SVCP_DEVICE_DIR="};

struct MonitorRun {
    int status;
    std::string out;
    std::string err;
};

MonitorRun Monitor(const std::vector<std::string>& arguments,
                   const std::vector<std::string>& environment = kNoDeviceDirectory,
                   seconds timeout = seconds(60)) {
    std::vector<std::string> argv = {SVCPROC_MONITOR};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    CChildProcess monitor;
    EXPECT_TRUE(monitor.Start(argv, environment));
    const int status = monitor.Wait(timeout);
    return MonitorRun{status, monitor.Out(), monitor.Err()};
}

svcpsim::MachineDescription DefaultMachine() {
    svcpsim::MachineDescription machine;
    std::string error;
    EXPECT_TRUE(svcpsim::LoadMachine("", &machine, &error)) << error;
    return machine;
}

// The exported value of an SMBIOS word: unknown ones are null.
json Exported(const std::optional<uint16_t>& word) {
    return word ? json(*word) : json(nullptr);
}

std::string TempFile(const std::string& name, const std::string& content) {
    const std::string path = testing::TempDir() + "/" + name;
    std::ofstream(path) << content;
    return path;
}

TEST(MonitorEndToEnd, JsonDescribesTheBuiltInMachine) {
    const MonitorRun run = Monitor({"--simulate", "--once", "--format", "json"});
    ASSERT_EQ(run.status, 0) << run.err;
    const json document = json::parse(run.out);
    EXPECT_EQ(document["format"], "svcproc-monitor");
    EXPECT_EQ(document["startup"]["result"], 0);

    const svcpsim::MachineDescription machine = DefaultMachine();
    ASSERT_EQ(document["sensors"].size(), machine.sensors.size());
    const char* const kindName[] = {"voltage", "fan", "temperature"};
    const uint16_t baseUnits[] = {5, 19, 2};
    for (const svcpsim::SensorDescription& described : machine.sensors) {
        SCOPED_TRACE(described.description);
        const size_t kind = svcpsim::KindIndex(described.kind);
        // The simulator's kinds are the handle kinds the library gives.
        const unsigned long handle =
            ServiceApi::MakeHandle(svcpsim::HandleKindOf(described.kind), described.index);
        const json* found = nullptr;
        for (const json& sensor : document["sensors"]) {
            if (sensor["handle"] == handle) {
                found = &sensor;
            }
        }
        ASSERT_NE(found, nullptr);
        const json& info = (*found)["information"];
        EXPECT_EQ((*found)["description"], described.description);
        EXPECT_EQ((*found)["kind"], kindName[kind]);
        EXPECT_EQ(info["baseUnits"], baseUnits[kind]);
        EXPECT_EQ(info["nominalReading"], Exported(described.nominal));
        EXPECT_EQ(info["lowerThresholdNonCritical"],
                  Exported(described.thresholds[svcpsim::kLowerNonCritical]));
        EXPECT_EQ(info["upperThresholdCritical"],
                  Exported(described.thresholds[svcpsim::kUpperCritical]));
        EXPECT_EQ(info["upperThresholdFatal"],
                  Exported(described.thresholds[svcpsim::kUpperNonRecoverable]));
        if (!described.behaviour.script.empty()) {
            continue;  // its value depends on how long start-up took
        }
        EXPECT_EQ((*found)["state"], "ok");
        const double raw = (*found)["reading"]["raw"];
        const double wireRounding = described.kind == svcpsim::SensorKind::Fan ? 0 : 10;
        EXPECT_NEAR(raw, described.behaviour.base, described.behaviour.noise + wireRounding);
    }
    ASSERT_EQ(document["leds"].size(), machine.leds.size());
    EXPECT_EQ(document["leds"][0]["description"], "Power");
    EXPECT_EQ(document["leds"][0]["on"], true);
    EXPECT_EQ(document["leds"][3]["on"], false);
}

TEST(MonitorEndToEnd, PrometheusExposesTheBuiltInMachine) {
    const MonitorRun run = Monitor({"--simulate", "--once", "--format=prometheus"});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::map<std::string, double> samples = PrometheusSamples(run.out);
    EXPECT_EQ(samples.at("svcproc_up"), 1);
    size_t fans = 0;
    for (const auto& [name, value] : samples) {
        fans += name.rfind("svcproc_fan_speed_rpm{", 0) == 0;
    }
    EXPECT_EQ(fans, 3u);
    const std::string chassis = R"({id="0x00020002",name="Chassis Fan")";
    EXPECT_NEAR(samples.at("svcproc_fan_speed_rpm" + chassis + "}"), 1800, 25);
    EXPECT_EQ(samples.at("svcproc_fan_speed_state" + chassis + "}"), 0);
    EXPECT_EQ(
        samples.at("svcproc_fan_speed_threshold_rpm" + chassis + R"(,threshold="lower_critical"})"),
        500);
    EXPECT_EQ(samples.count("svcproc_fan_speed_threshold_rpm" + chassis +
                            R"(,threshold="upper_critical"})"),
              0u)
        << "unknown thresholds are left out";
    EXPECT_DOUBLE_EQ(samples.at(R"(svcproc_voltage_threshold_volts{id="0x00010000",name="+3.3 V",)"
                                R"(threshold="upper_critical"})"),
                     3.63);
    EXPECT_DOUBLE_EQ(samples.at(R"(svcproc_temperature_threshold_celsius{id="0x00030000",)"
                                R"(name="CPU Temperature",threshold="upper_critical"})"),
                     85);
    EXPECT_EQ(samples.at(R"(svcproc_led_on{id="0x00040001",name="Power"})"), 1);
}

TEST(MonitorEndToEnd, TableShowsHumanUnitsAndUnknownThresholds) {
    const MonitorRun run = Monitor({"--simulate", "--once", "--color", "never"});
    ASSERT_EQ(run.status, 0) << run.err;
    std::map<std::string, std::vector<std::string>> rows;  // by description
    std::istringstream lines(run.out);
    std::string line;
    const std::regex gap("  +");
    while (std::getline(lines, line)) {
        std::vector<std::string> cells(
            std::sregex_token_iterator(line.begin(), line.end(), gap, -1), {});
        if (cells.size() >= 3) {
            rows[cells[2]] = cells;
        }
    }
    // ID, kind, description, reading, state, LNR, LCR, LNC, UNC, UCR, UNR
    const std::vector<std::string>& chassis = rows.at("Chassis Fan");
    ASSERT_EQ(chassis.size(), 11u);
    EXPECT_TRUE(std::regex_match(chassis[3], std::regex("1[78][0-9]{2} RPM"))) << chassis[3];
    EXPECT_EQ(chassis[4], "Ok");
    EXPECT_EQ(chassis[5], "na");
    EXPECT_EQ(chassis[6], "500 RPM");
    EXPECT_EQ(chassis[10], "na");
    const std::vector<std::string>& volts = rows.at("+3.3 V");
    EXPECT_TRUE(std::regex_match(volts[3], std::regex("3\\.[23][0-9]{2} V"))) << volts[3];
    EXPECT_EQ(volts[9], "3.630 V");
    EXPECT_EQ(rows.at("CPU Temperature")[9], "85.0 \u00B0C");
    EXPECT_EQ(rows.at("Power")[4], "on");
}

// The built-in scenario as a person watching it for the README's bounded
// run sees it: the chassis fan and the CPU temperature each go critical and
// come back, in the scenario's order.
TEST(MonitorEndToEnd, TheScenariosAlertsReachTheListener) {
    const MonitorRun run =
        Monitor({"--simulate", "--watch", "--duration", "12", "--color", "never"});
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<std::string> alerts;
    std::istringstream lines(run.out);
    std::string line;
    const std::regex alert("[0-9:]{8}  (ASSERTED|CLEARED)  +(0x[0-9a-f]{8}) .*");
    std::smatch match;
    while (std::getline(lines, line)) {
        if (std::regex_match(line, match, alert)) {
            alerts.push_back(match[1].str() + " " + match[2].str());
        }
    }
    EXPECT_EQ(alerts, (std::vector<std::string>{"ASSERTED 0x00020002", "ASSERTED 0x00030000",
                                                "CLEARED 0x00020002", "CLEARED 0x00030000"}))
        << run.out;
}

TEST(MonitorEndToEnd, AFailingStartUpIsExplained) {
    const std::string replay =
        TempFile("monitor-replay.json", R"({"smbiosTable": ")" + std::string(SVCP_SMBIOS_DATA_DIR) +
                                            R"(/gosmbios-1.bin"})");
    const std::string log = testing::TempDir() + "/monitor-replay.log";
    std::remove(log.c_str());
    MonitorRun run = Monitor({"--simulate=" + replay, "--once", "--format", "json", "--log-level",
                              "3", "--log-file", log});
    EXPECT_EQ(run.status, 5) << "no service processor: its result code";
    EXPECT_NE(run.err.find("NoServiceProcessor"), std::string::npos) << run.err;
    EXPECT_EQ(json::parse(run.out)["startup"]["result"], 5) << "scripts still get a document";
    std::ifstream logFile(log);
    const std::string logged{std::istreambuf_iterator<char>(logFile), {}};
    EXPECT_NE(logged.find("Found 2 Type 34 Management Device(s)"), std::string::npos)
        << "the walk of the real table is logged first";

    const std::string otherFamily =
        TempFile("monitor-86.json", R"({"bios": {"version": "86.01"}, "sensors": [
            {"kind": "fan", "index": 0, "description": "F"}],
            "leds": [{"bitMap": 1, "description": "L"}]})");
    run = Monitor({"--simulate=" + otherFamily, "--once"});
    EXPECT_EQ(run.status, 3);
    EXPECT_NE(run.err.find("SmbiosInventoryFailed"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("8D, 84 or 85"), std::string::npos) << run.err;
}

TEST(MonitorEndToEnd, AMalformedDescriptionNamesItsLineAndField) {
    const std::string bad = TempFile("monitor-bad.json",
                                     "{\"bios\": {\"version\": \"85\"},\n"
                                     " \"leds\": [{\"bitMap\": 1,\n"
                                     "   \"description\": \"\"}]}\n");
    const MonitorRun run = Monitor({"--simulate=" + bad, "--once"});
    EXPECT_EQ(run.status, 64);
    EXPECT_NE(
        run.err.find("svcproc-monitor: " + bad + ":3: /leds/0/description: must not be empty"),
        std::string::npos)
        << run.err;
    EXPECT_TRUE(run.out.empty());
}

// Each refusal is one message, exit status 64, and nothing else: no output,
// no start-up, no log file.
TEST(MonitorEndToEnd, BadOptionsAreRefusedWithAClearMessage) {
    const struct {
        std::vector<std::string> arguments;
        std::string message;
    } rows[] = {
        {{"--interval", "nan"}, "--interval: expected a decimal number of seconds"},
        {{"--interval", "inf"}, "--interval: expected a decimal number of seconds"},
        {{"--interval=1e300"}, "--interval: expected a decimal number of seconds"},
        {{"--interval", "0x10"}, "--interval: expected a decimal number of seconds"},
        {{"--interval", "-1"}, "--interval: expected a decimal number of seconds"},
        {{"--interval", "0.01"}, "--interval: expected at least 0.05 and at most 86400 seconds"},
        {{"--interval", "86401"}, "--interval: expected at least 0.05 and at most 86400 seconds"},
        {{"--interval"}, "--interval: 1 required SECONDS missing"},
        {{"--duration", "nan"}, "--duration: expected a decimal number of seconds"},
        {{"--duration", "0"}, "--duration: expected more than 0"},
        {{"--duration", "1,5"}, "--duration: expected a decimal number of seconds"},
        {{"--once", "--watch"}, "--once excludes --watch"},
        {{"--simulate", "machine.json"}, "use --simulate=FILE"},
        {{"--format", "xml"}, "--format: expected table, json, ndjson or prometheus, not 'xml'"},
        {{"--color", "sometimes"}, "--color: expected auto, always or never"},
        {{"--log-level", "5"}, "--log-level: expected 0, 1, 2, 3 or 4"},
        {{"--log-level", "0x3"}, "--log-level: expected 0, 1, 2, 3 or 4"},
        {{"--once=yes"}, "once was given a disallowed flag override"},
        {{"--bogus"}, "The following argument was not expected: --bogus"},
    };
    const std::string log = testing::TempDir() + "/monitor-bad-options.log";
    for (const auto& row : rows) {
        SCOPED_TRACE(row.arguments[0]);
        std::remove(log.c_str());
        std::vector<std::string> arguments = {"--simulate", "--log-level=4", "--log-file", log};
        arguments.insert(arguments.end(), row.arguments.begin(), row.arguments.end());
        const MonitorRun run = Monitor(arguments);
        EXPECT_EQ(run.status, 64);
        EXPECT_EQ(run.err.rfind("svcproc-monitor: ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find(row.message), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 2) << "the message and a hint";
        EXPECT_EQ(run.out, "");
        EXPECT_FALSE(std::ifstream(log).good()) << "nothing started";
    }
}

TEST(MonitorEndToEnd, VersionAndHelp) {
    MonitorRun run = Monitor({"--version"});
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(std::regex_match(run.out, std::regex("svcproc-monitor [0-9]+\\.[0-9]+\\.[0-9]+\n")))
        << run.out;
    run = Monitor({"--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("74     the output"), std::string::npos) << run.out;
}

// The monitor with its standard output sent to `target` by a shell.
MonitorRun MonitorInto(const std::string& target, const std::vector<std::string>& arguments) {
    std::vector<std::string> shell = {"/bin/sh", "-c", "exec \"$0\" \"$@\" > " + target,
                                      SVCPROC_MONITOR};
    shell.insert(shell.end(), arguments.begin(), arguments.end());
    CChildProcess monitor;
    EXPECT_TRUE(monitor.Start(shell, kNoDeviceDirectory));
    const int status = monitor.Wait(seconds(60));
    return MonitorRun{status, monitor.Out(), monitor.Err()};
}

TEST(MonitorEndToEnd, AnOutputThatCannotBeWrittenIsExitStatus74) {
    if (!std::ifstream("/dev/full").good()) {
        GTEST_SKIP() << "no /dev/full";
    }
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{"--simulate", "--once"},
                                               {"--simulate", "--once", "--format", "json"},
                                               {"--simulate", "--watch", "--duration", "1"},
                                               {"--help"}}) {
        SCOPED_TRACE(arguments.back());
        const MonitorRun run = MonitorInto("/dev/full", arguments);
        EXPECT_EQ(run.status, 74);
        EXPECT_NE(run.err.find("svcproc-monitor: cannot write standard output: No space left on "
                               "device"),
                  std::string::npos)
            << run.err;
    }
    const std::string directory = testing::TempDir() + "/monitor-no-such-dir/out.prom";
    const MonitorRun run =
        Monitor({"--simulate", "--once", "--format", "prometheus", "--output", directory});
    EXPECT_EQ(run.status, 74);
    EXPECT_NE(run.err.find("svcproc-monitor: cannot write " + directory), std::string::npos)
        << run.err;
    const MonitorRun plain = MonitorInto("/dev/null", {"--simulate", "--once"});
    EXPECT_EQ(plain.status, 0) << plain.err;
}

// A watch started before its machine (at boot, before the driver) keeps
// trying, says so, and shows the machine once it is there.
TEST(MonitorEndToEnd, AWatchRetriesStartUpUntilTheMachineAppears) {
    CSimulatorProcess sim(SVCPROC_SIM);
    CChildProcess watch;
    ASSERT_TRUE(watch.Start({SVCPROC_MONITOR, "--watch", "--interval", "0.2", "--color", "never"},
                            sim.Environment()));
    ASSERT_TRUE(watch.WaitForLine("Retrying every 0.2 s; next attempt at", seconds(20)))
        << watch.Out() << watch.Err();
    ASSERT_TRUE(watch.WaitForLine("Retrying every 0.2 s; next attempt at", seconds(20)))
        << "a second attempt";
    ASSERT_TRUE(sim.Launch());
    EXPECT_TRUE(watch.WaitForLine("Chassis Fan", seconds(20))) << watch.Out() << watch.Err();
    watch.Signal(SIGTERM);
    EXPECT_EQ(watch.Wait(seconds(20)), 0) << watch.Err();
    EXPECT_NE(watch.Err().find("svcproc-monitor: start-up failed with"), std::string::npos);
    EXPECT_NE(watch.Err().find("svcproc-monitor: retrying every 0.2 s"), std::string::npos);
    EXPECT_NE(watch.Err().find("svcproc-monitor: started"), std::string::npos) << watch.Err();
    EXPECT_EQ(sim.Stop(), 0);
}

TEST(MonitorEndToEnd, BesideASimulatorProcessThatIsKilledMidRun) {
    CSimulatorProcess sim(SVCPROC_SIM);
    ASSERT_TRUE(sim.Start()) << sim.Process().Err();
    const std::vector<std::string> environment = sim.Environment();

    const MonitorRun once = Monitor({"--once", "--format", "json"}, environment);
    ASSERT_EQ(once.status, 0) << once.err;
    EXPECT_EQ(json::parse(once.out)["sensors"].size(), DefaultMachine().sensors.size());

    CChildProcess watch;
    ASSERT_TRUE(watch.Start(
        {SVCPROC_MONITOR, "--watch", "--duration", "4", "--interval", "0.5", "--format", "ndjson"},
        environment));
    ASSERT_TRUE(watch.WaitForLine("\"format\"", seconds(20))) << watch.Err();
    EXPECT_EQ(sim.Kill(), 128 + SIGKILL);
    const auto killed = std::chrono::steady_clock::now();
    EXPECT_EQ(watch.Wait(seconds(30)), 0) << watch.Err();
    EXPECT_LT(std::chrono::steady_clock::now() - killed, seconds(15)) << "no hang";
    // ndjson: one document a line.
    std::vector<json> documents;
    std::istringstream lines(watch.Out());
    for (std::string line; std::getline(lines, line);) {
        documents.push_back(json::parse(line));
    }
    ASSERT_GE(documents.size(), 3u);
    EXPECT_EQ(documents.front()["serviceProcessor"]["answering"], true);
    const json& last = documents.back();
    // The readings stay the last received; the link says they are.
    EXPECT_EQ(last["serviceProcessor"]["answering"], false);
    ASSERT_EQ(last["sensors"].size(), DefaultMachine().sensors.size());
    for (const json& sensor : last["sensors"]) {
        EXPECT_EQ(sensor["readResult"], 0) << "the last values, still";
        EXPECT_FALSE(sensor["reading"].is_null());
    }
}

// The tables of a watch written to a pipe, one after another.
struct WatchedTable {
    std::string banner;     // "" when there was none
    size_t rows = 0;        // sensors and LEDs
    size_t markedRows = 0;  // with the stale mark
};

std::vector<WatchedTable> Tables(const std::string& out) {
    std::vector<WatchedTable> tables;
    std::string previous;
    const std::regex row("0x[0-9a-f]{8}  .*");
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line); previous = line) {
        if (line.rfind("ID ", 0) == 0 && line.find("Reading") != std::string::npos) {
            WatchedTable table;
            if (previous.rfind("service processor", 0) == 0) {
                table.banner = previous;
            }
            tables.push_back(table);
        } else if (!tables.empty() && std::regex_match(line, row)) {
            ++tables.back().rows;
            tables.back().markedRows += line.find('*') != std::string::npos;
        }
    }
    return tables;
}

// Seconds since midnight of an "HH:MM:SS" text.
int ClockSeconds(const std::string& text) {
    return std::stoi(text.substr(0, 2)) * 3600 + std::stoi(text.substr(3, 2)) * 60 +
           std::stoi(text.substr(6, 2));
}

int LocalClockSeconds(std::chrono::system_clock::time_point time) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm local{};
    localtime_r(&seconds, &local);
    return local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
}

// The table's banner and the JSON's link status follow svcproc-sim killed and
// started again on the same socket, which the open device reaches again.
TEST(MonitorEndToEnd, TableAndJsonFollowASimulatorThatIsKilledAndStartedAgain) {
    CSimulatorProcess sim(SVCPROC_SIM);
    ASSERT_TRUE(sim.Start()) << sim.Process().Err();
    const std::vector<std::string> environment = sim.Environment();

    CChildProcess table;
    ASSERT_TRUE(table.Start({SVCPROC_MONITOR, "--watch", "--interval", "0.25", "--color", "never"},
                            environment));
    CChildProcess ndjson;
    ASSERT_TRUE(ndjson.Start(
        {SVCPROC_MONITOR, "--watch", "--interval", "0.25", "--format", "ndjson"}, environment));
    ASSERT_TRUE(table.WaitForLine("Chassis Fan", seconds(20))) << table.Err();
    // The third document comes half a second after start-up, when the alert
    // poll (every 100 ms) has been answered.
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(ndjson.WaitForLine("\"answering\":true", seconds(20))) << ndjson.Err();
    }

    ASSERT_EQ(sim.Kill(), 128 + SIGKILL);
    const auto killedAt = std::chrono::system_clock::now();
    const auto killed = std::chrono::steady_clock::now();
    auto left = [](std::chrono::steady_clock::time_point since) {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            since + seconds(2) - std::chrono::steady_clock::now());
    };
    EXPECT_TRUE(table.WaitForLine("service processor not answering since", left(killed)))
        << table.Out();
    EXPECT_TRUE(ndjson.WaitForLine("\"answering\":false", left(killed)));
    // Every kind's cached readings expire (500 ms) and their reads fail too.
    std::this_thread::sleep_for(seconds(1));

    ASSERT_TRUE(sim.Start()) << sim.Process().Err();
    const auto restarted = std::chrono::steady_clock::now();
    EXPECT_TRUE(ndjson.WaitForLine("\"answering\":true", left(restarted)));
    // The table's last frame within the same time has no banner (below).
    std::this_thread::sleep_until(restarted + seconds(2));
    table.Signal(SIGTERM);
    ndjson.Signal(SIGTERM);
    EXPECT_EQ(table.Wait(seconds(20)), 0) << table.Err();
    EXPECT_EQ(ndjson.Wait(seconds(20)), 0) << ndjson.Err();
    EXPECT_EQ(sim.Stop(), 0);

    const std::vector<WatchedTable> tables = Tables(table.Out());
    ASSERT_GE(tables.size(), 3u) << table.Out();
    const size_t rows = tables.front().rows;
    EXPECT_EQ(rows, DefaultMachine().sensors.size() + DefaultMachine().leds.size());
    EXPECT_EQ(tables.front().banner, "");
    EXPECT_EQ(tables.back().banner, "") << "answers returned";
    EXPECT_EQ(tables.back().markedRows, 0u);
    std::set<std::string> banners;
    size_t mostMarked = 0;
    for (const WatchedTable& watched : tables) {
        if (!watched.banner.empty()) {
            banners.insert(watched.banner);
            mostMarked = std::max(mostMarked, watched.markedRows);
        } else {
            EXPECT_EQ(watched.markedRows, 0u);
        }
    }
    ASSERT_EQ(banners.size(), 1u) << "one outage, its time held";
    const std::string& banner = *banners.begin();
    std::smatch since;
    ASSERT_TRUE(std::regex_match(
        banner, since,
        std::regex("service processor not answering since ([0-9]{2}:[0-9]{2}:[0-9]{2}); "
                   "readings are the last received")))
        << banner;
    const int difference =
        (LocalClockSeconds(killedAt) - ClockSeconds(since[1].str()) + 86400) % 86400;
    EXPECT_LE(difference, 2) << "the last answer before the kill, in local time";
    EXPECT_EQ(mostMarked, rows) << "every reading is the last received";

    std::vector<json> documents;
    std::istringstream lines(ndjson.Out());
    for (std::string line; std::getline(lines, line);) {
        documents.push_back(json::parse(line));
    }
    const auto down = std::find_if(documents.begin(), documents.end(), [](const json& document) {
        return !document["serviceProcessor"]["answering"];
    });
    ASSERT_NE(down, documents.end());
    const json& poll = (*down)["serviceProcessor"]["exchanges"]["alertPoll"];
    EXPECT_GT(poll["consecutiveFailures"], 0);
    EXPECT_FALSE(poll["lastResponse"].is_null());
    EXPECT_EQ(documents.back()["serviceProcessor"]["answering"], true);
    for (const auto& [name, exchange] : documents.back()["serviceProcessor"]["exchanges"].items()) {
        EXPECT_EQ(exchange["consecutiveFailures"], 0) << name;
    }
}

}  // namespace
