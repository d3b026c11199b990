// The polling thread's life: creation through the seams, idle until Run,
// 100 ms between polls, prompt and repeated Terminate.
#include <atomic>
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "IoTestSupport.h"
#include "svcproc/io/PollingThread.h"

namespace io_test {
namespace {

using std::chrono::milliseconds;

const LogLine kEntered = {4, "CPollingThread::Terminate entered"};
const LogLine kTerminated = {4, "CPollingThread::Terminate - Thread terminated"};
const LogLine kNotStarted = {1, "CPollingThread::Terminate - Thread not started"};

class PollingThreadTest : public IoUnitTest {
protected:
    static long long Milliseconds(Clock::duration duration) {
        return std::chrono::duration_cast<milliseconds>(duration).count();
    }
    std::string InitialiseLine(const CIOUnit& pIOUnit) {
        return "CPollingThread::Initialise - PortBase=0x000002b0, hIOdevice=0xffffffff, pIOUnit=" +
               AddressText(&pIOUnit);
    }
};

TEST_F(PollingThreadTest, NotStartedThreadRefusesRunAndTerminate) {
    {
        CPollingThread thread;
        thread.Run();
        thread.Terminate();
        EXPECT_FALSE(thread.Initialise(nullptr, INVALID_HANDLE_VALUE, kPortBase));
        EXPECT_FALSE(thread.IsStarted());
    }
    EXPECT_EQ(TakeLines(), (std::vector<LogLine>{{3, "CPollingThread Constructed"},
                                                 {1, "CPollingThread::Run - Thread not started"},
                                                 kEntered,
                                                 kNotStarted,
                                                 {1, "CPollingThread::Initialise - pIOUnit==NULL"},
                                                 {3, "CPollingThread Destroyed"}}));
}

TEST_F(PollingThreadTest, CreationFailuresThroughTheSeams) {
    CIOUnit idle(cache.get());
    CPollingThread thread;
    TakeLines();
    const LogLine initialise = {3, InitialiseLine(idle)};

    // Each of the three events, then the thread; each failure leaves nothing
    // behind for the next attempt.
    const struct {
        SvcpCall call;
        uint32_t code;
        unsigned skip;
        const char* said;
    } failures[] = {
        {SvcpCall::CreateEventW, ERROR_NOT_ENOUGH_MEMORY, 0,
         "CreateEvent failed: Last Error=0x00000008"},
        {SvcpCall::CreateEventW, 1450u, 1, "CreateEvent failed: Last Error=0x000005aa"},
        {SvcpCall::CreateEventW, 1450u, 2, "CreateEvent failed: Last Error=0x000005aa"},
        {SvcpCall::BeginThreadEx, ERROR_NOT_ENOUGH_MEMORY, 0, "_beginthreadex error=0x8"},
    };
    for (const auto& failure : failures) {
        SvcpFailCalls(failure.call, failure.code, 1, failure.skip);
        EXPECT_FALSE(thread.Initialise(&idle, INVALID_HANDLE_VALUE, kPortBase));
        EXPECT_EQ(
            TakeLines(),
            (std::vector<LogLine>{
                initialise, {1, std::string("CPollingThread::Initialise - ") + failure.said}}))
            << failure.said << " after " << failure.skip;
    }
    EXPECT_FALSE(thread.IsStarted());
    thread.Run();
    EXPECT_EQ(TakeLines(), (std::vector<LogLine>{{1, "CPollingThread::Run - Thread not started"}}));

    // Then it works, and a second Initialise changes nothing.
    EXPECT_TRUE(thread.Initialise(&idle, INVALID_HANDLE_VALUE, kPortBase));
    EXPECT_TRUE(thread.Initialise(&idle, INVALID_HANDLE_VALUE, kPortBase));
    EXPECT_EQ(TakeLines(),
              (std::vector<LogLine>{initialise,
                                    {3, "CPollingThread::Initialise - Already initialised"}}));
    EXPECT_TRUE(thread.IsStarted());
    thread.Terminate();
    EXPECT_EQ(TakeLines(), (std::vector<LogLine>{kEntered, kTerminated}));
}

TEST_F(PollingThreadTest, NoPollBeforeRun) {
    CIOUnit& unit = InitialisedUnit();
    ASSERT_TRUE(unit.PollingThread().IsStarted());
    // Longer than a poll period: an idle thread that polled would have.
    std::this_thread::sleep_for(milliseconds(150));
    EXPECT_EQ(driver->PollsEntered(), 0u);
    unit.PollingThread().Terminate();
    EXPECT_EQ(TakeLines(), (std::vector<LogLine>{kEntered, kTerminated}));
    EXPECT_EQ(driver->PollsEntered(), 0u);
    unit.PollingThread().Terminate();
    EXPECT_EQ(TakeLines(), (std::vector<LogLine>{kEntered, kNotStarted}));
}

TEST_F(PollingThreadTest, PollsAreAPeriodApartEndToStart) {
    CIOUnit& unit = InitialisedUnit();
    // The first polls take 40 ms each: the pause follows their end.
    sp->DelayAnswers(2, 40);
    unit.PollingThread().Run();
    ASSERT_TRUE(driver->WaitForPollsDone(4, milliseconds(5000)));
    unit.PollingThread().Terminate();
    const std::vector<CTapDriver::Span> polls = driver->Polls();
    EXPECT_GE(Milliseconds(polls[0].end - polls[0].start), 40);
    for (size_t i = 1; i < polls.size(); ++i) {
        const long long pause = Milliseconds(polls[i].start - polls[i - 1].end);
        RecordProperty("pause_ms_" + std::to_string(i), static_cast<int>(pause));
        EXPECT_GE(pause, 99) << i;
        EXPECT_LT(pause, 1000) << i;
    }
    EXPECT_GE(Milliseconds(polls[1].start - polls[0].start), 139);
}

TEST_F(PollingThreadTest, TerminateEndsThePauseAtOnce) {
    CIOUnit& unit = InitialisedUnit();
    unit.PollingThread().Run();
    ASSERT_TRUE(driver->WaitForPollsDone(1, milliseconds(5000)));
    const Clock::time_point start = Clock::now();
    unit.PollingThread().Terminate();
    const Clock::duration took = Clock::now() - start;
    RecordProperty(
        "terminate_us",
        static_cast<int>(std::chrono::duration_cast<std::chrono::microseconds>(took).count()));
    // The pause is 100 ms; waiting it out would take most of it.
    EXPECT_LT(Milliseconds(took), 60);
    EXPECT_EQ(driver->PollsEntered(), driver->Polls().size()) << "no poll left running";
}

TEST_F(PollingThreadTest, TerminateWaitsForThePollInProgress) {
    CIOUnit& unit = InitialisedUnit();
    driver->CloseGate();
    unit.PollingThread().Run();
    ASSERT_TRUE(driver->WaitForPollsEntered(1, milliseconds(5000)));
    std::atomic<bool> returned{false};
    std::thread terminator([&] {
        unit.PollingThread().Terminate();
        returned = true;
    });
    std::this_thread::sleep_for(milliseconds(50));
    EXPECT_FALSE(returned.load()) << "returned while a poll ran";
    const Clock::time_point opened = Clock::now();
    driver->OpenGate();
    terminator.join();
    EXPECT_LT(Milliseconds(Clock::now() - opened), 60);
    EXPECT_EQ(driver->Polls().size(), 1u);
    EXPECT_EQ(driver->PollsEntered(), 1u);
}

TEST_F(PollingThreadTest, ReadsDoNotWaitForAPollInProgress) {
    CIOUnit& unit = InitialisedUnit();
    driver->CloseGate();
    unit.PollingThread().Run();
    ASSERT_TRUE(driver->WaitForPollsEntered(1, milliseconds(5000)));
    // The poll is held in the driver; a caller's refresh goes through beside it.
    SvcpAdvanceTickCount(500);
    sp->SetReading(SensorKind::Fan, 0, 3000);
    CSensorReading reading;
    EXPECT_EQ(unit.ReadSensor(0x20000, reading), ServiceCode_Success);
    EXPECT_EQ(reading.CurrentReading, 3000u);
    EXPECT_EQ(driver->Polls().size(), 0u) << "the poll is still in progress";
    driver->OpenGate();
    unit.PollingThread().Terminate();
}

TEST_F(PollingThreadTest, AlertsReachListenersOnThePollingThread) {
    CIOUnit& unit = InitialisedUnit();
    CRecordingListener listener(cache.get());
    std::promise<std::thread::id> called;
    listener.onCall = [&] { called.set_value(std::this_thread::get_id()); };
    unit.RegisterSensorStateListener(&listener);
    sp->SetReading(SensorKind::Temperature, 2, 470);  // above 45.0 degrees
    unit.PollingThread().Run();
    std::future<std::thread::id> where = called.get_future();
    ASSERT_EQ(where.wait_for(milliseconds(5000)), std::future_status::ready);
    EXPECT_NE(where.get(), std::this_thread::get_id());
    unit.PollingThread().Terminate();
    EXPECT_EQ(listener.Calls(), (std::vector<CRecordingListener::Call>{{0x30002, 1, 47, 1, 470}}));
}

}  // namespace
}  // namespace io_test
