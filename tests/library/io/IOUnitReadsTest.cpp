// Sensor and LED reads against the simulated service processor: freshness,
// scaling, counts, rejected answers and a failing driver.
#include <atomic>
#include <thread>

#include <gmock/gmock.h>

#include "IOUnitFixture.h"

namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

TEST_F(IOUnitTest, StartUpReadsEveryKindOnceAndAnswersFromTheCache) {
    StartUnit();
    for (uint8_t command : {0xA6, 0xA2, 0xA4, 0xED}) {
        EXPECT_EQ(Exchanges(command), 1u) << std::hex << int(command);
    }
    EXPECT_EQ(Read(0x10000).CurrentReading, 3300u);
    EXPECT_EQ(Read(0x10001).CurrentReading, 12000u);
    EXPECT_EQ(Read(0x20001).CurrentReading, 1980u);
    EXPECT_EQ(Read(0x30001).CurrentReading, 400u);  // 40 degrees, in tenths
    EXPECT_EQ(Read(0x30001).CurrentState, 0u);
    for (auto [handle, on] : {std::pair{0x40001ul, 1}, {0x40002ul, 0}, {0x40004ul, 1}}) {
        CLedReading led{};
        EXPECT_EQ(m_pUnit->ReadLed(handle, led), ServiceCode_Success);
        EXPECT_EQ(led.State, on);
    }
    // All answered from the cache.
    EXPECT_EQ(Exchanges(0xA6) + Exchanges(0xED), 2u);
}

TEST_F(IOUnitTest, AKindIsRefreshedOnlyWhen500MsHavePassedEitherWay) {
    StartUnit();
    SvcpAdvanceTickCount(100);
    Read(0x10000);
    EXPECT_EQ(Exchanges(0xA6), 1u);
    SvcpAdvanceTickCount(399);  // 499 ms
    Read(0x10001);
    EXPECT_EQ(Exchanges(0xA6), 1u);
    SvcpAdvanceTickCount(1);  // 500 ms
    Read(0x10000);
    EXPECT_EQ(Exchanges(0xA6), 2u);
    EXPECT_EQ(Exchanges(0xA2), 1u);  // other kinds keep their own time

    // A last update 500 ms ahead of the clock (the counter went back or
    // wrapped) counts as stale too.
    SvcpSetTickCount(100500 - 500);
    Read(0x10000);
    EXPECT_EQ(Exchanges(0xA6), 3u);
    SvcpSetTickCount(0xFFFFFF00u);
    Read(0x10000);
    SvcpAdvanceTickCount(0x200);  // wraps to 0x100: 512 ms later
    Read(0x10000);
    EXPECT_EQ(Exchanges(0xA6), 5u);
}

TEST_F(IOUnitTest, VoltagesKeepEveryDigitAndAlertsNothingElse) {
    StartUnit();
    m_pServiceProcessor->SetReading(SensorKind::Voltage, 0, 65540);  // raw 6554
    SvcpAdvanceTickCount(500);
    EXPECT_EQ(Read(0x10000).CurrentReading, 65540u);
}

TEST_F(IOUnitTest, CountsComeFromTheByteCountAndTheLengthIsOnlyCrossChecked) {
    StartUnit();
    svcpsim::RawResponse two = svcpsim::MakeRawResponse(0xA6, {0x01, 0x2C, 0x00, 0x64}, false);
    m_pServiceProcessor->QueueRawResponse(two, 0xA6);
    SvcpAdvanceTickCount(500);
    EXPECT_EQ(Read(0x10000).CurrentReading, 3000u);
    EXPECT_EQ(Read(0x10001).CurrentReading, 1000u);
    EXPECT_THAT(Captured(3), Not(Contains(HasSubstr("does not agree"))));

    LogCaptureClear();
    m_pServiceProcessor->QueueRawResponse(
        svcpsim::MakeRawResponse(0xA6, {0x00, 0x01, 0x00, 0x02, 0x00, 0x03}, false), 0xA6);
    SvcpAdvanceTickCount(500);
    EXPECT_EQ(Read(0x10001).CurrentReading, 20u);
    EXPECT_THAT(Captured(3),
                Contains("CIOUnit::UpdateVoltages - Number of voltage readings 3 does not agree "
                         "with SMBIOS 2"));
    EXPECT_THAT(Captured(3),
                Contains("CVoltageMap::UpdateReading - cannot find SmbiosIndex 2 in Map"));

    m_pServiceProcessor->QueueRawResponse(svcpsim::MakeRawResponse(0xA4, {0x1E, 0x28}, false),
                                          0xA4);
    SvcpAdvanceTickCount(500);
    EXPECT_EQ(Read(0x30000).CurrentReading, 300u);
    EXPECT_EQ(Read(0x30001).CurrentReading, 400u);
}

