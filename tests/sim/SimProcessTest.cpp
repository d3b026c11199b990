// svcproc-sim as a separate process: found in the device directory by this
// process as an application finds a driver, its alerts carried over the
// socket, a kill in mid-run leaving failed exchanges, never a hang, and the
// exit statuses of what it (and the monitor's simulation) refuses.
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "support/process/ChildProcess.h"
#include "DefaultMachine.h"
#include "MachinePlan.h"
#include "SimDevice.h"
#include "support/WmiTable.h"
#include "platform.h"
#include "socket_devices.h"
#include "wmi_provider.h"
#include "support/DeviceInterfacePaths.h"
#include "support/TempDirectory.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

class SimProcessTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(m_sDirectory.empty());
        svcp::SetDeviceDirectory(m_sDirectory);
    }
    void TearDown() override {
        svcp::SetDeviceDirectory("");
        SvcpWmiReset();
    }

    // Starts svcproc-sim serving the test's directory; true once it serves.
    bool StartSim(CChildProcess& sim, std::vector<std::string> arguments = {}) {
        std::vector<std::string> argv = {SVCPROC_SIM, "--device-dir", m_sDirectory};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        return sim.Start(argv) && sim.WaitForLine("svcproc-sim: serving", seconds(20));
    }

    CTempDirectory m_Directory{"svcp-simproc"};
    const std::string& m_sDirectory = m_Directory.Path();
};

HANDLE OpenServiceProcessor() {
    return CreateFileW(svcpsim::SimDevicePath(0).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                       OPEN_EXISTING, 0, nullptr);
}

// One exchange: 0 with the response, or the last error.
DWORD Ask(HANDLE device, uint8_t command, svcpsim::Response* response) {
    svcpsim::Packet packet;
    svcpsim::EncodeRequest(packet, command, command == svcpsim::kCommandPollAlerts,
                           svcpsim::kDefaultPortBase);
    DWORD returned = 0;
    if (!DeviceIoControl(device, svcpsim::kIoctlRequestResponse, packet.data(), 96, packet.data(),
                         96, &returned, nullptr)) {
        return GetLastError();
    }
    EXPECT_TRUE(svcpsim::DecodeResponse(packet, response));
    return ERROR_SUCCESS;
}

uint16_t Word(const std::vector<uint8_t>& data, size_t offset) {
    return static_cast<uint16_t>(data.at(offset) << 8 | data.at(offset + 1));
}

TEST_F(SimProcessTest, ServesItsMachineToOtherProcesses) {
    CChildProcess sim;
    ASSERT_TRUE(StartSim(sim, {"--quiet"})) << sim.Err();
    EXPECT_EQ(DeviceInterfacePaths(svcpsim::kSimInterfaceClass),
              std::vector<std::wstring>{svcpsim::SimDevicePath(0)});
    svcpsim::MachineDescription machine;
    std::string error;
    ASSERT_TRUE(svcpsim::LoadMachine("", &machine, &error)) << error;
    SvcpWmiReset();  // the default source: a served table first
    std::vector<uint8_t> table;
    ASSERT_TRUE(ReadWmiSmbiosTable(&table));
    EXPECT_EQ(table, svcpsim::BuildSmbiosTable(machine));

    HANDLE device = OpenServiceProcessor();
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    svcpsim::Response fans;
    ASSERT_EQ(Ask(device, svcpsim::kCommandReadFans, &fans), ERROR_SUCCESS);
    ASSERT_EQ(fans.data.size(), 6u);
    EXPECT_NEAR(Word(fans.data, 0), 3200, 40);
    EXPECT_NEAR(Word(fans.data, 2), 2400, 30);
    svcpsim::Response leds;
    ASSERT_EQ(Ask(device, svcpsim::kCommandReadLeds, &leds), ERROR_SUCCESS);
    EXPECT_EQ(Word(leds.data, 0) & 0x0001, 0x0001) << "power";
    CloseHandle(device);

    const std::string socket = m_sDirectory + "/svcproc-sim-0.sock";
    struct stat info {};
    EXPECT_EQ(stat(socket.c_str(), &info), 0);
    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.Wait(seconds(10)), 0) << sim.Err();
    EXPECT_NE(sim.Out().find("svcproc-sim: stopped"), std::string::npos);
    EXPECT_NE(stat(socket.c_str(), &info), 0) << "the socket goes with the server";
}

// A scenario that starts at once: the sim prints the change when its model
// asserts, and the alert it queued is then waiting for this process's poll.
TEST_F(SimProcessTest, AlertsCrossTheSocket) {
    const std::string file = m_sDirectory + "/fast.json";
    std::ofstream(file) << R"({"bios": {"version": "85"},
        "sensors": [{"kind": "fan", "index": 1, "description": "Pump",
                     "thresholds": {"lowerCritical": 500},
                     "behaviour": {"base": 1500, "script": [{"at": 0.2, "value": 100}]}}]})";
    CChildProcess sim;
    ASSERT_TRUE(StartSim(sim, {file})) << sim.Err();
    HANDLE device = OpenServiceProcessor();
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(sim.WaitForLine("Pump", seconds(20))) << sim.Out();
    EXPECT_NE(sim.Out().find("CRITICAL 100 RPM"), std::string::npos) << sim.Out();
    svcpsim::Response alert;
    ASSERT_EQ(Ask(device, svcpsim::kCommandPollAlerts, &alert), ERROR_SUCCESS);
    EXPECT_NE(alert.alertFlag, 0u);
    EXPECT_EQ(alert.type, svcpsim::kCommandReadFans);
    EXPECT_EQ(Word(alert.data, 0), 0x0002);
    EXPECT_EQ(Word(alert.data, 4), 100);
    CloseHandle(device);
}

