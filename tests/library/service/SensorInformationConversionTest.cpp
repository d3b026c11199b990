// SMBIOS sensor records turned into the exported sensor description.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "svcproc/service/SensorInformationConversion.h"
#include "svcproc/smbios/SMBiosRecords.h"

namespace {

using ::testing::ElementsAre;

SMBiosSensor Probe(uint32_t kind, uint16_t resolution) {
    SMBiosSensor sensor;
    sensor.kind = kind;
    sensor.description = "Probe";
    sensor.probe.resolution = resolution;
    sensor.probe.maximumValue = 3000;
    sensor.probe.minimumValue = 0;
    sensor.probe.accuracy = 0x8000;
    return sensor;
}

TEST(SensorInformationConversion, ResolutionIsScaledAndNeverRoundedToZero) {
    struct Case {
        uint32_t kind;
        uint16_t word;
        uint32_t expected;
    };
    const Case cases[] = {
        {kSensorKindVoltage, 0x0005, 1},      {kSensorKindVoltage, 0x0064, 10},
        {kSensorKindVoltage, 0x0000, 0},      {kSensorKindVoltage, 0x8000, 0x80000000u},
        {kSensorKindVoltage, 0xFFFF, 6553},   {kSensorKindTemperature, 0x0032, 1},
        {kSensorKindTemperature, 0x03E8, 10}, {kSensorKindTemperature, 0x0063, 1},
    };
    for (const Case& c : cases) {
        CSensorInformation information;
        ASSERT_TRUE(ConvertSensorInformation(Probe(c.kind, c.word), information));
        EXPECT_EQ(information.Resolution, c.expected) << c.kind << " " << c.word;
    }
}

TEST(SensorInformationConversion, UnknownWordsBecomeTheMarkerAndOthersZeroExtend) {
    EXPECT_EQ(SMBiosWordToField(0x8000), INT32_MIN);
    EXPECT_EQ(SMBiosWordToField(0xFFFF), 65535);
    EXPECT_EQ(SMBiosWordToField(0x7FFF), 32767);
    EXPECT_EQ(SMBiosWordToField(0), 0);

    SMBiosSensor sensor = Probe(kSensorKindTemperature, 0x0032);
    sensor.thresholds[3] = 850;     // upper critical
    sensor.thresholds[5] = 0xFFFF;  // upper non-recoverable
    CSensorInformation information;
    ASSERT_TRUE(ConvertSensorInformation(sensor, information));
    EXPECT_EQ(information.NominalReading, INT32_MIN);  // the structure had none
    EXPECT_EQ(information.Accuracy, INT32_MIN);
    EXPECT_EQ(information.UpperThresholdCritical, 850);
    EXPECT_EQ(information.UpperThresholdFatal, 65535);
    EXPECT_EQ(information.LowerThresholdCritical, INT32_MIN);
    EXPECT_EQ(information.MaxReadable, 3000);
    EXPECT_EQ(information.BaseUnits, 2);
    EXPECT_EQ(information.SensorType, 2);
    EXPECT_EQ(information.UnitModifier, -1);
    EXPECT_THAT(information.PossibleStates, ElementsAre(L"Ok", L"Critical"));
}

TEST(SensorInformationConversion, AFanHasNoLimitsAndItsNominalSpeed) {
    SMBiosSensor fan;
    fan.kind = kSensorKindCooling;
    fan.description = "CPU Fan";
    fan.cooling.nominalSpeed = 2500;
    fan.probe.maximumValue = 1234;  // not a probe: ignored
    CSensorInformation information;
    ASSERT_TRUE(ConvertSensorInformation(fan, information));
    EXPECT_EQ(information.Description, L"CPU Fan");
    EXPECT_EQ(information.NominalReading, 2500);
    for (int32_t field : {information.Accuracy, information.MaxReadable, information.MinReadable,
                          information.LowerThresholdCritical, information.UpperThresholdFatal}) {
        EXPECT_EQ(field, INT32_MIN);
    }
    EXPECT_EQ(information.Resolution, 0x80000000u);
    EXPECT_EQ(information.BaseUnits, 19);
    EXPECT_EQ(information.SensorType, 5);
    EXPECT_EQ(information.UnitModifier, 0);
    EXPECT_EQ(information.Hysteresis, 10u);
    EXPECT_TRUE(information.IsLinear);
    EXPECT_TRUE(information.OtherSensorTypeDescription.empty());
}

TEST(SensorInformationConversion, OtherKindsAreRefusedAndLeaveTheRecordAlone) {
    for (uint32_t kind : {0u, 4u}) {
        SMBiosSensor sensor = Probe(kind, 0x0005);
        CSensorInformation information;
        EXPECT_FALSE(ConvertSensorInformation(sensor, information));
        EXPECT_TRUE(information.Description.empty());
        EXPECT_TRUE(information.PossibleStates.empty());
    }
}

TEST(NarrowToWide, ConvertsWholeTextsAndStopsAtAnEmbeddedNul) {
    std::wstring wide = L"old";
    NarrowToWide("Chassis Fan", wide);
    EXPECT_EQ(wide, L"Chassis Fan");
    NarrowToWide(std::string("ab\0cd", 5), wide);
    EXPECT_EQ(wide, L"ab");
    NarrowToWide("", wide);
    EXPECT_TRUE(wide.empty());
}

}  // namespace
