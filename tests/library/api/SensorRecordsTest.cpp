// The exported records: construction, deep copies and handle composition.
#include <memory>

#include <gtest/gtest.h>

#include "svcproc/api/ServiceApi.h"

namespace {

CSensorInformation FilledInformation() {
    CSensorInformation info;
    info.Accuracy = 150;
    info.BaseUnits = 5;
    info.Description = L"CPU Core Voltage";
    info.Hysteresis = 10;
    info.IsLinear = true;
    info.LowerThresholdCritical = 1000;
    info.LowerThresholdFatal = 900;
    info.LowerThresholdNonCritical = kSensorValueUnknown;
    info.MaxReadable = 3000;
    info.MinReadable = 0;
    info.NominalReading = 1200;
    info.OtherSensorTypeDescription = L"";
    info.PossibleStates = {L"Ok", L"Critical"};
    info.RateUnits = 0;
    info.Resolution = 1;
    info.SensorType = 3;
    info.UnitModifier = -3;
    info.UpperThresholdCritical = 1400;
    info.UpperThresholdFatal = 65535;
    info.UpperThresholdNonCritical = 1300;
    return info;
}

void ExpectSame(const CSensorInformation& a, const CSensorInformation& b) {
    EXPECT_EQ(a.Accuracy, b.Accuracy);
    EXPECT_EQ(a.BaseUnits, b.BaseUnits);
    EXPECT_EQ(a.Description, b.Description);
    EXPECT_EQ(a.Hysteresis, b.Hysteresis);
    EXPECT_EQ(a.IsLinear, b.IsLinear);
    EXPECT_EQ(a.LowerThresholdCritical, b.LowerThresholdCritical);
    EXPECT_EQ(a.LowerThresholdFatal, b.LowerThresholdFatal);
    EXPECT_EQ(a.LowerThresholdNonCritical, b.LowerThresholdNonCritical);
    EXPECT_EQ(a.MaxReadable, b.MaxReadable);
    EXPECT_EQ(a.MinReadable, b.MinReadable);
    EXPECT_EQ(a.NominalReading, b.NominalReading);
    EXPECT_EQ(a.OtherSensorTypeDescription, b.OtherSensorTypeDescription);
    EXPECT_EQ(a.PossibleStates, b.PossibleStates);
    EXPECT_EQ(a.RateUnits, b.RateUnits);
    EXPECT_EQ(a.Resolution, b.Resolution);
    EXPECT_EQ(a.SensorType, b.SensorType);
    EXPECT_EQ(a.UnitModifier, b.UnitModifier);
    EXPECT_EQ(a.UpperThresholdCritical, b.UpperThresholdCritical);
    EXPECT_EQ(a.UpperThresholdFatal, b.UpperThresholdFatal);
    EXPECT_EQ(a.UpperThresholdNonCritical, b.UpperThresholdNonCritical);
}

TEST(SensorInformation, DefaultIsEmptyAndZero) {
    CSensorInformation info;
    EXPECT_TRUE(info.Description.empty());
    EXPECT_TRUE(info.OtherSensorTypeDescription.empty());
    EXPECT_TRUE(info.PossibleStates.empty());
    EXPECT_EQ(info.Accuracy, 0);
    EXPECT_EQ(info.Resolution, 0u);
    EXPECT_FALSE(info.IsLinear);
}

TEST(SensorInformation, CopiesSurviveTheSourcesDestruction) {
    auto source = std::make_unique<CSensorInformation>(FilledInformation());
    CSensorInformation constructed(*source);
    CSensorInformation assigned;
    assigned = *source;
    const CSensorInformation expected = FilledInformation();
    source.reset();
    ExpectSame(constructed, expected);
    ExpectSame(assigned, expected);
    EXPECT_EQ(constructed.PossibleStates[1], L"Critical");
}

TEST(SensorInformation, AssignmentReplacesEveryField) {
    CSensorInformation target = FilledInformation();
    target.PossibleStates.push_back(L"extra");
    target = CSensorInformation();
    EXPECT_TRUE(target.PossibleStates.empty());
    EXPECT_TRUE(target.Description.empty());
    EXPECT_EQ(target.UpperThresholdFatal, 0);
}

TEST(LedInformation, CopiesAllFields) {
    auto source = std::make_unique<CLedInformation>();
    source->Kind = 5;
    source->Description = L"Power";
    source->BitMap = 0x0004;
    CLedInformation copy(*source);
    CLedInformation assigned;
    assigned = *source;
    source.reset();
    for (const CLedInformation* led : {&copy, &assigned}) {
        EXPECT_EQ(led->Kind, 5);
        EXPECT_EQ(led->Description, L"Power");
        EXPECT_EQ(led->BitMap, 0x0004);
    }
}

TEST(Readings, AssignmentCopiesEveryField) {
    CSensorReading reading{};
    reading = CSensorReading{3300, 1};
    EXPECT_EQ(reading.CurrentReading, 3300u);
    EXPECT_EQ(reading.CurrentState, 1u);
    CLedReading led{};
    led = CLedReading{1};
    EXPECT_EQ(led.State, 1);
}

TEST(HandleLists, AreListsThatKeepWhatTheyHold) {
    CSensorHandleList list;
    list.push_back(0x10000);
    CSensorHandleList copy(list);
    copy.push_back(0x20001);
    EXPECT_EQ(list.size(), 1u);
    EXPECT_EQ(copy.back(), 0x20001ul);
    CLedHandleList leds;
    leds.push_back(0x40004);
    EXPECT_EQ(leds.front(), 0x40004ul);
}

TEST(Handles, KindInTheHighHalfIndexInTheLowHalf) {
    EXPECT_EQ(ServiceApi::MakeHandle(HandleKind_Voltage, 2), 0x10002ul);
    EXPECT_EQ(ServiceApi::MakeHandle(HandleKind_Led, 0x8000), 0x48000ul);
    EXPECT_EQ(ServiceApi::HandleKind(0x3FFFF), 3ul);
    EXPECT_EQ(ServiceApi::HandleIndex(0x3FFFF), 0xFFFF);
    EXPECT_EQ(ServiceApi::HandleKind(0xFFFF), 0ul);
    EXPECT_EQ(ServiceApi::HandleKind(0x50000), 5ul);
}

TEST(ServiceCodes, KeepTheirNumbers) {
    EXPECT_EQ(ServiceCode_Success, 0);
    EXPECT_EQ(ServiceCode_NotInitialised, 1);
    EXPECT_EQ(ServiceCode_SmbiosUnreadable, 2);
    EXPECT_EQ(ServiceCode_SmbiosInventoryFailed, 3);
    EXPECT_EQ(ServiceCode_PosSystemUnavailable, 4);
    EXPECT_EQ(ServiceCode_NoServiceProcessor, 5);
    EXPECT_EQ(ServiceCode_DriverUnavailable, 6);
    EXPECT_EQ(ServiceCode_InvalidHandle, 7);
}

}  // namespace
