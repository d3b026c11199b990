// The link-status extension through the loaded library: refused before
// start-up, then counting the exchanges as the simulated driver fails and
// recovers, while ReadSensor keeps answering with the last values.
#include <gmock/gmock.h>

#include "ApiTestSupport.h"

namespace {

using ::testing::Contains;

// Takes statuses until `done` holds (at most 5 s of polling at 100 ms).
template <class Condition>
CServiceProcessorStatus WaitForStatus(LoadedLibrary& library, Condition done) {
    CServiceProcessorStatus status{};
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    do {
        EXPECT_EQ(library.GetServiceProcessorStatus(status), ServiceCode_Success);
        if (done(status)) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < until);
    return status;
}

TEST_F(ApiTest, LinkStatusIsRefusedBeforeStartUpAndLeavesTheRecordAlone) {
    TestMachine machine;
    machine.Install();
    LoadedLibrary library;
    CServiceProcessorStatus status{};
    status.CurrentTick = 0xABCD;
    status.Exchanges[ExchangeKind_Fans].Tried = 77;
    EXPECT_EQ(library.GetServiceProcessorStatus(status), ServiceCode_NotInitialised);
    EXPECT_EQ(status.CurrentTick, 0xABCDu);
    EXPECT_EQ(status.Exchanges[ExchangeKind_Fans].Tried, 77u);
    EXPECT_THAT(CapturedTexts(4), Contains("API: GetServiceProcessorStatus exit, sscode=0x1"));
    EXPECT_EQ(machine.Exchanges(0xA1), 0u);
}

TEST_F(ApiTest, LinkStatusFollowsADriverThatStopsAndResumesAnswering) {
    TestMachine machine;
    machine.Install();
    LoadedLibrary library;
    ASSERT_EQ(library.InitialiseServiceDriver(), ServiceCode_Success);

    CServiceProcessorStatus status = WaitForStatus(library, [](const CServiceProcessorStatus& s) {
        return s.Exchanges[ExchangeKind_AlertPoll].HasResponded;
    });
    EXPECT_TRUE(status.PollingThreadRunning);
    for (int kind = 0; kind < ExchangeKind_Count; ++kind) {
        EXPECT_TRUE(status.Exchanges[kind].HasResponded) << kind;
        EXPECT_EQ(status.Exchanges[kind].Failed, 0u) << kind;
    }
    CSensorReading before{};
    ASSERT_EQ(library.ReadSensor(0x20000, before), ServiceCode_Success);

    // The driver stops answering: polls fail, and a read of a stale kind
    // fails too but still answers 0 with the last values.
    machine.ServiceProcessor().FailExchanges(1000000, ERROR_DEVICE_NOT_CONNECTED);
    status = WaitForStatus(library, [](const CServiceProcessorStatus& s) {
        return s.Exchanges[ExchangeKind_AlertPoll].ConsecutiveFailures >= 2;
    });
    ASSERT_GE(status.Exchanges[ExchangeKind_AlertPoll].ConsecutiveFailures, 2u);
    const uint32_t lastPollAnswer = status.Exchanges[ExchangeKind_AlertPoll].LastResponseTick;
    SvcpSetTickCount(status.CurrentTick);
    SvcpAdvanceTickCount(500);
    CSensorReading during{};
    EXPECT_EQ(library.ReadSensor(0x20000, during), ServiceCode_Success);
    EXPECT_EQ(during.CurrentReading, before.CurrentReading);
    ASSERT_EQ(library.GetServiceProcessorStatus(status), ServiceCode_Success);
    EXPECT_EQ(status.Exchanges[ExchangeKind_Fans].ConsecutiveFailures, 1u);
    EXPECT_EQ(status.Exchanges[ExchangeKind_Fans].Failed, 1u);
    EXPECT_EQ(status.Exchanges[ExchangeKind_AlertPoll].LastResponseTick, lastPollAnswer);

    // Answers return.
    machine.ServiceProcessor().ClearFaults();
    status = WaitForStatus(library, [](const CServiceProcessorStatus& s) {
        return s.Exchanges[ExchangeKind_AlertPoll].ConsecutiveFailures == 0;
    });
    EXPECT_EQ(status.Exchanges[ExchangeKind_AlertPoll].ConsecutiveFailures, 0u);
    EXPECT_NE(status.Exchanges[ExchangeKind_AlertPoll].LastResponseTick, lastPollAnswer);
    SvcpAdvanceTickCount(500);
    EXPECT_EQ(library.ReadSensor(0x20000, during), ServiceCode_Success);
    ASSERT_EQ(library.GetServiceProcessorStatus(status), ServiceCode_Success);
    EXPECT_EQ(status.Exchanges[ExchangeKind_Fans].ConsecutiveFailures, 0u);
    EXPECT_EQ(status.Exchanges[ExchangeKind_Fans].LastResponseTick, status.CurrentTick);
}

}  // namespace
