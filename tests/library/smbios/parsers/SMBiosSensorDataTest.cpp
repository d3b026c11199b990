// Sensors of one management device: the records of Types 26, 27, 28, 35 and
// 36 and the rules that join them.
#include <gtest/gtest.h>

#include "ParserTestSupport.h"
#include "support/SmbiosSamples.h"
#include "svcproc/smbios/SMBiosSensorData.h"

namespace smbios_test {
namespace {

using smbios_sample::Component;
using smbios_sample::Fan;
using smbios_sample::TemperatureProbe;
using smbios_sample::Threshold;
using smbios_sample::VoltageProbe;
using svcp::sim::CoolingDevice;
using svcp::sim::ManagementDeviceThreshold;
using svcp::sim::Probe;
using svcp::sim::RawStructure;
using svcp::sim::SmbiosTableBuilder;

constexpr uint16_t kChip = smbios_sample::kChip;
constexpr uint16_t kOtherChip = 0x0031;
constexpr uint16_t kNone = 0xFFFF;

class SensorData : public ParserTest {
protected:
    // Sensors, then thresholds, then components, as firmware often orders
    // them; each component exercises one rule.
    CRawSMBios* Inventory() {
        return Table(SmbiosTableBuilder()
                         .AddBiosInformation(Bios())
                         .AddVoltageProbe(VoltageProbe())
                         .AddCoolingDevice(Fan())
                         .AddTemperatureProbe(TemperatureProbe())
                         .AddThreshold(Threshold(0x0050))
                         .AddComponent(Component(0x0060, "CPU Fan", kChip, 0x0041, 0x0050))
                         .AddComponent(Component(0x0061, "Vcore part", kChip, 0x0040, kNone))
                         .AddComponent(Component(0x0062, "elsewhere", kOtherChip, 0x0042, kNone))
                         .AddComponent(Component(0x0063, "missing", kChip, 0x0099, kNone))
                         .AddComponent(Component(0x0064, "temp", kChip, 0x0042, 0x0077))
                         .AddComponent(Component(0x0065, "nothing", kChip, kNone, 0x0050))
                         .AddComponent(Component(0x0066, "again", kChip, 0x0040, 0x0050))
                         .AddEndOfTable()
                         .Build());
    }
};

TEST_F(SensorData, JoinsComponentsInTheirOrder) {
    CSMBiosSensorData parser(kChip);
    ASSERT_TRUE(parser.Initialise(Inventory()));
    SMBiosSensor* voltage = parser.GetSensorForHandle(0x0040);
    SMBiosSensor* fan = parser.GetSensorForHandle(0x0041);
    SMBiosSensor* temperature = parser.GetSensorForHandle(0x0042);
    ASSERT_NE(voltage, nullptr);
    ASSERT_NE(fan, nullptr);
    ASSERT_NE(temperature, nullptr);
    EXPECT_EQ(parser.GetSensors(),
              (std::vector<SMBiosSensor*>{fan, voltage, temperature, voltage}));

    EXPECT_EQ(fan->description, "CPU Fan");
    EXPECT_EQ(voltage->description, "VCore");
    EXPECT_EQ(temperature->description, "CPU Temp");
    const std::vector<uint16_t> attached = {0x0010, 0x0020, 0x8000, 0x0040, 0x0050, 0x0060};
    const std::vector<uint16_t> unknown(6, 0x8000);
    EXPECT_EQ(std::vector<uint16_t>(fan->thresholds, fan->thresholds + 6), attached);
    // Attached through the duplicate component, seen through both entries.
    EXPECT_EQ(std::vector<uint16_t>(voltage->thresholds, voltage->thresholds + 6), attached);
    EXPECT_EQ(std::vector<uint16_t>(temperature->thresholds, temperature->thresholds + 6), unknown);

    const SMBiosThreshold* threshold = parser.GetThresholdForHandle(0x0050);
    ASSERT_NE(threshold, nullptr);
    const std::string chip = "associated with chip handle 0x00000030";
    const std::string prefix = "  CSMBiosSensorData::GetThisChipSensors - ";
    const std::string building =
        "CSMBiosSensorData::GetThisChipSensors - Building Sensor structures for Type 35 with "
        "handle: ";
    const std::vector<std::string> expected = {
        building + "0x0060",
        prefix + "Found sensor handle: 0x0041 " + chip,
        prefix + "Found threshold handle: 0x0050 " + chip,
        prefix + "Adding sensor " + Hex8(fan) + " to list",
        prefix + "Attaching component description CPU Fan to sensor " + Hex8(fan),
        prefix + "Attaching threshold " + Hex8(threshold) + " information to sensor " + Hex8(fan),
        building + "0x0061",
        prefix + "Found sensor handle: 0x0040 " + chip,
        prefix + "Found threshold handle: 0xffff " + chip,
        prefix + "Adding sensor " + Hex8(voltage) + " to list",
        prefix + "This component has no associated threshold structure",
        building + "0x0062",
        building + "0x0063",
        prefix + "Found sensor handle: 0x0099 " + chip,
        prefix + "Found threshold handle: 0xffff " + chip,
        prefix + "Cannot find sensor for handle 0x0099",
        building + "0x0064",
        prefix + "Found sensor handle: 0x0042 " + chip,
        prefix + "Found threshold handle: 0x0077 " + chip,
        prefix + "Adding sensor " + Hex8(temperature) + " to list",
        prefix + "Cannot find threshold for handle 0x0077",
        building + "0x0065",
        prefix + "Found sensor handle: 0xffff " + chip,
        prefix + "Found threshold handle: 0x0050 " + chip,
        prefix + "This component has no associated sensor structure",
        building + "0x0066",
        prefix + "Found sensor handle: 0x0040 " + chip,
        prefix + "Found threshold handle: 0x0050 " + chip,
        prefix + "Adding sensor " + Hex8(voltage) + " to list",
        prefix + "Attaching threshold " + Hex8(threshold) + " information to sensor " +
            Hex8(voltage),
        "CSMBiosSensorData::Initialise - Initialised Ok - #sensor(s)=4",
    };
    EXPECT_EQ(After("CSMBiosSensorData::GetThisChipSensors - Parsing all Type 35 components",
                    expected.size()),
              expected);
    EXPECT_TRUE(LinesAt(1).empty());
}

TEST_F(SensorData, StoresProbeAndCoolingFieldsWithTheirDumps) {
    CSMBiosSensorData parser(kChip);
    ASSERT_TRUE(parser.Initialise(Inventory()));
    const SMBiosSensor* voltage = parser.GetSensorForHandle(0x0040);
    EXPECT_EQ(voltage->type, 26);
    EXPECT_EQ(voltage->length, 0x16);
    EXPECT_EQ(voltage->kind, kSensorKindVoltage);
    EXPECT_EQ(voltage->oemDefined, 0x12345605u);
    EXPECT_EQ(voltage->probe.maximumValue, 0x3A98);
    EXPECT_EQ(voltage->probe.resolution, 0x0005);
    EXPECT_EQ(voltage->probe.accuracy, 0x00C8);
    EXPECT_EQ(voltage->probe.nominalValue, 0x04B0);
    const SMBiosSensor* fan = parser.GetSensorForHandle(0x0041);
    EXPECT_EQ(fan->kind, kSensorKindCooling);
    EXPECT_EQ(fan->cooling.temperatureProbeHandle, 0x0042);
    EXPECT_EQ(fan->cooling.nominalSpeed, 0x0BB8);
    const SMBiosSensor* temperature = parser.GetSensorForHandle(0x0042);
    EXPECT_EQ(temperature->kind, kSensorKindTemperature);
    EXPECT_EQ(temperature->length, 0x14);
    EXPECT_EQ(temperature->probe.nominalValue, 0x8000);

    EXPECT_EQ(After("CSMBiosSensorData::StoreType26", 9),
              (std::vector<std::string>{
                  "  Description:        VCore", "  Location & Status:  0x63",
                  "  Maximium Value:     0x3a98", "  Minimium Value:     0x0000",
                  "  Resolution:         0x0005", "  Tolerance:          0x8000",
                  "  Accuracy:           0x00c8", "  OEM DWord:          0x12345605",
                  "  Nominal Value:      0x04b0"}));
    EXPECT_EQ(
        After("CSMBiosSensorData::StoreType27", 6),
        (std::vector<std::string>{
            "  Description:                ", "  Temperature Probe Handle:   0x0042",
            "  Device Type & Status:       0x67", "  Cooling Unit Grooup:        0x02",
            "  OEM DWord:                  0x00000001", "  Nominal Value:              0x0bb8"}));
    EXPECT_EQ(After("CSMBiosSensorData::StoreType28", 1),
              (std::vector<std::string>{"  Description:        CPU Temp"}));
    EXPECT_EQ(After("CSMBiosSensorData::StoreType35", 4),
              (std::vector<std::string>{
                  "  Description:                CPU Fan", "  Management Device Handle:   0x0030",
                  "  Component Handle:           0x0041", "  Threshold Handle:           0x0050"}));
    EXPECT_EQ(After("CSMBiosSensorData::StoreType36", 6),
              (std::vector<std::string>{"  Lower Threshold Non Critical:       0x0010",
                                        "  Upper Threshold Non Critical:       0x0020",
                                        "  Lower Threshold Critical:           0x8000",
                                        "  Upper Threshold Critical:           0x0040",
                                        "  Lower Threshold Non Recoverable:    0x0050",
                                        "  Upper Threshold Non Recoverable:    0x0060"}));
    EXPECT_EQ(Lines()[0], (LogLine{3,
                                   "CSMBiosSensorData::GetStructures - Parsing all Type 00, "
                                   "26, 27, 28, 35, 36 structures"}));
}

TEST_F(SensorData, NominalSpeedOnlyWhenTheStructureHoldsIt) {
    CoolingDevice shortFan = Fan();
    shortFan.nominalSpeed.reset();
    CSMBiosSensorData parser(kChip);
    ASSERT_TRUE(
        parser.Initialise(Table(SmbiosTableBuilder()
                                    .AddBiosInformation(Bios())
                                    .AddCoolingDevice(shortFan)
                                    .AddComponent(Component(0x0060, "Fan", kChip, 0x0041, kNone))
                                    .Build())));
    EXPECT_EQ(parser.GetSensors()[0]->length, 0x0C);
    EXPECT_EQ(parser.GetSensors()[0]->cooling.nominalSpeed, 0x8000);
}

TEST_F(SensorData, ThresholdStructureIsReadAsSixteenBytesWhateverItsLength) {
    // Length 0x0A: the last three thresholds come from the string-set.
    RawStructure shortThreshold;
    shortThreshold.type = 36;
    shortThreshold.handle = 0x0050;
    shortThreshold.formatted = {0x01, 0x00, 0x02, 0x00, 0x03, 0x00};
    shortThreshold.strings = {"AB"};
    CSMBiosSensorData parser(kChip);
    ASSERT_TRUE(
        parser.Initialise(Table(SmbiosTableBuilder()
                                    .AddBiosInformation(Bios())
                                    .AddRaw(shortThreshold)
                                    .AddVoltageProbe(VoltageProbe())
                                    .AddComponent(Component(0x0060, "", kChip, 0x0040, 0x0050))
                                    .Build())));
    const SMBiosThreshold* threshold = parser.GetThresholdForHandle(0x0050);
    ASSERT_NE(threshold, nullptr);
    EXPECT_EQ(threshold->length, 0x0A);
    EXPECT_EQ(std::vector<uint16_t>(threshold->thresholds, threshold->thresholds + 6),
              (std::vector<uint16_t>{0x0001, 0x0002, 0x0003, 0x4241, 0x0000, 0x161A}));
}

TEST_F(SensorData, DeviceHandleFFFFNamesNoChipEvenForAParserMadeWithIt) {
    CSMBiosSensorData parser(kNone);
    EXPECT_FALSE(
        parser.Initialise(Table(SmbiosTableBuilder()
                                    .AddBiosInformation(Bios())
                                    .AddVoltageProbe(VoltageProbe())
                                    .AddComponent(Component(0x0060, "", kNone, 0x0040, kNone))
                                    .Build())));
    EXPECT_TRUE(parser.GetSensors().empty());
    EXPECT_EQ(After("CSMBiosSensorData::GetThisChipSensors - Parsing all Type 35 components", 2),
              (std::vector<std::string>{
                  "CSMBiosSensorData::GetThisChipSensors - Building Sensor structures for Type 35 "
                  "with handle: 0x0060",
                  "CSMBiosSensorData::Initialise - No sensors found for this chip device"}));
    EXPECT_TRUE(Logged(1, "CSMBiosSensorData::Initialise - No sensors found for this chip device"));
}

TEST_F(SensorData, WithoutThresholdStructuresEachLookupReportsTheEmptyList) {
    CSMBiosSensorData parser(kChip);
    ASSERT_TRUE(
        parser.Initialise(Table(SmbiosTableBuilder()
                                    .AddBiosInformation(Bios())
                                    .AddVoltageProbe(VoltageProbe())
                                    .AddComponent(Component(0x0060, "", kChip, 0x0040, 0x0050))
                                    .AddEndOfTable()
                                    .Build())));
    EXPECT_EQ(After("  CSMBiosSensorData::GetThisChipSensors - Adding sensor " +
                        Hex8(parser.GetSensors()[0]) + " to list",
                    2),
              (std::vector<std::string>{
                  "CSMBiosSensorData::GetThresholdForHandle - m_vAllThresholds is empty",
                  "  CSMBiosSensorData::GetThisChipSensors - Cannot find threshold for handle "
                  "0x0050"}));
    EXPECT_EQ(LinesAt(1).size(), 1u);
    EXPECT_EQ(parser.GetSensors()[0]->thresholds[5], 0x8000);
}

TEST_F(SensorData, WithoutSensorStructuresFailsBeforeJoining) {
    CSMBiosSensorData parser(kChip);
    EXPECT_FALSE(
        parser.Initialise(Table(SmbiosTableBuilder()
                                    .AddBiosInformation(Bios())
                                    .AddComponent(Component(0x0060, "", kChip, 0x0040, kNone))
                                    .AddEndOfTable()
                                    .Build())));
    EXPECT_FALSE(Logged("CSMBiosSensorData::GetThisChipSensors - Parsing all Type 35 components"));
    EXPECT_EQ(
        LinesAt(1),
        (std::vector<LogLine>{{1,
                               "CSMBiosSensorData::Initialise - No sensors found for any chip "
                               "device"}}));
    EXPECT_EQ(parser.GetSensorForHandle(0x0040), nullptr);
    EXPECT_TRUE(Logged(1, "CSMBiosSensorData::GetSensorForHandle - m_vAllSensors is empty"));
}

TEST_F(SensorData, SecondInitialiseAfterSuccessReadsNothing) {
    CSMBiosSensorData parser(kChip);
    ASSERT_TRUE(parser.Initialise(Inventory()));
    const std::vector<SMBiosSensor*> sensors = parser.GetSensors();
    LogCaptureClear();
    EXPECT_TRUE(parser.Initialise(nullptr));
    EXPECT_EQ(Lines(),
              (std::vector<LogLine>{{3, "CSMBiosSensorData::Initialise - Already initialised"}}));
    EXPECT_EQ(parser.GetSensors(), sensors);
}

TEST_F(SensorData, ParseAfterAFailureStartsFromNothing) {
    Probe old = VoltageProbe();
    old.description = "old";
    CSMBiosSensorData parser(kChip);
    EXPECT_FALSE(parser.Initialise(
        Table(SmbiosTableBuilder().AddBiosInformation(Bios()).AddVoltageProbe(old).Build())));
    // The same handle in the next table: only its record may be found.
    CRawSMBios next;
    const std::vector<uint8_t> bytes =
        SmbiosTableBuilder()
            .AddBiosInformation(Bios())
            .AddVoltageProbe(VoltageProbe())
            .AddComponent(Component(0x0060, "", kChip, 0x0040, kNone))
            .Build();
    next.AssignForTesting(bytes.data(), bytes.size());
    ASSERT_TRUE(parser.Initialise(&next));
    ASSERT_EQ(parser.GetSensors().size(), 1u);
    EXPECT_EQ(parser.GetSensors()[0]->description, "VCore");
}

TEST_F(SensorData, LogsItsLifeAroundTheBase) {
    {
        CSMBiosSensorData parser(kChip);
        parser.Initialise(Inventory());
        LogCaptureClear();
    }
    EXPECT_EQ(Lines(), (std::vector<LogLine>{{3, "CSMBiosSensorData Destroyed"},
                                             {3, "CSMBiosData Destroyed"}}));
}

}  // namespace
}  // namespace smbios_test
