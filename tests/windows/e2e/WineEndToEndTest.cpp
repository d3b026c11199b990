// The library end to end under Wine, as an application uses it: loaded with
// LoadLibrary, its nine functions found with GetProcAddress, SMBIOS through
// COM/WMI, the service processor through SetupAPI, CreateFileW and
// DeviceIoControl on the relay driver, alerts on the polling thread, and
// unloaded with FreeLibrary.
//
// The WineWmi suite runs in a process of its own (see CMakeLists.txt): COM
// keeps a locator DLL loaded once used, so a process uses one locator only.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <condition_variable>
#include <future>
#include <iterator>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "LogControl.h"
#include "WineMachine.h"
#include "support/LifecycleLines.h"
#include "support/RecordingListener.h"
#include "support/process/LoadedLibrary.h"

namespace {

std::vector<std::string> Captured(int maxLevel = 4) {
    std::vector<std::string> texts;
    for (const LogLine& line : LogCaptured()) {
        if (line.level <= maxLevel) {
            texts.push_back(line.text);
        }
    }
    return texts;
}

bool Contains(const std::vector<std::string>& texts, const std::string& text) {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

// A fault on any thread (freed code run after an unload, say) ends the
// program at once with a message, instead of starting Wine's debugger, which
// then waits for the loader lock the unloading thread holds.
LONG WINAPI EndOnUnhandledException(EXCEPTION_POINTERS* exception) {
    std::fprintf(stderr, "Unhandled exception 0x%08lx at %p on thread %lu\n",
                 static_cast<unsigned long>(exception->ExceptionRecord->ExceptionCode),
                 exception->ExceptionRecord->ExceptionAddress,
                 static_cast<unsigned long>(GetCurrentThreadId()));
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 4);
    return EXCEPTION_CONTINUE_SEARCH;
}

// Waits, at most 5 s, until the service processor has seen a poll for alerts.
void WaitForAPoll(CWineMachine& machine) {
    const uint32_t before =
        machine.ServiceProcessor().GetCounters().exchanges[svcpsim::kCommandPollAlerts];
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (machine.ServiceProcessor().GetCounters().exchanges[svcpsim::kCommandPollAlerts] ==
               before &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
}

class WineTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetUnhandledExceptionFilter(&EndOnUnhandledException);
        LogSetLevel(0);
        LogCaptureStart(4);
    }
    void TearDown() override { LogCaptureStop(); }

    // Start-up through the relay driver; the sensors' handles in order.
    static std::vector<unsigned long> StartUp(LoadedLibrary& library) {
        CSensorHandleList sensors;
        if (library.InitialiseServiceDriver() != ServiceCode_Success ||
            library.EnumerateSensorHandles(sensors) != ServiceCode_Success) {
            throw std::runtime_error("start-up failed");
        }
        return {sensors.begin(), sensors.end()};
    }

    // FreeLibrary on another thread, so that a deadlock fails the test
    // instead of hanging it. False when it did not return within 10 s.
    static bool UnloadWithin10s(LoadedLibrary& library, bool* gone) {
        auto unloaded = std::async(std::launch::async, [&] { return library.Unload(); });
        if (unloaded.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            std::fprintf(stderr, "FreeLibrary deadlocked\n");
            std::fflush(stderr);
            TerminateProcess(GetCurrentProcess(), 3);
        }
        *gone = unloaded.get();
        return true;
    }
};

// --- Against Wine's own WMI provider -----------------------------------------

class WineWmi : public WineTest {};

TEST_F(WineWmi, StartUpFailsWith2) {
    UseWineWmiLocator();
    CWineMachine machine;
    ASSERT_TRUE(machine.IsReady());
    LoadedLibrary library;
    EXPECT_EQ(library.InitialiseServiceDriver(), ServiceCode_SmbiosUnreadable);
    // The SMBIOS read failed on the real path, and the driver was not opened.
    bool rawSmbiosError = false;
    for (const LogLine& line : LogCaptured()) {
        rawSmbiosError |= line.level == 1 && line.text.rfind("CRawSMBios", 0) == 0;
    }
    EXPECT_TRUE(rawSmbiosError);
    EXPECT_EQ(machine.ServiceProcessor().GetCounters().exchanges[svcpsim::kCommandReadLeds], 0u);
}

// --- Against the test locator and the relay driver ----------------------------

