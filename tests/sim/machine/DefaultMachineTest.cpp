// The built-in machine is the shipped example file, and it is the machine the
// demonstration needs.
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "DefaultMachine.h"

namespace svcpsim {
namespace {

TEST(DefaultMachine, IsTheShippedExampleFile) {
    std::ifstream file(SVCP_DEFAULT_MACHINE_FILE, std::ios::binary);
    ASSERT_TRUE(file.good());
    const std::string shipped{std::istreambuf_iterator<char>(file), {}};
    EXPECT_EQ(std::string(DefaultMachineText()), shipped);
}

TEST(DefaultMachine, IsAPointOfSaleTerminalTheLibraryListsWhole) {
    MachineDescription machine;
    std::string error;
    ASSERT_TRUE(LoadMachine("", &machine, &error)) << error;
    EXPECT_EQ(machine.bios.version.substr(0, 2), "85") << "so that the chassis fan is listed";
    size_t counts[kSensorKinds] = {};
    size_t chassisFans = 0;
    for (const SensorDescription& sensor : machine.sensors) {
        ++counts[KindIndex(sensor.kind)];
        chassisFans += sensor.kind == SensorKind::Fan && sensor.description == "Chassis Fan";
    }
    EXPECT_GE(counts[KindIndex(SensorKind::Voltage)], 5u);
    EXPECT_EQ(counts[KindIndex(SensorKind::Fan)], 3u);
    EXPECT_GE(counts[KindIndex(SensorKind::Temperature)], 3u);
    EXPECT_EQ(chassisFans, 1u);
    EXPECT_GE(machine.leds.size(), 3u);
}

}  // namespace
}  // namespace svcpsim
