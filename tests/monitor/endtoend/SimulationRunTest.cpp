// svcproc-monitor --simulate's machine: run inside the process, found by
// SetupAPI and WMI as a real machine is, gone when the run ends.
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DefaultMachine.h"
#include "MachinePlan.h"
#include "SimDevice.h"
#include "simulation/Simulation.h"
#include "support/WmiTable.h"
#include "platform.h"
#include "socket_devices.h"
#include "wmi_provider.h"
#include "support/DeviceInterfacePaths.h"
#include "support/TempDirectory.h"

namespace {

std::vector<uint8_t> DefaultTable() {
    svcpsim::MachineDescription machine;
    std::string error;
    EXPECT_TRUE(svcpsim::LoadMachine("", &machine, &error)) << error;
    return svcpsim::PlanMachine(machine).table;
}

class SimulationRunTest : public testing::Test {
protected:
    void SetUp() override { svcp::SetDeviceDirectory(""); }
    void TearDown() override {
        svcp::SetDeviceDirectory("");
        SvcpWmiReset();
    }
};

TEST_F(SimulationRunTest, TheMachineIsTheOnlyOneTheProcessFinds) {
    // A simulator serving the device directory as well: the run hides it.
    const CTempDirectory temp("svcp-run");
    const std::string& directory = temp.Path();
    ASSERT_FALSE(directory.empty());
    svcp::SocketDeviceServer::Device other;
    other.interfaceClass = svcpsim::kSimInterfaceClass;
    other.path = svcpsim::SimDevicePath(1);
    other.driver = svcpsim::MakeSimDriver(std::make_shared<svcpsim::CSimServiceProcessor>());
    other.smbiosTable = std::vector<uint8_t>{0x7F, 0x04, 0, 0, 0, 0};
    std::string error;
    auto server = svcp::SocketDeviceServer::Start(directory, "other", other, &error);
    ASSERT_NE(server, nullptr) << error;
    svcp::SetDeviceDirectory(directory);
    EXPECT_EQ(DeviceInterfacePaths(svcpsim::kSimInterfaceClass),
              std::vector<std::wstring>{svcpsim::SimDevicePath(1)});

    {
        SimulatedMachineRun run;
        ASSERT_TRUE(run.Start("", error)) << error;
        EXPECT_EQ(DeviceInterfacePaths(svcpsim::kSimInterfaceClass),
                  std::vector<std::wstring>{svcpsim::SimDevicePath(0)});
        std::vector<uint8_t> table;
        ASSERT_TRUE(ReadWmiSmbiosTable(&table));
        EXPECT_EQ(table, DefaultTable());

        HANDLE device = CreateFileW(svcpsim::SimDevicePath(0).c_str(), GENERIC_READ | GENERIC_WRITE,
                                    0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(device, INVALID_HANDLE_VALUE);
        svcpsim::Packet packet;
        svcpsim::EncodeRequest(packet, svcpsim::kCommandReadFans, false, svcpsim::kDefaultPortBase);
        DWORD returned = 0;
        ASSERT_TRUE(DeviceIoControl(device, svcpsim::kIoctlRequestResponse, packet.data(), 96,
                                    packet.data(), 96, &returned, nullptr));
        svcpsim::Response response;
        ASSERT_TRUE(svcpsim::DecodeResponse(packet, &response));
        EXPECT_EQ(response.data.size(), 6u) << "three fans";
        CloseHandle(device);
        EXPECT_FALSE(run.Start("", error)) << "one machine per run";
    }
    EXPECT_TRUE(DeviceInterfacePaths(svcpsim::kSimInterfaceClass).empty())
        << "the run's end takes its device away";
    server.reset();
}

TEST_F(SimulationRunTest, ABadDescriptionIsExplained) {
    const std::string file = testing::TempDir() + "/simulation-run-bad.json";
    std::ofstream(file) << "{\n  \"bios\": {\"version\": 85}\n}\n";
    SimulatedMachineRun run;
    std::string error;
    EXPECT_FALSE(run.Start(file, error));
    EXPECT_EQ(error, file + ":2: /bios/version: expected a string, not 85");
    EXPECT_TRUE(DeviceInterfacePaths(svcpsim::kSimInterfaceClass).empty());
    std::remove(file.c_str());
}

}  // namespace
