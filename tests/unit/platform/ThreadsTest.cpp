// _beginthreadex: the handle can be waited on and closed independently of the
// thread's life.
#include <atomic>
#include <cerrno>

#include <gtest/gtest.h>

#include "platform.h"
#include "platform_seams.h"

namespace {

struct Gate {
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<int> runs{0};
    ~Gate() { CloseHandle(release); }
};

unsigned __stdcall WaitForGate(void* argument) {
    auto* gate = static_cast<Gate*>(argument);
    WaitForSingleObject(gate->release, INFINITE);
    gate->runs.fetch_add(1);
    return 7;
}

TEST(Threads, HandleIsSignalledWhenTheProcedureReturns) {
    Gate gate;
    auto handle =
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &WaitForGate, &gate, 0, nullptr));
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(WaitForSingleObject(handle, 30), WAIT_TIMEOUT);
    SetEvent(gate.release);
    EXPECT_EQ(WaitForSingleObject(handle, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(gate.runs.load(), 1);
    // Stays signalled for later waits.
    EXPECT_EQ(WaitForSingleObject(handle, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(CloseHandle(handle));
}

TEST(Threads, ClosingTheHandleEarlyLeavesTheThreadRunning) {
    Gate gate;
    auto handle =
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &WaitForGate, &gate, 0, nullptr));
    ASSERT_NE(handle, nullptr);
    EXPECT_TRUE(CloseHandle(handle));
    SetEvent(gate.release);
    while (gate.runs.load() == 0) {
        Sleep(1);
    }
    EXPECT_EQ(gate.runs.load(), 1);
}

TEST(Threads, WaitAnyOnAThreadAndAnEvent) {
    Gate gate;
    HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    auto thread =
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &WaitForGate, &gate, 0, nullptr));
    HANDLE objects[2] = {stop, thread};
    SetEvent(gate.release);
    EXPECT_EQ(WaitForMultipleObjects(2, objects, FALSE, INFINITE), WAIT_OBJECT_0 + 1);
    CloseHandle(thread);
    CloseHandle(stop);
}

TEST(Threads, PlannedFailureReturnsZeroWithTheChosenCode) {
    Gate gate;
    SvcpFailCalls(SvcpCall::BeginThreadEx, ERROR_NOT_ENOUGH_MEMORY);
    SetLastError(0);
    EXPECT_EQ(_beginthreadex(nullptr, 0, &WaitForGate, &gate, 0, nullptr), 0u);
    EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(errno, EAGAIN);
    EXPECT_EQ(gate.runs.load(), 0);
}

}  // namespace