TEST_F(IOUnitTest, LedWordsAreParsedWhateverTheirLengthAndCountSay) {
    StartUnit();
    // L = 4 with N = 6: no complaint.
    svcpsim::RawResponse longCount = svcpsim::MakeRawResponse(0xED, {0x00, 0x02}, false);
    longCount.byteCount = 6;
    m_pServiceProcessor->QueueRawResponse(longCount, 0xED);
    SvcpAdvanceTickCount(500);
    CLedReading led{};
    EXPECT_EQ(m_pUnit->ReadLed(0x40002, led), ServiceCode_Success);
    EXPECT_EQ(led.State, 1);
    EXPECT_THAT(Captured(3), Not(Contains(HasSubstr("Count/Length"))));
    // L = 5 and N = 6: both wrong, logged, parsed all the same.
    m_pServiceProcessor->QueueRawResponse(svcpsim::MakeRawResponse(0xED, {0x00, 0x04, 0x00}, false),
                                          0xED);
    SvcpAdvanceTickCount(500);
    EXPECT_EQ(m_pUnit->ReadLed(0x40004, led), ServiceCode_Success);
    EXPECT_EQ(led.State, 1);
    EXPECT_THAT(Captured(3),
                Contains("CIOUnit::UpdateLeds - Count/Length 0x05/0x06 not correct for read LED "
                         "state"));
}

TEST_F(IOUnitTest, RejectedAndWrongTypeAnswersLeaveValuesAndTimeAlone) {
    StartUnit();
    m_pServiceProcessor->SetReading(SensorKind::Voltage, 0, 5000);
    m_pServiceProcessor->CorruptChecksums(1);
    SvcpAdvanceTickCount(500);
    EXPECT_EQ(Read(0x10000).CurrentReading, 3300u);
    // The time stamp did not move: the next read tries again at once.
    m_pServiceProcessor->AnswerWithType(1, 0xA2);
    EXPECT_EQ(Read(0x10000).CurrentReading, 3300u);
    EXPECT_THAT(Captured(1), Contains("CIOUnit::UpdateVoltages - Type 0xa2 not Voltage"));
    EXPECT_EQ(Read(0x10000).CurrentReading, 5000u);
    EXPECT_EQ(Exchanges(0xA6), 4u);
}

TEST_F(IOUnitTest, AFailingDriverStillAnswersWithTheLastValues) {
    StartUnit();
    m_pServiceProcessor->FailExchanges(3, svcpsim::kErrorIoDevice);
    for (int i = 0; i < 3; ++i) {
        SvcpAdvanceTickCount(500);
        EXPECT_EQ(Read(0x20000).CurrentReading, 2400u);
    }
    EXPECT_THAT(Captured(3), Contains("SvcpRequestResponse - Ioctl failed: Last Error=0x0000045d"));
    EXPECT_EQ(m_pServiceProcessor->GetCounters().failedExchanges, 3u);
}

TEST_F(IOUnitTest, HandlesOfOtherKindsGiveSevenWithoutAnExchange) {
    StartUnit();
    SvcpAdvanceTickCount(500);
    CSensorReading reading{5, 6};
    for (unsigned long handle : {0x40000ul, 0x50000ul, 0xFFFFul}) {
        EXPECT_EQ(m_pUnit->ReadSensor(handle, reading), ServiceCode_InvalidHandle);
    }
    EXPECT_EQ(reading.CurrentReading, 5u);
    CLedReading led{9};
    EXPECT_EQ(m_pUnit->ReadLed(0x10000, led), ServiceCode_InvalidHandle);
    EXPECT_EQ(Exchanges(0xA6) + Exchanges(0xED), 2u);
    // A known kind but an unknown index: refreshed, then refused.
    EXPECT_EQ(m_pUnit->ReadSensor(0x10007, reading), ServiceCode_InvalidHandle);
    EXPECT_EQ(led.State, 9);
}

TEST_F(IOUnitTest, CallersFindingAKindStaleTogetherCauseOneExchange) {
    StartUnit();
    m_pServiceProcessor->DelayAnswers(1, 100);
    SvcpAdvanceTickCount(500);
    constexpr int kReaders = 8;
    std::atomic<int> ready{0};
    std::vector<std::thread> readers;
    for (int i = 0; i < kReaders; ++i) {
        readers.emplace_back([&] {
            ready.fetch_add(1);
            while (ready.load() < kReaders) {
            }
            CSensorReading reading{};
            m_pUnit->ReadSensor(0x10000, reading);
        });
    }
    for (std::thread& reader : readers) {
        reader.join();
    }
    EXPECT_EQ(Exchanges(0xA6), 2u);  // start-up and one refresh
}

}  // namespace
