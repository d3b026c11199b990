// The monitor's own judgement of a sensor: the library's state first, then
// the reading against every known threshold.
#include <gtest/gtest.h>

#include "SnapshotSamples.h"
#include "snapshot/SensorLevel.h"

namespace {

SensorSnapshot Temperature(int32_t reading, unsigned long state = 0) {
    return Sensor(0x30000, L"", 0, 0, reading, {kNa, 50, 100, 750, 850, 1000}, state);
}

TEST(SensorLevel, FromStateAndThresholds) {
    struct Row {
        int32_t reading;
        unsigned long state;
        SensorLevel level;
    } rows[] = {
        {480, 0, SensorLevel::Ok},
        {750, 0, SensorLevel::Ok},  // on the threshold is not past it
        {100, 0, SensorLevel::Ok},
        {790, 0, SensorLevel::Warning},   // a CPU at 79 °C, past 75
        {99, 0, SensorLevel::Warning},    // below the lower non-critical
        {900, 0, SensorLevel::Warning},   // past critical, not yet asserted
        {20, 0, SensorLevel::Warning},    // below critical, not yet asserted
        {480, 1, SensorLevel::Critical},  // the library's state decides
        {900, 1, SensorLevel::Critical},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(LevelOf(Temperature(row.reading, row.state)), row.level) << row.reading;
    }
}

TEST(SensorLevel, UnknownThresholdsAreNotCrossed) {
    SensorSnapshot sensor = Temperature(0);
    CSensorInformation& info = sensor.information;
    info.LowerThresholdCritical = kSensorValueUnknown;
    info.LowerThresholdNonCritical = kSensorValueUnknown;
    EXPECT_EQ(LevelOf(sensor), SensorLevel::Ok) << "INT32_MIN is no threshold";
    info.UpperThresholdNonCritical = kSensorValueUnknown;
    info.UpperThresholdCritical = kSensorValueUnknown;
    info.UpperThresholdFatal = kSensorValueUnknown;
    sensor.reading.CurrentReading = 100000;
    EXPECT_EQ(LevelOf(sensor), SensorLevel::Ok);
}

TEST(SensorLevel, AFailedReadIsJudgedByItsState) {
    SensorSnapshot sensor = Temperature(2000);
    sensor.readResult = ServiceCode_InvalidHandle;
    EXPECT_EQ(LevelOf(sensor), SensorLevel::Ok);
    sensor.reading.CurrentState = 1;
    EXPECT_EQ(LevelOf(sensor), SensorLevel::Critical);
    EXPECT_STREQ(LevelName(SensorLevel::Warning), "warning");
}

}  // namespace
