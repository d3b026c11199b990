// --check's answer: the performance-data grammar, the status a machine's
// sensors give, and the watchdog that answers UNKNOWN when the library
// hangs, driven by a clock the test moves.
#include <atomic>
#include <clocale>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "../CommaLocale.h"
#include "../SnapshotSamples.h"
#include "check/CheckReport.h"
#include "check/CheckRun.h"
#include "check/PerfData.h"

namespace {

// A fan: lower critical 800, lower non-critical 1200, nothing above.
SensorSnapshot Fan(const wchar_t* description, int32_t rpm, unsigned long state = 0) {
    SensorSnapshot sensor =
        Sensor(0x20000, description, 19, 0, rpm, {kNa, 800, 1200, kNa, kNa, kNa}, state);
    sensor.information.MinReadable = kNa;
    sensor.information.MaxReadable = kNa;
    return sensor;
}

// Tenths of a degree: upper non-critical 75, critical 85, readable 0 to 127.
SensorSnapshot Temperature(int32_t tenths) {
    SensorSnapshot sensor =
        Sensor(0x30000, L"CPU Temperature", 2, -1, tenths, {kNa, kNa, kNa, 750, 850, 950});
    sensor.information.MinReadable = 0;
    sensor.information.MaxReadable = 1270;
    return sensor;
}

Snapshot Machine(std::vector<SensorSnapshot> sensors) {
    Snapshot snapshot;
    snapshot.startup = ServiceCode_Success;
    snapshot.sensors = std::move(sensors);
    snapshot.leds.push_back(Led(0x40000, 0, 1, L"Power", 1));
    return snapshot;
}

TEST(PerfData, RangesLabelsAndNumbers) {
    EXPECT_EQ(PerfRange(100, 200, -1), "10:20");
    EXPECT_EQ(PerfRange(kNa, 750, -1), "~:75");
    EXPECT_EQ(PerfRange(1200, kNa, 0), "1200:");
    EXPECT_EQ(PerfRange(kNa, kNa, 0), "");
    EXPECT_EQ(PerfRange(-50, 3300, -3), "-0.05:3.3");
    EXPECT_EQ(PerfNumber(3050, 40), "") << "no exponents";
    EXPECT_EQ(PerfLabel("Rear's fan = 1|2\n"), "'Rear''s fan _ 1/2 '");

    EXPECT_EQ(SensorPerfData(Temperature(712), "CPU"), "'CPU'=71.2;~:75;~:85;0;127");
    // Lower bounds only; no readable limits: the trailing fields are left out.
    EXPECT_EQ(SensorPerfData(Fan(L"F", 850), "F"), "'F'=850;1200:;800:");
    // No critical threshold above: the non-recoverable one stands in.
    SensorSnapshot sensor = Temperature(700);
    sensor.information.UpperThresholdCritical = kNa;
    EXPECT_EQ(SensorPerfData(sensor, "T"), "'T'=70;~:75;~:95;0;127");
    sensor.readResult = ServiceCode_InvalidHandle;
    EXPECT_EQ(SensorPerfData(sensor, "T"), "'T'=U;~:75;~:95;0;127");
}

TEST(PerfData, DecimalPointsWhateverTheLocale) {
    if (!MakeCommaLocaleAvailable()) {
        GTEST_SKIP() << kCommaLocale << " cannot be made";
    }
    EXPECT_EQ(SensorPerfData(Temperature(712), "CPU"), "'CPU'=71.2;~:75;~:85;0;127");
    std::setlocale(LC_ALL, "C");
}

TEST(CheckReport, TheWorstSensorDecidesAndIsNamed) {
    CheckStyle style;
    CheckResult result = ReportCheck(Machine({Temperature(480), Fan(L"CPU Fan 1", 3000)}), style);
    EXPECT_EQ(result.status, Check_Ok);
    EXPECT_EQ(result.text,
              "SVCPROC OK - 2 sensors ok | 'CPU Temperature'=48;~:75;~:85;0;127 "
              "'CPU Fan 1'=3000;1200:;800:\n");

    const Snapshot trouble =
        Machine({Temperature(790), Fan(L"CPU Fan 1", 850, 1), Fan(L"CPU Fan 1", 3000)});
    result = ReportCheck(trouble, style);
    EXPECT_EQ(result.status, Check_Critical);
    EXPECT_EQ(result.text.substr(0, result.text.find(" | ")),
              "SVCPROC CRITICAL - CPU Temperature warning (79.0 °C), CPU Fan 1 critical "
              "(850 RPM)");
    EXPECT_NE(result.text.find("'CPU Fan 1 0x00020000'=3000"), std::string::npos)
        << "a repeated label takes the handle: " << result.text;

    style.warningOnly = true;
    style.verbose = true;
    result = ReportCheck(trouble, style);
    EXPECT_EQ(result.status, Check_Warning);
    EXPECT_EQ(result.text.substr(0, result.text.find(" | ")),
              "SVCPROC WARNING - CPU Temperature warning (79.0 °C), CPU Fan 1 warning "
              "(850 RPM)");
    EXPECT_NE(result.text.find("\nCPU Fan 1: critical, 850 RPM\n"), std::string::npos)
        << "the detail keeps the level: " << result.text;
    EXPECT_NE(result.text.find("\nLED Power: on\n"), std::string::npos) << result.text;
}

TEST(CheckReport, UnknownWithoutAnAnsweringMachine) {
    Snapshot failed;
    failed.startup = ServiceCode_NoServiceProcessor;
    EXPECT_EQ(ReportCheck(failed, {}).status, Check_Unknown);
    EXPECT_EQ(ReportCheck(failed, {}).text.rfind("SVCPROC UNKNOWN - start-up failed with 5 (", 0),
              0u);

    Snapshot quiet = Machine({Fan(L"F", 3000)});
    quiet.link = LinkSnapshot{};
    quiet.link->status.Exchanges[ExchangeKind_Fans].ConsecutiveFailures = 2;
    EXPECT_EQ(ReportCheck(quiet, {}).text,
              "SVCPROC UNKNOWN - the service processor does not answer\n");
    EXPECT_EQ(ReportCheck(Machine({}), {}).status, Check_Unknown) << "nothing left to judge";
}

// A steady clock the test moves; sleeping on it waits until it does.
class CTestClock {
public:
    MonitorHooks Hooks(std::function<SERVICE_CODE()> initialise) {
        MonitorHooks hooks;
        hooks.initialise = std::move(initialise);
        hooks.now = [this] {
            std::lock_guard<std::mutex> lock(m_Lock);
            return m_Now;
        };
        hooks.sleepUntil = [this](std::chrono::steady_clock::time_point until) {
            std::unique_lock<std::mutex> lock(m_Lock);
            m_Moved.wait_for(lock, std::chrono::milliseconds(20), [&] { return m_Now >= until; });
        };
        return hooks;
    }
    void Advance(std::chrono::milliseconds by) {
        std::lock_guard<std::mutex> lock(m_Lock);
        m_Now += by;
        m_Moved.notify_all();
    }

private:
    std::mutex m_Lock;
    std::condition_variable m_Moved;
    std::chrono::steady_clock::time_point m_Now{};
};

TEST(CheckRun, AHungStartUpIsAnsweredByTheWatchdogAlone) {
    CTestClock clock;
    std::mutex lock;
    std::condition_variable changed;
    bool entered = false;
    bool released = false;
    MonitorHooks hooks = clock.Hooks([&] {
        std::unique_lock<std::mutex> guard(lock);
        entered = true;
        changed.notify_all();
        changed.wait(guard, [&] { return released; });
        return ServiceCode_NoServiceProcessor;
    });
    std::atomic<int> expired{0};
    auto expire = [&] {
        ++expired;
        std::lock_guard<std::mutex> guard(lock);
        released = true;  // the process would end here
        changed.notify_all();
    };
    MonitorOptions options;
    options.check = true;
    options.timeoutSeconds = 2;
    FILE* out = std::tmpfile();
    MonitorStreams streams;
    streams.out = out;
    int status = -1;
    std::thread run([&] { status = RunCheck(options, streams, hooks, expire); });
    {
        std::unique_lock<std::mutex> guard(lock);
        changed.wait(guard, [&] { return entered; });
    }
    clock.Advance(std::chrono::milliseconds(1999));
    EXPECT_EQ(expired.load(), 0) << "not before the deadline";
    clock.Advance(std::chrono::milliseconds(1));
    run.join();
    EXPECT_EQ(expired.load(), 1);
    EXPECT_EQ(status, Check_Unknown);
    EXPECT_EQ(std::ftell(out), 0) << "the run writes nothing once the watchdog has answered";
    std::fclose(out);
}

}  // namespace
