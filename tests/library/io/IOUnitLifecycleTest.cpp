// The I/O unit's start-up and shutdown, and its polling thread.
#include <chrono>
#include <functional>
#include <thread>

#include <gmock/gmock.h>

#include "IOUnitFixture.h"

namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using Clock = std::chrono::steady_clock;

// Polls are counted by the simulator; waits here are bounded.
bool WaitForPolls(IOUnitTest* test, uint32_t count, std::function<uint32_t()> polls) {
    (void)test;
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (polls() < count) {
        if (Clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

std::vector<std::string> Lifecycle(const std::vector<std::string>& lines) {
    std::vector<std::string> kept;
    for (const std::string& line : lines) {
        if (line.find("Destroyed") != std::string::npos ||
            line.rfind("CPollingThread::Terminate", 0) == 0) {
            kept.push_back(line);
        }
    }
    return kept;
}

TEST_F(IOUnitTest, ThePollingThreadPollsOnlyAfterRunAndStopsAtTerminate) {
    StartUnit();
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(Exchanges(0xA1), 0u);  // idle until Run
    m_pUnit->PollingThread().Run();
    auto polls = [&] { return Exchanges(0xA1); };
    ASSERT_TRUE(WaitForPolls(this, 2, polls));

    // The thread is in its 100 ms pause most of the time: Terminate must not
    // wait it out.
    const auto start = Clock::now();
    m_pUnit->PollingThread().Terminate();
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(90));
    const uint32_t after = Exchanges(0xA1);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(Exchanges(0xA1), after);

    LogCaptureClear();
    m_pUnit->PollingThread().Terminate();
    EXPECT_THAT(Captured(1), ElementsAre("CPollingThread::Terminate - Thread not started"));
}

TEST_F(IOUnitTest, TerminateWaitsForAPollInProgressOnly) {
    StartUnit(true);
    auto polls = [&] { return Exchanges(0xA1); };
    ASSERT_TRUE(WaitForPolls(this, 1, polls));
    m_pServiceProcessor->DelayAnswers(1, 300);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));  // next poll now sleeps
    const auto start = Clock::now();
    m_pUnit->PollingThread().Terminate();
    const auto took = Clock::now() - start;
    // It waited for the sleeping poll to end, and no longer.
    EXPECT_GE(took, std::chrono::milliseconds(100));
    EXPECT_LT(took, std::chrono::milliseconds(1000));
}

TEST_F(IOUnitTest, PollsAreAboutAHundredMillisecondsApart) {
    StartUnit(true);
    auto polls = [&] { return Exchanges(0xA1); };
    ASSERT_TRUE(WaitForPolls(this, 1, polls));
    const auto start = Clock::now();
    ASSERT_TRUE(WaitForPolls(this, 6, polls));
    const auto elapsed = Clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(490));  // five pauses of 100 ms
}

TEST_F(IOUnitTest, DestructionStopsThePollingThreadThenClosesTheDevice) {
    StartUnit(true);
    LogCaptureClear();
    m_pUnit.reset();
    EXPECT_THAT(Lifecycle(Captured(4)),
                ElementsAre("CPollingThread::Terminate entered",
                            "CPollingThread::Terminate - Thread terminated", "CIOUnit Destroyed",
                            "CPollingThread Destroyed"));
    // Closed: another unit can open the device exclusively.
    StartUnit();
}

TEST_F(IOUnitTest, AUnitThatNeverStartedClosesNothing) {
    m_pUnit = std::make_unique<CIOUnit>(&m_Cache);
    LogCaptureClear();
    m_pUnit.reset();
    EXPECT_THAT(Captured(4), ElementsAre("CIOUnit Destroyed", "CPollingThread Destroyed"));
}

TEST_F(IOUnitTest, ASecondInitialiseChangesNothing) {
    CIOUnit& unit = StartUnit();
    LogCaptureClear();
    EXPECT_TRUE(unit.Initialise(0x2B0));
    EXPECT_THAT(Captured(3), ElementsAre("CIOUnit::Initialise - Already initialised"));
    EXPECT_EQ(Exchanges(0xA6), 1u);
}

TEST_F(IOUnitTest, ADriverFailingEveryExchangeStillLetsTheUnitStart) {
    m_pServiceProcessor->FailExchanges(4, svcpsim::kErrorIoDevice);
    CIOUnit& unit = StartUnit();
    EXPECT_THAT(Captured(3), Contains("SvcpRequestResponse - Ioctl failed: Last Error=0x0000045d"));
    LONG state = -1, value = -1;
    ASSERT_EQ(m_Cache.GetSensorValues(0x10000, state, value), ServiceCode_Success);
    EXPECT_EQ(value, 0);  // the cache's initial values stay
    SvcpAdvanceTickCount(500);
    CSensorReading reading{9, 9};
    EXPECT_EQ(unit.ReadSensor(0x10000, reading), ServiceCode_Success);  // refreshes now
    EXPECT_EQ(reading.CurrentReading, 3300u);
}

TEST_F(IOUnitTest, ARetryAfterAFailedStartCanOpenTheDeviceAgain) {
    // The run event is made, the stop event is not: the device stays open.
    SvcpFailCalls(SvcpCall::CreateEventW, ERROR_NOT_ENOUGH_MEMORY, 1, 1);
    m_pUnit = std::make_unique<CIOUnit>(&m_Cache);
    EXPECT_FALSE(m_pUnit->Initialise(0x2B0));
    EXPECT_THAT(Captured(1), Contains("CPollingThread::Initialise - CreateEvent failed: Last "
                                      "Error=0x00000008"));
    // The device is opened exclusively: without closing the first handle the
    // retry could not open it.
    EXPECT_TRUE(m_pUnit->Initialise(0x2B0));

    SvcpFailCalls(SvcpCall::BeginThreadEx, ERROR_NOT_ENOUGH_MEMORY);
    CIOUnit other(&m_Cache);
    m_pUnit.reset();
    EXPECT_FALSE(other.Initialise(0x2B0));
    EXPECT_THAT(Captured(1), Contains("CPollingThread::Initialise - _beginthreadex error=0x8"));
}

TEST(PollingThread, RefusesWithoutAUnitAndRunsOnlyWhenStarted) {
    LogSetLevel(0);
    LogCaptureStart(4);
    {
        CPollingThread thread;
        EXPECT_FALSE(thread.Initialise(nullptr, INVALID_HANDLE_VALUE, 0x2B0));
        thread.Run();
        thread.Terminate();
    }
    std::vector<std::string> errors;
    for (const LogLine& line : LogCaptured()) {
        if (line.level == 1) {
            errors.push_back(line.text);
        }
    }
    EXPECT_THAT(errors, ElementsAre("CPollingThread::Initialise - pIOUnit==NULL",
                                    "CPollingThread::Run - Thread not started",
                                    "CPollingThread::Terminate - Thread not started"));
    LogCaptureStop();
}

}  // namespace