TEST_F(SimProcessTest, KillingTheSimulatorGivesFailedExchangesNotAHang) {
    CChildProcess sim;
    ASSERT_TRUE(StartSim(sim, {"--quiet"})) << sim.Err();
    HANDLE device = OpenServiceProcessor();
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    svcpsim::Response response;
    ASSERT_EQ(Ask(device, svcpsim::kCommandReadVoltages, &response), ERROR_SUCCESS);

    sim.Signal(SIGKILL);
    EXPECT_EQ(sim.Wait(seconds(10)), 128 + SIGKILL);
    const auto start = std::chrono::steady_clock::now();
    for (uint8_t command :
         {svcpsim::kCommandReadVoltages, svcpsim::kCommandPollAlerts, svcpsim::kCommandReadLeds}) {
        EXPECT_EQ(Ask(device, command, &response), ERROR_DEVICE_NOT_CONNECTED);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, seconds(2));
    EXPECT_TRUE(DeviceInterfacePaths(svcpsim::kSimInterfaceClass).empty())
        << "its socket file is left, but nobody answers";
    CloseHandle(device);

    CChildProcess again;
    ASSERT_TRUE(StartSim(again, {"--quiet"})) << again.Err() << " (the stale socket is replaced)";
    EXPECT_EQ(DeviceInterfacePaths(svcpsim::kSimInterfaceClass).size(), 1u);
}

TEST_F(SimProcessTest, RefusesASecondServerAndABadDescription) {
    CChildProcess first;
    ASSERT_TRUE(StartSim(first, {"--quiet"})) << first.Err();
    CChildProcess second;
    ASSERT_TRUE(second.Start({SVCPROC_SIM, "--device-dir", m_sDirectory}));
    EXPECT_EQ(second.Wait(seconds(20)), 69);
    EXPECT_NE(second.Err().find("already served by another process"), std::string::npos)
        << second.Err();

    const std::string file = m_sDirectory + "/bad.json";
    std::ofstream(file) << "{\"bios\": {\"version\": \"85\"},\n"
                           " \"sensors\": [\n"
                           "  {\"kind\": \"fann\", \"index\": 0, \"description\": \"F\"}]}\n";
    CChildProcess bad;
    ASSERT_TRUE(bad.Start({SVCPROC_SIM, "--device-dir", m_sDirectory, file}));
    EXPECT_EQ(bad.Wait(seconds(20)), 64);
    EXPECT_NE(bad.Err().find(file + ":3: /sensors/0/kind: "), std::string::npos) << bad.Err();
}

// What both tools give for a description nested far too deep (refused at
// the limit, no stack overflow), for a FIFO (refused, not waited on), and
// what svcproc-sim gives for bad options and a device directory it must not
// create.
TEST_F(SimProcessTest, ExitStatusesOfRefusals) {
    const std::string deep = m_sDirectory + "/deep.json";
    std::ofstream(deep) << "{\"bios\": {\"version\": \"85\"},\n\"name\": " +
                               std::string(20000, '[') + std::string(20000, ']') + "}\n";
    const std::string fifo = m_sDirectory + "/fifo.json";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::vector<std::pair<std::vector<std::string>, std::string>> refusals = {
        {{SVCPROC_SIM, "--device-dir", m_sDirectory, deep},
         deep + ":2: /name/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/"
                "0/0/.../0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0: nested more than 64 levels "
                "deep\n"},
        {{SVCPROC_MONITOR, "--simulate=" + deep, "--once"}, deep + ":2: /name/0/0/0/"},
        {{SVCPROC_MONITOR, "--simulate=" + fifo, "--once"},
         "cannot read " + fifo + ": not a regular file (a FIFO)\n"},
        {{SVCPROC_SIM, "--device-dir", m_sDirectory, fifo}, "not a regular file (a FIFO)"},
        {{SVCPROC_SIM, "--instance", "0x10"}, "--instance: not a decimal whole number: 0x10\n"},
        {{SVCPROC_SIM, "--duration", "nan"}, "--duration: not a decimal number: nan\n"},
        {{SVCPROC_SIM, "a.json", "b.json"}, "b.json"},
    };
    for (const auto& [argv, message] : refusals) {
        CChildProcess tool;
        ASSERT_TRUE(tool.Start(argv, {"SVCP_DEVICE_DIR="}));
        EXPECT_EQ(tool.Wait(seconds(20)), 64) << argv.back() << ": " << tool.Err();
        EXPECT_NE(tool.Err().find(message), std::string::npos) << tool.Err();
        EXPECT_EQ(tool.Err().find("Sanitizer"), std::string::npos) << tool.Err();
    }

    const std::string missing = m_sDirectory + "/no-such-parent/devices";
    CChildProcess sim;
    ASSERT_TRUE(sim.Start({SVCPROC_SIM, "--device-dir", missing}));
    EXPECT_EQ(sim.Wait(seconds(20)), 69) << sim.Err();
    EXPECT_NE(sim.Err().find("cannot serve in " + missing + ": " + m_sDirectory +
                             "/no-such-parent is not a directory"),
              std::string::npos)
        << sim.Err();
    struct stat info {};
    EXPECT_NE(stat((m_sDirectory + "/no-such-parent").c_str(), &info), 0) << "nothing created";

    CChildProcess version;
    ASSERT_TRUE(version.Start({SVCPROC_SIM, "--version"}));
    EXPECT_EQ(version.Wait(seconds(20)), 0);
    EXPECT_EQ(version.Out(), std::string("svcproc-sim ") + SVCP_PROJECT_VERSION + "\n");
}

}  // namespace