class WineEndToEnd : public WineTest {
protected:
    static void SetUpTestSuite() { UseTestWmiLocator(); }
};

TEST_F(WineEndToEnd, StartUpListsDescribesAndReadsThroughTheDriver) {
    CWineMachine machine;
    ASSERT_TRUE(machine.IsReady());
    LoadedLibrary library;
    const std::vector<unsigned long> handles = StartUp(library);
    ASSERT_EQ(handles.size(), 5u);
    CSensorInformation information;
    ASSERT_EQ(library.GetSensorInformation(handles[0], information), ServiceCode_Success);
    EXPECT_EQ(information.Description, L"+12V");
    EXPECT_EQ(information.SensorType, 3u);
    ASSERT_EQ(library.GetSensorInformation(handles[3], information), ServiceCode_Success);
    EXPECT_EQ(information.Description, L"Chassis Fan");
    ASSERT_EQ(library.GetSensorInformation(handles[4], information), ServiceCode_Success);
    EXPECT_EQ(information.Description, L"CPU");

    // Start-up took the first readings through the driver.
    CSensorReading reading{};
    ASSERT_EQ(library.ReadSensor(handles[0], reading), ServiceCode_Success);
    EXPECT_EQ(reading.CurrentReading, 12000u);
    ASSERT_EQ(library.ReadSensor(handles[3], reading), ServiceCode_Success);
    EXPECT_EQ(reading.CurrentReading, 1980u);
    ASSERT_EQ(library.ReadSensor(handles[4], reading), ServiceCode_Success);
    EXPECT_EQ(reading.CurrentReading, 420u);  // 41.5 degrees: whole degrees on the wire
    EXPECT_GT(machine.ServiceProcessor().GetCounters().exchanges[svcpsim::kCommandReadVoltages],
              0u);
    EXPECT_EQ(library.ReadSensor(0x7fff0000ul, reading), ServiceCode_InvalidHandle);

    // A new reading arrives once the cached one is old enough.
    machine.ServiceProcessor().SetReading(svcpsim::SensorKind::Fan, 1, 1500);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    do {
        ASSERT_EQ(library.ReadSensor(handles[3], reading), ServiceCode_Success);
    } while (reading.CurrentReading != 1500u && std::chrono::steady_clock::now() < deadline);
    EXPECT_EQ(reading.CurrentReading, 1500u);

    // LEDs: Power and Disk on.
    CLedHandleList leds;
    ASSERT_EQ(library.EnumerateLedHandles(leds), ServiceCode_Success);
    ASSERT_EQ(leds.size(), 3u);
    const std::vector<unsigned long> ledHandles(leds.begin(), leds.end());
    CLedInformation led;
    ASSERT_EQ(library.GetLedInformation(ledHandles[1], led), ServiceCode_Success);
    EXPECT_EQ(led.Description, L"Fault");
    EXPECT_EQ(led.BitMap, 0x0002);
    const uint8_t expected[] = {1, 0, 1};
    for (size_t i = 0; i < 3; ++i) {
        CLedReading state{};
        ASSERT_EQ(library.ReadLed(ledHandles[i], state), ServiceCode_Success);
        EXPECT_EQ(state.State, expected[i]) << "LED " << i;
    }
}

TEST_F(WineEndToEnd, AlertReachesTheListenerOnThePollingThread) {
    CWineMachine machine;
    ASSERT_TRUE(machine.IsReady());
    LoadedLibrary library;
    const unsigned long chassisFan = StartUp(library).at(3);

    RecordingListener listener;
    library.RegisterSensorStateListener(&listener);
    machine.ServiceProcessor().SetReading(svcpsim::SensorKind::Fan, 1, 300);
    ListenerCall call{};
    ASSERT_TRUE(
        listener.WaitFor([&](const ListenerCall& c) { return c.handle == chassisFan; }, &call));
    EXPECT_EQ(call.reading, 300u);
    EXPECT_NE(call.state, 0u);
    EXPECT_NE(call.thread, std::this_thread::get_id());
    library.UnregisterSensorStateListener(&listener);
}

