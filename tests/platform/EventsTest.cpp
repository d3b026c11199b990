// Events, waits and handle lifetime.
#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "platform.h"
#include "platform_seams.h"

namespace {

using Clock = std::chrono::steady_clock;

HANDLE NewEvent(bool manualReset, bool signalled) {
    HANDLE event = CreateEventW(nullptr, manualReset, signalled, nullptr);
    EXPECT_NE(event, nullptr);
    return event;
}

TEST(Events, ManualResetStaysSignalledUntilReset) {
    HANDLE event = NewEvent(true, false);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    ASSERT_TRUE(SetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    ASSERT_TRUE(ResetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    EXPECT_TRUE(CloseHandle(event));
}

TEST(Events, AutoResetReleasesOneWait) {
    HANDLE event = NewEvent(false, true);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    CloseHandle(event);
}

TEST(Events, WaitAnyReportsTheLowestSignalledIndex) {
    // The polling thread relies on this: stop (index 0) wins over run.
    HANDLE events[2] = {NewEvent(true, false), NewEvent(true, false)};
    SetEvent(events[1]);
    EXPECT_EQ(WaitForMultipleObjects(2, events, FALSE, 0), WAIT_OBJECT_0 + 1);
    SetEvent(events[0]);
    EXPECT_EQ(WaitForMultipleObjects(2, events, FALSE, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForMultipleObjects(2, events, FALSE, INFINITE), WAIT_OBJECT_0);
    CloseHandle(events[0]);
    CloseHandle(events[1]);
}

TEST(Events, TimeoutWaitsAboutTheTimeAndNoLonger) {
    HANDLE event = NewEvent(true, false);
    const auto start = Clock::now();
    EXPECT_EQ(WaitForSingleObject(event, 50), WAIT_TIMEOUT);
    const auto waited = Clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(50));
    EXPECT_LT(waited, std::chrono::seconds(5));
    CloseHandle(event);
}

TEST(Events, SetFromAnotherThreadEndsAnInfiniteWait) {
    HANDLE event = NewEvent(true, false);
    std::thread setter([event] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        SetEvent(event);
    });
    EXPECT_EQ(WaitForSingleObject(event, INFINITE), WAIT_OBJECT_0);
    setter.join();
    CloseHandle(event);
}

TEST(Events, ClosedAndUnknownHandlesFailWithInvalidHandle) {
    HANDLE event = NewEvent(true, true);
    ASSERT_TRUE(CloseHandle(event));
    SetLastError(0);
    EXPECT_FALSE(CloseHandle(event));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(SetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(WaitForSingleObject(INVALID_HANDLE_VALUE, 0), WAIT_FAILED);

    // A new object never gets the closed handle's value back.
    HANDLE other = NewEvent(true, false);
    EXPECT_NE(other, event);
    CloseHandle(other);
}

TEST(Events, WaitAllAndBadArgumentsAreRefused) {
    HANDLE event = NewEvent(true, true);
    EXPECT_EQ(WaitForMultipleObjects(1, &event, TRUE, 0), WAIT_FAILED);
    EXPECT_EQ(WaitForMultipleObjects(0, &event, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(CreateEventW(nullptr, TRUE, FALSE, L"named"), nullptr);
    CloseHandle(event);
}

TEST(Events, PlannedFailureFailsCreationWithTheChosenCode) {
    SvcpFailCalls(SvcpCall::CreateEventW, ERROR_NOT_ENOUGH_MEMORY, 1, 1);
    HANDLE first = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    EXPECT_NE(first, nullptr);  // skipped
    SetLastError(0);
    EXPECT_EQ(CreateEventW(nullptr, TRUE, FALSE, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
    HANDLE third = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    EXPECT_NE(third, nullptr);  // plan used up
    CloseHandle(first);
    CloseHandle(third);

    SvcpFailCalls(SvcpCall::CreateEventW, 5, 3);
    SvcpClearFailures();
    HANDLE fourth = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    EXPECT_NE(fourth, nullptr);
    CloseHandle(fourth);
}

TEST(CriticalSections, AreRecursiveAndExclusive) {
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    EnterCriticalSection(&cs);
    EnterCriticalSection(&cs);  // the owner may enter again
    std::atomic<bool> entered{false};
    std::thread other([&] {
        EnterCriticalSection(&cs);
        entered = true;
        LeaveCriticalSection(&cs);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    LeaveCriticalSection(&cs);
    EXPECT_FALSE(entered.load());  // still held once
    LeaveCriticalSection(&cs);
    other.join();
    EXPECT_TRUE(entered.load());
    DeleteCriticalSection(&cs);
}

TEST(LastError, IsPerThread) {
    SetLastError(1234);
    DWORD seenByOther = 99;
    std::thread other([&] {
        seenByOther = GetLastError();
        SetLastError(5);
    });
    other.join();
    EXPECT_EQ(seenByOther, 0u);
    EXPECT_EQ(GetLastError(), 1234u);
}

}  // namespace
