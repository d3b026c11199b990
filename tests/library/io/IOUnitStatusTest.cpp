// The link status: what each exchange kind counts, on success and on every way
// an exchange can fail, and what it leaves alone (reads answered from the
// cache).
#include <atomic>
#include <functional>
#include <thread>

#include "IOUnitFixture.h"

namespace {

class LinkStatus : public IOUnitTest {
protected:
    CServiceProcessorStatus Status() const {
        CServiceProcessorStatus status{};
        m_pUnit->GetServiceProcessorStatus(status);
        return status;
    }
    CExchangeStatus Of(SVCP_EXCHANGE_KIND kind) const { return Status().Exchanges[kind]; }

    void QueueAlert(uint8_t kind, const std::vector<uint8_t>& data, int byteCountDelta = 0) {
        svcpsim::RawResponse raw = svcpsim::MakeRawResponse(kind, data, true);
        raw.byteCount = static_cast<uint8_t>(raw.byteCount + byteCountDelta);
        m_pServiceProcessor->QueueRawResponse(raw, 0xA1);
    }
};

void ExpectCounts(const CExchangeStatus& status, uint64_t tried, uint64_t failed,
                  uint32_t consecutive) {
    EXPECT_EQ(status.Tried, tried);
    EXPECT_EQ(status.Failed, failed);
    EXPECT_EQ(status.ConsecutiveFailures, consecutive);
}

TEST_F(LinkStatus, StartUpCountsOneAnsweredReadPerKindAndNoPollUntilRun) {
    StartUnit();
    const CServiceProcessorStatus status = Status();
    for (SVCP_EXCHANGE_KIND kind :
         {ExchangeKind_Voltages, ExchangeKind_Fans, ExchangeKind_Temperatures, ExchangeKind_Leds}) {
        SCOPED_TRACE(kind);
        ExpectCounts(status.Exchanges[kind], 1, 0, 0);
        EXPECT_TRUE(status.Exchanges[kind].HasResponded);
        EXPECT_EQ(status.Exchanges[kind].LastResponseTick, 100000u);
    }
    ExpectCounts(status.Exchanges[ExchangeKind_AlertPoll], 0, 0, 0);
    EXPECT_FALSE(status.Exchanges[ExchangeKind_AlertPoll].HasResponded);
    EXPECT_FALSE(status.PollingThreadRunning);
    EXPECT_EQ(status.CurrentTick, 100000u);

    m_pUnit->PollingThread().Run();
    EXPECT_TRUE(Status().PollingThreadRunning);
    m_pUnit.reset();  // terminates the thread
}

TEST_F(LinkStatus, ReadsAnsweredFromTheCacheCountNothing) {
    StartUnit();
    SvcpAdvanceTickCount(499);
    for (int i = 0; i < 10; ++i) {
        Read(0x10000);
        Read(0x20001);
        CLedReading led{};
        m_pUnit->ReadLed(0x40001, led);
    }
    // A handle of no sensor kind makes no exchange either.
    CSensorReading reading{};
    EXPECT_EQ(m_pUnit->ReadSensor(0x50000, reading), ServiceCode_InvalidHandle);
    const CServiceProcessorStatus status = Status();
    for (int kind = 0; kind < ExchangeKind_Count; ++kind) {
        EXPECT_EQ(status.Exchanges[kind].Tried, kind == ExchangeKind_AlertPoll ? 0u : 1u) << kind;
    }
    SvcpAdvanceTickCount(1);
    Read(0x10001);
    ExpectCounts(Of(ExchangeKind_Voltages), 2, 0, 0);
    EXPECT_EQ(Of(ExchangeKind_Voltages).LastResponseTick, 100500u);
    EXPECT_EQ(Of(ExchangeKind_Fans).Tried, 1u);
}

// Each way a read can fail counts once as a failure of its kind only; the
// caller still gets 0 with the cached value.
TEST_F(LinkStatus, EveryRejectedOrFailedReadCountsAsAFailure) {
    StartUnit();
    const std::vector<std::pair<const char*, std::function<void()>>> faults = {
        {"driver call fails", [&] { m_pServiceProcessor->FailExchanges(1, ERROR_GEN_FAILURE); }},
        {"call fails without an error code",
         [&] { SvcpFailCalls(SvcpCall::DeviceIoControl, ERROR_SUCCESS); }},
        {"bad checksum", [&] { m_pServiceProcessor->CorruptChecksums(1); }},
        {"wrong type", [&] { m_pServiceProcessor->AnswerWithType(1, 0xA2); }},
        {"byte count too large", [&] { m_pServiceProcessor->AdjustByteCount(1, 60); }},
        {"byte count too small",
         [&] {
             m_pServiceProcessor->QueueRawResponse(
                 [] {
                     svcpsim::RawResponse raw = svcpsim::MakeRawResponse(0xA6, {}, false);
                     raw.byteCount = 2;
                     return raw;
                 }(),
                 0xA6);
         }},
    };
    uint64_t failed = 0;
    for (const auto& [name, inject] : faults) {
        SCOPED_TRACE(name);
        inject();
        SvcpAdvanceTickCount(500);
        EXPECT_EQ(Read(0x10000).CurrentReading, 3300u);
        ++failed;
        ExpectCounts(Of(ExchangeKind_Voltages), 1 + failed, failed, static_cast<uint32_t>(failed));
        EXPECT_EQ(Of(ExchangeKind_Voltages).LastResponseTick, 100000u);
    }
    for (SVCP_EXCHANGE_KIND kind : {ExchangeKind_Fans, ExchangeKind_Temperatures, ExchangeKind_Leds,
                                    ExchangeKind_AlertPoll}) {
        EXPECT_EQ(Of(kind).Failed, 0u) << kind;
    }

    // An LED answer of the wrong type counts for the LEDs.
    m_pServiceProcessor->AnswerWithType(1, 0xA6);
    CLedReading led{};
    EXPECT_EQ(m_pUnit->ReadLed(0x40001, led), ServiceCode_Success);
    ExpectCounts(Of(ExchangeKind_Leds), 2, 1, 1);
}

TEST_F(LinkStatus, AnAnswerEndsTheStreakAndStampsTheClock) {
    StartUnit();
    m_pServiceProcessor->FailExchanges(3, ERROR_DEVICE_NOT_CONNECTED);
    for (int i = 0; i < 3; ++i) {
        SvcpAdvanceTickCount(700);
        Read(0x30000);
    }
    ExpectCounts(Of(ExchangeKind_Temperatures), 4, 3, 3);
    EXPECT_EQ(Of(ExchangeKind_Temperatures).LastResponseTick, 100000u);
    EXPECT_EQ(Status().CurrentTick, 102100u);

    SvcpAdvanceTickCount(700);
    Read(0x30000);
    ExpectCounts(Of(ExchangeKind_Temperatures), 5, 3, 0);
    EXPECT_EQ(Of(ExchangeKind_Temperatures).LastResponseTick, 102800u);
    EXPECT_TRUE(Of(ExchangeKind_Temperatures).HasResponded);
}

TEST_F(LinkStatus, AKindThatNeverAnsweredHasNotResponded) {
    m_pServiceProcessor->FailExchanges(1, ERROR_GEN_FAILURE);  // the first read: voltages
    StartUnit();
    EXPECT_FALSE(Of(ExchangeKind_Voltages).HasResponded);
    ExpectCounts(Of(ExchangeKind_Voltages), 1, 1, 1);
    EXPECT_TRUE(Of(ExchangeKind_Fans).HasResponded);
}

// Polls by hand (the thread stays idle): no alert pending and a used alert
// are answers; a failed call and every dropped alert are failures.
TEST_F(LinkStatus, AlertPollsCountNoAlertAsAnAnswerAndEveryDroppedAlertAsAFailure) {
    StartUnit();
    m_pUnit->PollAlerts();  // nothing pending
    ExpectCounts(Of(ExchangeKind_AlertPoll), 1, 0, 0);
    EXPECT_TRUE(Of(ExchangeKind_AlertPoll).HasResponded);
    EXPECT_EQ(Of(ExchangeKind_AlertPoll).LastResponseTick, 100000u);

    SvcpAdvanceTickCount(100);
    m_pServiceProcessor->FailExchanges(1, ERROR_GEN_FAILURE);
    m_pUnit->PollAlerts();
    ExpectCounts(Of(ExchangeKind_AlertPoll), 2, 1, 1);

    const std::vector<std::pair<const char*, std::function<void()>>> dropped = {
        {"bad checksum",
         [&] {
             svcpsim::RawResponse raw =
                 svcpsim::MakeRawResponse(0xA6, {0x00, 0x01, 0x01, 0x2C, 0x00, 0x64}, true);
             raw.area[raw.area[0]] ^= 0x01;  // the checksum, at 17 + L
             m_pServiceProcessor->QueueRawResponse(raw, 0xA1);
         }},
        {"byte count below 5",
         [&] {
             QueueAlert(0xA6, {0x00, 0x01, 0x01, 0x2C, 0x00, 0x64}, -5);
         }},
        {"invalid kind",
         [&] {
             QueueAlert(0xED, {0x00, 0x01, 0x00, 0x05});
         }},
        {"one reading short",
         [&] {
             QueueAlert(0xA2, {0x00, 0x01, 0x01, 0x2C, 0x00, 0x64}, -2);
         }},
    };
    uint64_t failed = 1;
    for (const auto& [name, inject] : dropped) {
        SCOPED_TRACE(name);
        inject();
        m_pUnit->PollAlerts();
        ++failed;
        ExpectCounts(Of(ExchangeKind_AlertPoll), failed + 1, failed, static_cast<uint32_t>(failed));
        EXPECT_EQ(Of(ExchangeKind_AlertPoll).LastResponseTick, 100000u);
    }
    EXPECT_EQ(m_Cache.m_VoltageMap.m_wLastAlertBits.load(), 0u);

    SvcpAdvanceTickCount(100);
    QueueAlert(0xA6, {0x00, 0x01, 0x01, 0x2C, 0x00, 0x64});
    m_pUnit->PollAlerts();
    ExpectCounts(Of(ExchangeKind_AlertPoll), failed + 2, failed, 0);
    EXPECT_EQ(Of(ExchangeKind_AlertPoll).LastResponseTick, 100200u);
    EXPECT_EQ(m_Cache.m_VoltageMap.m_wLastAlertBits.load(), 1u);
    // Alerts are not reads.
    EXPECT_EQ(Of(ExchangeKind_Voltages).Tried, 1u);
}

// Readers, the polling thread and a failing driver at once (run under TSan):
// every snapshot keeps the per-kind order of the counts.
TEST_F(LinkStatus, SnapshotsTakenDuringExchangesKeepTheirOrder) {
    StartUnit(true);
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        while (!stop.load()) {
            SvcpAdvanceTickCount(250);
            CSensorReading reading{};
            m_pUnit->ReadSensor(0x10000, reading);
            m_pUnit->ReadSensor(0x20000, reading);
        }
    });
    std::thread breaker([&] {
        for (int i = 0; i < 20 && !stop.load(); ++i) {
            m_pServiceProcessor->FailExchanges(3, ERROR_GEN_FAILURE);
            std::this_thread::sleep_for(std::chrono::milliseconds(15));
        }
    });
    uint64_t lastTried[ExchangeKind_Count] = {};
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(350);
    while (std::chrono::steady_clock::now() < until) {
        const CServiceProcessorStatus status = Status();
        for (int kind = 0; kind < ExchangeKind_Count; ++kind) {
            const CExchangeStatus& counts = status.Exchanges[kind];
            ASSERT_LE(counts.Failed, counts.Tried) << kind;
            ASSERT_LE(counts.ConsecutiveFailures, counts.Failed) << kind;
            ASSERT_GE(counts.Tried, lastTried[kind]) << kind;
            lastTried[kind] = counts.Tried;
        }
    }
    stop.store(true);
    reader.join();
    breaker.join();
    EXPECT_GT(Of(ExchangeKind_Voltages).Failed, 0u);
    EXPECT_GT(Of(ExchangeKind_AlertPoll).Tried, 0u);
}

}  // namespace
