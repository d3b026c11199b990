// The table a description makes, read back; replayed tables; steady readings.
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DefaultMachine.h"
#include "MachinePlan.h"
#include "SmbiosInventory.h"
#include "SteadyReading.h"
#include "sim/smbios/SmbiosTableBuilder.h"

namespace svcpsim {
namespace {

namespace smbios = svcp::sim;

MachineDescription DefaultDescription() {
    MachineDescription machine;
    std::string error;
    EXPECT_TRUE(LoadMachine("", &machine, &error)) << error;
    return machine;
}

TEST(MachineTable, ReadsBackAsTheDescribedSensorsAndLeds) {
    const MachineDescription machine = DefaultDescription();
    const SmbiosInventory inventory = ReadSmbiosInventory(BuildSmbiosTable(machine));
    EXPECT_EQ(inventory.biosVersion, machine.bios.version);
    ASSERT_EQ(inventory.devices.size(), 2u);
    ASSERT_TRUE(inventory.serviceProcessor.has_value());
    EXPECT_EQ(inventory.serviceProcessor->address, machine.serviceProcessor.address);
    EXPECT_EQ(inventory.devices[1].description, machine.otherDevices[0].description);

    ASSERT_EQ(inventory.sensors.size(), machine.sensors.size());
    for (size_t i = 0; i < machine.sensors.size(); ++i) {
        const SensorDescription& described = machine.sensors[i];
        const InventorySensor& read = inventory.sensors[i];
        SCOPED_TRACE(described.description);
        EXPECT_EQ(read.kind, described.kind);
        EXPECT_EQ(read.index, described.index);
        EXPECT_EQ(read.description, described.description);
        EXPECT_EQ(read.minimum, described.minimum);
        EXPECT_EQ(read.maximum, described.maximum);
        EXPECT_EQ(read.resolution, described.resolution);
        EXPECT_EQ(read.accuracy, described.accuracy);
        EXPECT_EQ(read.nominal, described.nominal);
        EXPECT_EQ(read.thresholds, described.thresholds);
    }
    ASSERT_EQ(inventory.leds.size(), machine.leds.size());
    for (size_t i = 0; i < machine.leds.size(); ++i) {
        EXPECT_EQ(inventory.leds[i].bitMap, machine.leds[i].bitMap);
        EXPECT_EQ(inventory.leds[i].description, machine.leds[i].description);
    }
}

TEST(MachineTable, ASensorWithoutThresholdsHasNone) {
    MachineDescription machine;
    machine.bios.version = "85";
    machine.serviceProcessor.description = kServiceProcessorDescription;
    SensorDescription fan;
    fan.kind = SensorKind::Fan;
    fan.index = 4;
    fan.description = "Pump";
    machine.sensors.push_back(fan);
    const SmbiosInventory inventory = ReadSmbiosInventory(BuildSmbiosTable(machine));
    ASSERT_EQ(inventory.sensors.size(), 1u);
    EXPECT_EQ(inventory.sensors[0].index, 4u);
    EXPECT_EQ(inventory.sensors[0].thresholds, ThresholdWords());
    EXPECT_EQ(inventory.sensors[0].nominal, std::nullopt);
}

// A table with the service processor and another chip, each with sensors.
std::vector<uint8_t> TwoChipTable() {
    smbios::SmbiosTableBuilder builder;
    smbios::BiosInformation bios;
    bios.version = "8D.02";
    builder.AddBiosInformation(bios);
    smbios::ManagementDevice other;
    other.handle = 0x10;
    other.description = "LM78";
    smbios::ManagementDevice chip;
    chip.handle = 0x20;
    chip.description = kServiceProcessorDescription;
    builder.AddManagementDevice(other).AddManagementDevice(chip);

    auto component = [&](uint16_t device, uint16_t sensor, uint16_t threshold, const char* text) {
        smbios::ManagementDeviceComponent link;
        link.managementDeviceHandle = device;
        link.componentHandle = sensor;
        link.thresholdHandle = threshold;
        link.description = text;
        builder.AddComponent(link);
    };
    smbios::Probe volts;
    volts.handle = 0x30;
    volts.description = "+5 V";
    volts.oemDefined = 0xAB02;  // index 2
    volts.nominalValue = 5000;
    smbios::ManagementDeviceThreshold voltLimits;
    voltLimits.handle = 0x31;
    voltLimits.thresholds[2] = 4500;
    voltLimits.thresholds[3] = 5500;
    builder.AddVoltageProbe(volts).AddThreshold(voltLimits);
    component(0x20, 0x30, 0x31, "ignored for probes");

    smbios::CoolingDevice pump;
    pump.handle = 0x40;
    pump.oemDefined = 1;
    smbios::ManagementDeviceThreshold pumpLimits;
    pumpLimits.handle = 0x41;
    pumpLimits.thresholds[2] = 300;
    builder.AddCoolingDevice(pump).AddThreshold(pumpLimits);
    component(0x20, 0x40, 0x41, "Pump");
    component(0x20, 0x40, 0xFFFF, "Pump again");  // the same sensor a second time

    smbios::Probe far;
    far.handle = 0x50;
    far.description = "Beyond a report";
    far.oemDefined = 40;
    builder.AddVoltageProbe(far);
    component(0x20, 0x50, 0xFFFF, "");

    smbios::Probe foreign;
    foreign.handle = 0x60;
    foreign.description = "LM78 temperature";
    builder.AddTemperatureProbe(foreign);
    component(0x10, 0x60, 0xFFFF, "");
    component(0x20, 0x77, 0xFFFF, "names no sensor");

    smbios::Led power;
    power.bitMap = 0x0010;
    power.description = "Power";
    smbios::Led fault;
    fault.bitMap = 0x0001;
    fault.description = "Fault";
    return builder.AddLed(power).AddLed(fault).AddEndOfTable().Build();
}

TEST(MachineReplay, AnswersForTheServiceProcessorsSensorsOnly) {
    MachineDescription machine;
    machine.smbiosTablePath = "two-chips.bin";
    machine.smbiosTable = TwoChipTable();
    const MachinePlan plan = PlanMachine(machine);
    EXPECT_EQ(plan.table, machine.smbiosTable) << "served unchanged";

    ASSERT_EQ(plan.sensors.size(), 2u);
    EXPECT_EQ(plan.sensors[0].kind, SensorKind::Voltage);
    EXPECT_EQ(plan.sensors[0].index, 2u);
    EXPECT_EQ(plan.sensors[0].description, "+5 V");
    EXPECT_EQ(plan.sensors[0].critical.lowerCritical, 4500);
    EXPECT_EQ(plan.sensors[0].critical.upperCritical, 5500);
    EXPECT_DOUBLE_EQ(plan.sensors[0].behaviour.base, 5000);
    EXPECT_EQ(plan.sensors[1].kind, SensorKind::Fan);
    EXPECT_EQ(plan.sensors[1].index, 1u);
    EXPECT_EQ(plan.sensors[1].description, "Pump") << "a fan's text comes from its component";
    EXPECT_EQ(plan.sensors[1].critical.upperCritical, std::nullopt);
    EXPECT_GT(plan.sensors[1].behaviour.base, 300);

    ASSERT_EQ(plan.leds.size(), 2u);
    EXPECT_EQ(plan.leds[0].drive.mode, LedDrive::Mode::On);
    EXPECT_EQ(plan.leds[1].drive.mode, LedDrive::Mode::Off);
    EXPECT_EQ(plan.leds[1].bitMap, 0x0001);
}

std::vector<uint8_t> ReadTable(const std::string& name) {
    std::ifstream file(std::string(SVCP_SMBIOS_DATA_DIR) + "/" + name, std::ios::binary);
    EXPECT_TRUE(file.good()) << name;
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {});
}

TEST(MachineReplay, ARealTableWithoutTheServiceProcessorGivesNoSensors) {
    MachineDescription machine;
    machine.smbiosTablePath = "gosmbios-1.bin";
    machine.smbiosTable = ReadTable("gosmbios-1.bin");
    const MachinePlan plan = PlanMachine(machine);
    EXPECT_EQ(plan.table, machine.smbiosTable);
    EXPECT_TRUE(plan.sensors.empty());
    EXPECT_TRUE(plan.leds.empty());
}

// The reader on a table nobody here wrote. Its LM78's components name
// handles one below those of its sensors and thresholds (the device itself, a
// threshold structure, another component), so nothing joins, as the library
// finds too.
TEST(SmbiosInventory, JoinsOnlyWhatTheHandlesName) {
    const SmbiosInventory inventory = ReadSmbiosInventory(ReadTable("gosmbios-1.bin"), "LM78-1");
    EXPECT_EQ(inventory.devices.size(), 2u);
    ASSERT_TRUE(inventory.serviceProcessor.has_value());
    EXPECT_EQ(inventory.serviceProcessor->handle, 96);
    EXPECT_TRUE(inventory.sensors.empty());
}

TEST(SmbiosInventory, StaysInsideTruncatedTables) {
    const std::vector<uint8_t> table = TwoChipTable();
    ASSERT_EQ(ReadSmbiosInventory(table).sensors.size(), 4u) << "the pump twice";
    for (size_t size = 0; size < table.size(); ++size) {
        const std::vector<uint8_t> cut(table.begin(), table.begin() + size);
        const SmbiosInventory inventory = ReadSmbiosInventory(cut);
        EXPECT_LE(inventory.sensors.size(), 4u);
    }
}

TEST(SteadyReading, TakesTheFirstCandidateInsideEveryThreshold) {
    ThresholdWords none;
    EXPECT_DOUBLE_EQ(SteadyReading(SensorKind::Voltage, 1200, std::nullopt, std::nullopt, none),
                     1200);
    ThresholdWords limits;
    limits[kLowerCritical] = 1000;
    limits[kUpperCritical] = 1400;
    EXPECT_DOUBLE_EQ(SteadyReading(SensorKind::Voltage, 1500, std::nullopt, std::nullopt, limits),
                     1200)
        << "a nominal value outside the thresholds is passed over";
    limits[kLowerNonCritical] = 1100;
    limits[kUpperNonCritical] = 1360;
    EXPECT_DOUBLE_EQ(
        SteadyReading(SensorKind::Voltage, std::nullopt, std::nullopt, std::nullopt, limits), 1230);
    EXPECT_DOUBLE_EQ(SteadyReading(SensorKind::Temperature, std::nullopt, 0, 1000, none), 500);
    EXPECT_DOUBLE_EQ(SteadyReading(SensorKind::Fan, std::nullopt, std::nullopt, std::nullopt, none),
                     2000);
    ThresholdWords hot;
    hot[kUpperCritical] = 300;
    EXPECT_DOUBLE_EQ(
        SteadyReading(SensorKind::Temperature, std::nullopt, std::nullopt, std::nullopt, hot), 270)
        << "a tenth inside the only bound";
    ThresholdWords fast;
    fast[kLowerCritical] = 5000;
    EXPECT_DOUBLE_EQ(SteadyReading(SensorKind::Fan, std::nullopt, std::nullopt, std::nullopt, fast),
                     5501);
}

}  // namespace
}  // namespace svcpsim