// No device interface, or two: start-up refuses, saying which.
TEST_F(WineEndToEnd, NoneOrTwoInterfacesFailWith6) {
    struct Case {
        int index;
        bool present;
        const char* line;
    };
    for (const Case& one :
         {Case{0, false, "CIOUnit::InitialiseIODevice - No Ksvcp device interface instances"},
          Case{1, true, "CIOUnit::InitialiseIODevice - Too many device interface instances"}}) {
        CWineMachine machine;
        LogCaptureClear();
        ASSERT_TRUE(svcpsim::CSimRelayHost::SetInterface(one.index, one.present));
        LoadedLibrary library;
        const SERVICE_CODE result = library.InitialiseServiceDriver();
        ASSERT_TRUE(svcpsim::CSimRelayHost::SetInterface(one.index, !one.present));
        EXPECT_EQ(result, ServiceCode_DriverUnavailable) << one.line;
        EXPECT_TRUE(Contains(Captured(1), one.line)) << one.line;
    }
}

// --- Load and unload -------------------------------------------------------

TEST_F(WineEndToEnd, LoadConstructsAndFreeLibraryDestroysInOrder) {
    ASSERT_FALSE(LoadedLibrary::IsLoaded());
    LoadedLibrary library;
    EXPECT_EQ(LifecycleLines(Captured()), kLoadLines);
    LogCaptureClear();
    bool gone = false;
    ASSERT_TRUE(UnloadWithin10s(library, &gone));
    EXPECT_TRUE(gone);
    EXPECT_EQ(LifecycleLines(Captured()), UnloadLines(false));
}

// The polling thread runs and a listener is registered: FreeLibrary stops
// the thread under the loader lock and returns.
TEST_F(WineEndToEnd, FreeLibraryWhilePollingWithAListenerReturns) {
    CWineMachine machine;
    ASSERT_TRUE(machine.IsReady());
    for (int round = 0; round < 3; ++round) {
        LoadedLibrary library;
        ASSERT_EQ(library.InitialiseServiceDriver(), ServiceCode_Success);
        RecordingListener listener;
        library.RegisterSensorStateListener(&listener);
        // Polls are under way: wait until the service processor saw one.
        WaitForAPoll(machine);
        LogCaptureClear();
        bool gone = false;
        ASSERT_TRUE(UnloadWithin10s(library, &gone));
        EXPECT_TRUE(gone);
        EXPECT_EQ(LifecycleLines(Captured()), UnloadLines(true)) << "round " << round;
    }
}

// FreeLibrary unmaps the module as soon as the polling thread has let
// Terminate go: from then on the thread must run none of the module's code,
// or it faults in freed code (EndOnUnhandledException ends the program).
// Many cycles, the process on one processor so that the unloading thread,
// woken by the thread's last signal, tends to run before the thread's next
// instruction.
class WineUnloadStress : public WineEndToEnd {};

TEST_F(WineUnloadStress, FreeLibraryWhilePollingNeverLeavesTheThreadInFreedCode) {
    constexpr int kCycles = 300;
    CWineMachine machine;
    ASSERT_TRUE(machine.IsReady());
    DWORD_PTR processMask = 0;
    DWORD_PTR systemMask = 0;
    ASSERT_TRUE(GetProcessAffinityMask(GetCurrentProcess(), &processMask, &systemMask));
    ASSERT_TRUE(SetProcessAffinityMask(GetCurrentProcess(), processMask & (~processMask + 1)));
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    std::vector<double> unloadMilliseconds;
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        LoadedLibrary library;
        ASSERT_EQ(library.InitialiseServiceDriver(), ServiceCode_Success) << "cycle " << cycle;
        RecordingListener listener;
        library.RegisterSensorStateListener(&listener);
        WaitForAPoll(machine);
        LARGE_INTEGER start;
        LARGE_INTEGER end;
        QueryPerformanceCounter(&start);
        bool gone = false;
        ASSERT_TRUE(UnloadWithin10s(library, &gone));
        QueryPerformanceCounter(&end);
        ASSERT_TRUE(gone) << "cycle " << cycle;
        unloadMilliseconds.push_back(1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) /
                                     static_cast<double>(frequency.QuadPart));
        LogCaptureClear();
    }
    SetProcessAffinityMask(GetCurrentProcess(), processMask);
    std::sort(unloadMilliseconds.begin(), unloadMilliseconds.end());
    std::printf(
        "FreeLibrary over %d cycles: median %.2f ms, 90th percentile %.2f ms, max %.2f ms\n",
        kCycles, unloadMilliseconds[unloadMilliseconds.size() / 2],
        unloadMilliseconds[unloadMilliseconds.size() * 9 / 10], unloadMilliseconds.back());
}

}  // namespace
