// _beginthreadex: the handle can be waited on and closed independently of the
// thread's life.
#include <atomic>
#include <cerrno>
#include <fstream>
#include <iterator>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

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

// A thread asleep in its wait until released, as a library's polling thread.
struct SleepingThread {
    Gate gate;
    std::atomic<DWORD> id{0};
    HANDLE handle =
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &Procedure, this, 0, nullptr));

    static unsigned __stdcall Procedure(void* argument) {
        auto* self = static_cast<SleepingThread*>(argument);
        self->id.store(GetCurrentThreadId());
        return WaitForGate(&self->gate);
    }
    ~SleepingThread() {
        SetEvent(gate.release);
        WaitForSingleObject(handle, INFINITE);
        CloseHandle(handle);
    }
    // Until the kernel has put it to sleep: a fork that comes earlier finds
    // it still on its way into the wait, which hides faults.
    bool WaitUntilAsleep() const {
        for (int tries = 0; tries < 5000; ++tries, Sleep(1)) {
            if (id.load() == 0) {
                continue;
            }
            std::ifstream stat("/proc/self/task/" + std::to_string(id.load()) + "/stat");
            const std::string text((std::istreambuf_iterator<char>(stat)),
                                   std::istreambuf_iterator<char>());
            const size_t end = text.rfind(')');
            if (end != std::string::npos && text.compare(end + 1, 3, " S ") == 0) {
                return true;
            }
        }
        return false;
    }
};

// Runs `body` in a forked child and returns its exit status, or 128 + the
// signal that ended it: a child that hangs is ended by an alarm.
template <class Body>
int InForkedChild(Body body) {
    const pid_t child = fork();
    if (child == 0) {
        alarm(5);
        _exit(body());
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child) {
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// A forked child has only the thread that forked: waiting there for one of
// the parent's threads must not wait for ever (a child's exit waits for the
// library's polling thread). Nor may the child inherit a lock that another
// thread, busy with waits and signals at the fork, held. The parent's threads
// go on.
TEST(Threads, InAForkedChildTheParentsThreadsHaveEnded) {
    struct Busy {
        HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        std::atomic<bool> stop{false};
        static unsigned __stdcall Procedure(void* argument) {
            auto* self = static_cast<Busy*>(argument);
            while (!self->stop.load()) {
                SetEvent(self->event);
                WaitForSingleObject(self->event, 0);
                ResetEvent(self->event);
            }
            return 0;
        }
    } busy;
    auto thread =
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &Busy::Procedure, &busy, 0, nullptr));
    ASSERT_NE(thread, nullptr);
    SleepingThread sleeping;
    ASSERT_TRUE(sleeping.WaitUntilAsleep());

    int status = 0;
    for (int fork = 0; fork < 3000 && status == 0; ++fork) {
        status = InForkedChild([&] {
            if (WaitForSingleObject(thread, INFINITE) != WAIT_OBJECT_0 ||
                WaitForSingleObject(sleeping.handle, INFINITE) != WAIT_OBJECT_0 ||
                !SetEvent(busy.event) || WaitForSingleObject(busy.event, 0) != WAIT_OBJECT_0) {
                return 1;
            }
            return CloseHandle(busy.event) && CloseHandle(thread) ? 0 : 2;
        });
    }
    EXPECT_EQ(status, 0) << "128 + " << SIGALRM << ": a child hung";

    EXPECT_EQ(WaitForSingleObject(sleeping.handle, 0), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_TIMEOUT);
    busy.stop.store(true);
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    CloseHandle(thread);
    CloseHandle(busy.event);
}

// The child's own threads are waited for as usual, though the parent's
// thread was asleep in a wait when it forked (waits and signals share one
// condition variable, which must not count the parent's waiters there).
TEST(Threads, AForkedChildStartsAndWaitsForItsOwnThreads) {
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "ThreadSanitizer cannot start threads in the child of a threaded process";
#else
    SleepingThread parents;
    ASSERT_TRUE(parents.WaitUntilAsleep());

    const int status = InForkedChild([] {
        for (int round = 0; round < 3; ++round) {
            Gate gate;
            auto own = reinterpret_cast<HANDLE>(
                _beginthreadex(nullptr, 0, &WaitForGate, &gate, 0, nullptr));
            if (own == nullptr || WaitForSingleObject(own, 20) != WAIT_TIMEOUT) {
                return 1;
            }
            SetEvent(gate.release);
            if (WaitForSingleObject(own, INFINITE) != WAIT_OBJECT_0 || gate.runs.load() != 1) {
                return 2;
            }
            CloseHandle(own);
        }
        return 0;
    });
    EXPECT_EQ(status, 0) << "128 + " << SIGALRM << ": the child hung";
#endif
}

}  // namespace
