// A sensor's state judged from its reading when another process may have
// taken its alerts: beyond an alarm threshold it is asserted, well inside it
// is clear, in the hysteresis band and whenever the reading is not current
// the library's state stands.
#include <gtest/gtest.h>

#include "snapshot/JudgedState.h"

namespace {

// A sensor's six thresholds, lower non-recoverable to upper non-recoverable.
struct Limits {
    int32_t lowerFatal, lowerCritical, lowerNonCritical;
    int32_t upperNonCritical, upperCritical, upperFatal;
};
constexpr int32_t kNone = kSensorValueUnknown;

SensorSnapshot Sensor(unsigned long handle, const Limits& limits, int32_t reading,
                      unsigned long state) {
    SensorSnapshot sensor;
    sensor.handle = handle;
    CSensorInformation& info = sensor.information;
    info.LowerThresholdFatal = limits.lowerFatal;
    info.LowerThresholdCritical = limits.lowerCritical;
    info.LowerThresholdNonCritical = limits.lowerNonCritical;
    info.UpperThresholdNonCritical = limits.upperNonCritical;
    info.UpperThresholdCritical = limits.upperCritical;
    info.UpperThresholdFatal = limits.upperFatal;
    sensor.reading.CurrentReading = static_cast<uint32_t>(reading);
    sensor.reading.CurrentState = static_cast<uint32_t>(state);
    return sensor;
}

// Tenths of a degree: lower critical 5 °C, lower non-critical 10 °C, upper
// non-critical 75 °C, upper critical 85 °C, upper non-recoverable 100 °C.
SensorSnapshot Temperature(int32_t reading, unsigned long state) {
    return Sensor(0x30000, {kNone, 50, 100, 750, 850, 1000}, reading, state);
}

TEST(JudgedState, FollowsTheReadingWhereTheThresholdsDecide) {
    struct Row {
        int32_t reading;
        unsigned long library;
        unsigned long judged;
    } rows[] = {
        {480, 1, 0},                // well inside: a deassertion another process took
        {750, 1, 0},                // on the non-critical threshold is inside it
        {100, 1, 0},  {900, 0, 1},  // past critical: an assertion another process took
        {1100, 0, 1},               // past non-recoverable
        {20, 0, 1},                 // below the lower critical
        {800, 1, 1},                // between non-critical and critical: the hysteresis
        {800, 0, 0},                // may hold either state, so the library's stands
        {850, 1, 1},                // on the critical threshold is not past it
        {850, 0, 0},  {70, 1, 1},   // the lower band likewise
        {480, 0, 0},  {900, 1, 1},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(JudgedState(Temperature(row.reading, row.library), false), row.judged)
            << row.reading << " with the library's state " << row.library;
    }
}

TEST(JudgedState, TheLibrarysStateStandsWhereTheReadingCannotTell) {
    // Not current: the kind's reads fail, or this read did.
    EXPECT_EQ(JudgedState(Temperature(480, 1), true), 1u);
    EXPECT_EQ(JudgedState(Temperature(900, 0), true), 0u);
    SensorSnapshot failed = Temperature(900, 0);
    failed.readResult = ServiceCode_InvalidHandle;
    EXPECT_EQ(JudgedState(failed, false), 0u);

    // No threshold the service processor asserts at.
    SensorSnapshot bare = Sensor(0x30000, {kNone, kNone, 100, 750, kNone, kNone}, 5000, 1);
    EXPECT_EQ(JudgedState(bare, false), 1u);
    bare.reading.CurrentState = 0;
    EXPECT_EQ(JudgedState(bare, false), 0u);

    // A critical threshold without a non-critical one on its side: inside it
    // the hysteresis cannot be ruled out; past it the state is clear.
    SensorSnapshot noWarning = Sensor(0x30000, {kNone, 50, 100, kNone, 850, 1000}, 480, 1);
    EXPECT_EQ(JudgedState(noWarning, false), 1u);
    noWarning.reading.CurrentReading = 900;
    noWarning.reading.CurrentState = 0;
    EXPECT_EQ(JudgedState(noWarning, false), 1u);
}

TEST(JudgedState, ASideWithoutAlarmThresholdsDoesNotHoldTheState) {
    // A fan has only lower thresholds: a fast fan is clear.
    SensorSnapshot fan = Sensor(0x20002, {kNone, 500, 700, kNone, kNone, kNone}, 6000, 1);
    EXPECT_EQ(JudgedState(fan, false), 0u);
    fan.reading.CurrentReading = 0;
    fan.reading.CurrentState = 0;
    EXPECT_EQ(JudgedState(fan, false), 1u);
}

TEST(JudgedState, JudgeStatesCorrectsTheSnapshotAndCountsTheCorrections) {
    Snapshot snapshot;
    snapshot.startup = ServiceCode_Success;
    snapshot.sensors = {Temperature(480, 1), Temperature(900, 0), Temperature(800, 1),
                        Temperature(480, 0)};
    LinkSnapshot link{};
    snapshot.link = link;
    EXPECT_EQ(JudgeStates(snapshot), 2u);
    EXPECT_EQ(snapshot.sensors[0].reading.CurrentState, 0u);
    EXPECT_EQ(snapshot.sensors[1].reading.CurrentState, 1u);
    EXPECT_EQ(snapshot.sensors[2].reading.CurrentState, 1u);
    EXPECT_EQ(snapshot.sensors[3].reading.CurrentState, 0u);
    EXPECT_EQ(JudgeStates(snapshot), 0u) << "judged once, nothing left to correct";

    // While the temperatures' reads fail the readings are old: nothing judged.
    Snapshot stale;
    stale.startup = ServiceCode_Success;
    stale.sensors = {Temperature(480, 1)};
    link.status.Exchanges[ExchangeKind_Temperatures].ConsecutiveFailures = 2;
    stale.link = link;
    EXPECT_EQ(JudgeStates(stale), 0u);
    EXPECT_EQ(stale.sensors[0].reading.CurrentState, 1u);
}

}  // namespace
