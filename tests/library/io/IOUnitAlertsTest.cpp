// Alert polls: mask comparison, cache writes before listener calls, dropped
// alerts, and the listener list's rules.
#include <atomic>
#include <thread>

#include <gmock/gmock.h>

#include "IOUnitFixture.h"

namespace {

using ::testing::Contains;
using ::testing::HasSubstr;

class Alerts : public IOUnitTest {
protected:
    void SetUp() override {
        IOUnitTest::SetUp();
        StartUnit();  // idle polling thread: the tests poll by hand
    }
    void QueueAlert(uint8_t kind, const std::vector<uint8_t>& data, int byteCountDelta = 0) {
        svcpsim::RawResponse raw = svcpsim::MakeRawResponse(kind, data, true);
        raw.byteCount = static_cast<uint8_t>(raw.byteCount + byteCountDelta);
        m_pServiceProcessor->QueueRawResponse(raw, 0xA1);
    }
    LONG CachedState(unsigned long handle) {
        LONG state = -1, reading = -1;
        m_Cache.GetSensorValues(handle, state, reading);
        return state;
    }
    LONG CachedReading(unsigned long handle) {
        LONG state = -1, reading = -1;
        m_Cache.GetSensorValues(handle, state, reading);
        return reading;
    }
};

// Sees the cache from inside the callback.
class CacheWitness : public ISensorStateListener {
public:
    explicit CacheWitness(const CDataCache& cache) : m_Cache(cache) {}
    void OnSensorStateChange(unsigned long handle, unsigned long, unsigned long) override {
        m_Cache.GetSensorValues(handle, state, reading);
    }
    LONG state = -1;
    LONG reading = -1;

private:
    const CDataCache& m_Cache;
};

TEST_F(Alerts, AssertRepeatAndDeassertAVoltage) {
    Recorder recorder;
    CacheWitness witness(m_Cache);
    m_pUnit->RegisterSensorStateListener(&witness);
    m_pUnit->RegisterSensorStateListener(&recorder);

    QueueAlert(0xA6, {0x00, 0x01, 0x01, 0x2C, 0x00, 0x64});
    m_pUnit->PollAlerts();
    ASSERT_EQ(recorder.Calls().size(), 1u);
    EXPECT_EQ(recorder.Calls()[0].handle, 0x10000ul);
    EXPECT_EQ(recorder.Calls()[0].state, 1ul);
    EXPECT_EQ(recorder.Calls()[0].reading, 300ul);  // raw, as sent
    // The cache was written first, in the units of the reads.
    EXPECT_EQ(witness.state, 1);
    EXPECT_EQ(witness.reading, 3000);
    EXPECT_EQ(CachedReading(0x10001), 1000);
    EXPECT_EQ(m_Cache.m_VoltageMap.m_wLastAlertBits.load(), 1);
    EXPECT_THAT(Captured(4), Contains("ProcessVoltageAlerts - StateChange_Asserted"));
    EXPECT_THAT(Captured(4), Contains("ProcessVoltageAlerts - StateChange_Unchanged"));

    QueueAlert(0xA6, {0x00, 0x01, 0x01, 0x2D, 0x00, 0x64});
    m_pUnit->PollAlerts();
    EXPECT_EQ(recorder.Calls().size(), 1u);
    EXPECT_EQ(CachedReading(0x10000), 3010);

    QueueAlert(0xA6, {0x00, 0x00, 0x01, 0x4A, 0x00, 0x64});
    m_pUnit->PollAlerts();
    ASSERT_EQ(recorder.Calls().size(), 2u);
    EXPECT_EQ(recorder.Calls()[1].state, 0ul);
    EXPECT_EQ(recorder.Calls()[1].reading, 330ul);
    EXPECT_EQ(CachedState(0x10000), 0);
    // Alerts do not move the kind's time: no refresh was due, none happened.
    EXPECT_EQ(Exchanges(0xA6), 1u);
    m_pUnit->UnregisterSensorStateListener(&witness);
    m_pUnit->UnregisterSensorStateListener(&recorder);
}

TEST_F(Alerts, TemperatureAlertsCarryBytesDeliveredRawAndCachedInTenths) {
    Recorder recorder;
    m_pUnit->RegisterSensorStateListener(&recorder);
    QueueAlert(0xA4, {0x00, 0x02, 0x1E, 0x28});
    m_pUnit->PollAlerts();
    ASSERT_EQ(recorder.Calls().size(), 1u);
    EXPECT_EQ(recorder.Calls()[0].handle, 0x30001ul);
    EXPECT_EQ(recorder.Calls()[0].reading, 40ul);
    EXPECT_EQ(CachedReading(0x30001), 400);
    EXPECT_EQ(CachedReading(0x30000), 300);
    m_pUnit->UnregisterSensorStateListener(&recorder);
}

TEST_F(Alerts, MalformedOrMismatchedAlertsAreDroppedWithoutAnyChange) {
    Recorder recorder;
    m_pUnit->RegisterSensorStateListener(&recorder);
    // One reading short of what the length announces.
    QueueAlert(0xA2, {0x00, 0x01, 0x01, 0x2C, 0x00, 0x64}, -2);
    m_pUnit->PollAlerts();
    EXPECT_THAT(Captured(1),
                Contains("CIOUnit::ProcessFanAlerts - Internal Error - Number of fan readings "
                         "collected 1 does not agree with expected 2"));
    // Not a kind of sensor.
    QueueAlert(0xA5, {0x00, 0x01, 0x00, 0x10});
    m_pUnit->PollAlerts();
    EXPECT_THAT(Captured(1), Contains("CIOUnit::ProcessAlerts - Type 0xa5 not Valid"));
    // Too short for an alert.
    QueueAlert(0xA2, {0x00}, 0);
    m_pUnit->PollAlerts();
    EXPECT_THAT(Captured(1), Contains("CIOUnit::PollAlerts - Invalid Response Packet\n"));
    // A length below 4 never passes, whatever the byte count yields.
    QueueAlert(0xA2, {0x00}, 2);
    m_pUnit->PollAlerts();

    EXPECT_TRUE(recorder.Calls().empty());
    EXPECT_EQ(m_Cache.m_FanMap.m_wLastAlertBits.load(), 0);
    EXPECT_EQ(CachedReading(0x20000), 2400);
    EXPECT_EQ(CachedState(0x20000), 0);

    // Nothing pending: nothing logged at levels 1 to 3.
    LogCaptureClear();
    m_pUnit->PollAlerts();
    EXPECT_TRUE(Captured(3).empty());
    m_pUnit->UnregisterSensorStateListener(&recorder);
}

TEST_F(Alerts, SensorsBeyondTheSixteenthHaveNoBitAndNeverChange) {
    Recorder recorder;
    m_pUnit->RegisterSensorStateListener(&recorder);
    std::vector<uint8_t> data = {0xFF, 0xFF};
    for (int i = 0; i < 20; ++i) {
        data.push_back(static_cast<uint8_t>(20 + i));
    }
    QueueAlert(0xA4, data);
    m_pUnit->PollAlerts();
    const std::vector<Call> calls = recorder.Calls();
    ASSERT_EQ(calls.size(), 16u);
    EXPECT_EQ(calls.back().handle, 0x3000Ful);
    EXPECT_THAT(Captured(3),
                Contains("CIOUnit::ProcessTemperatureAlerts - Number of temperature readings 20 "
                         "does not agree with SMBIOS 2"));
    m_pUnit->UnregisterSensorStateListener(&recorder);
}

// An object whose first word does not point to a virtual table.
// Its "virtual table" is data whose first slot is null.
struct NotAListener {
    static const void* const kTable[1];
    const void* vtable = kTable;
};
const void* const NotAListener::kTable[1] = {nullptr};

TEST_F(Alerts, ListenersAreKeptOnceInOrderAndAnUnusableOneIsSkipped) {
    Recorder first, second;
    NotAListener bogus;
    auto* invalid = reinterpret_cast<ISensorStateListener*>(&bogus);
    m_pUnit->RegisterSensorStateListener(&first);
    m_pUnit->RegisterSensorStateListener(invalid);
    m_pUnit->RegisterSensorStateListener(&first);  // already there
    m_pUnit->RegisterSensorStateListener(&second);
    m_pUnit->UnregisterSensorStateListener(reinterpret_cast<ISensorStateListener*>(&second + 1));

    QueueAlert(0xA2, {0x00, 0x02, 0x09, 0x60, 0x01, 0x2C});
    m_pUnit->PollAlerts();
    EXPECT_EQ(first.Calls().size(), 1u);
    EXPECT_EQ(second.Calls().size(), 1u);
    EXPECT_THAT(Captured(1),
                Contains(HasSubstr("CIOUnit::FireFanStateChange - invalid listener pointer 0x")));
    for (ISensorStateListener* listener : {static_cast<ISensorStateListener*>(&first), invalid,
                                           static_cast<ISensorStateListener*>(&second)}) {
        m_pUnit->UnregisterSensorStateListener(listener);
    }
}

// Changes the list from inside its own callback.
class SelfReplacing : public ISensorStateListener {
public:
    SelfReplacing(CIOUnit& unit, ISensorStateListener& successor)
        : m_Unit(unit), m_Successor(successor) {}
    void OnSensorStateChange(unsigned long, unsigned long, unsigned long) override {
        ++calls;
        m_Unit.UnregisterSensorStateListener(this);
        m_Unit.RegisterSensorStateListener(&m_Successor);
    }
    int calls = 0;

private:
    CIOUnit& m_Unit;
    ISensorStateListener& m_Successor;
};

TEST_F(Alerts, ACallbackMayChangeTheListWhichCountsForLaterDeliveries) {
    Recorder successor;
    SelfReplacing replacing(*m_pUnit, successor);
    m_pUnit->RegisterSensorStateListener(&replacing);
    QueueAlert(0xA2, {0x00, 0x03, 0x00, 0x10, 0x00, 0x10});  // two changes
    m_pUnit->PollAlerts();
    // The first change reached the old listener, which was then gone; the
    // second change reached its successor.
    EXPECT_EQ(replacing.calls, 1);
    ASSERT_EQ(successor.Calls().size(), 1u);
    EXPECT_EQ(successor.Calls()[0].handle, 0x20001ul);
    QueueAlert(0xA2, {0x00, 0x00, 0x00, 0x10, 0x00, 0x10});
    m_pUnit->PollAlerts();
    EXPECT_EQ(replacing.calls, 1);
    EXPECT_EQ(successor.Calls().size(), 3u);
    m_pUnit->UnregisterSensorStateListener(&successor);
}

}  // namespace
