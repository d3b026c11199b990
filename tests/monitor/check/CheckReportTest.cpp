// --check's answer: the performance-data grammar, the status a machine's
// sensors give, and the watchdog that answers alone when start-up hangs,
// driven by a clock the test moves.
#include <atomic>
#include <clocale>
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "../CommaLocale.h"
#include "../SnapshotSamples.h"
#include "check/CheckReport.h"
#include "check/CheckRun.h"
#include "check/PerfData.h"

namespace {

using Milliseconds = std::chrono::milliseconds;

// Tenths of a degree: upper non-critical 75, critical 85, readable 0 to 127.
SensorSnapshot Temperature(int32_t tenths, unsigned long state = 0,
                           unsigned long handle = 0x30000) {
    SensorSnapshot sensor =
        Sensor(handle, L"CPU Temperature", 2, -1, tenths, {kNa, kNa, kNa, 750, 850, 950}, state);
    sensor.information.MinReadable = 0;
    sensor.information.MaxReadable = 1270;
    return sensor;
}

TEST(PerfData, RangesLabelsAndNumbers) {
    EXPECT_EQ(PerfRange(-50, 3300, -3), "-0.05:3.3");
    EXPECT_EQ(PerfRange(1200, kNa, 0), "1200:");
    EXPECT_EQ(PerfRange(kNa, kNa, 0), "");
    EXPECT_EQ(PerfNumber(3050, 40), "") << "no exponents";
    EXPECT_EQ(PerfLabel("Rear's fan = 1|2\n"), "'Rear''s fan _ 1/2 '");
    SensorSnapshot sensor = Temperature(712);
    sensor.information.UpperThresholdCritical = kNa;  // the non-recoverable one stands in
    sensor.information.MaxReadable = kNa;             // trailing empty fields go
    sensor.information.MinReadable = kNa;
    EXPECT_EQ(SensorPerfData(sensor, "T"), "'T'=71.2;~:75;~:95");
    sensor.readResult = ServiceCode_InvalidHandle;
    EXPECT_EQ(SensorPerfData(sensor, "T"), "'T'=U;~:75;~:95");
    if (MakeCommaLocaleAvailable()) {
        EXPECT_EQ(SensorPerfData(Temperature(712), "C"), "'C'=71.2;~:75;~:85;0;127");
        std::setlocale(LC_ALL, "C");
    }
}

TEST(CheckReport, StatusesAndTheirLines) {
    Snapshot snapshot;
    snapshot.startup = ServiceCode_Success;
    snapshot.sensors = {Temperature(790), Temperature(480, 1, 0x30001),
                        Temperature(480, 0, 0x30002)};
    snapshot.leds = {Led(0x40000, 0, 1, L"Power", 1)};
    CheckResult result = ReportCheck(snapshot, {});
    EXPECT_EQ(result.status, Check_Critical);
    EXPECT_EQ(result.text.substr(0, result.text.find(" | ")),
              "SVCPROC CRITICAL - CPU Temperature warning (79.0 °C), CPU Temperature critical "
              "(48.0 °C)");
    EXPECT_NE(result.text.find(" 'CPU Temperature 0x00030001'=48;"), std::string::npos)
        << "a repeated label takes the handle: " << result.text;

    result = ReportCheck(snapshot, {true, true});
    EXPECT_EQ(result.status, Check_Warning) << "--warning-only";
    EXPECT_EQ(result.text.find("critical ("), std::string::npos) << result.text;
    EXPECT_NE(result.text.find("\nCPU Temperature: critical, 48.0 °C\n"), std::string::npos);
    EXPECT_NE(result.text.find("\nLED Power: on\n"), std::string::npos) << result.text;

    snapshot.link = LinkSnapshot{};
    snapshot.link->status.Exchanges[ExchangeKind_AlertPoll].ConsecutiveFailures = 2;
    EXPECT_EQ(ReportCheck(snapshot, {}).text,
              "SVCPROC UNKNOWN - the service processor does not answer\n");
    snapshot.startup = ServiceCode_NoServiceProcessor;
    EXPECT_EQ(ReportCheck(snapshot, {}).text.rfind("SVCPROC UNKNOWN - start-up failed with 5 (", 0),
              0u);
}

TEST(CheckRun, AHungStartUpIsAnsweredByTheWatchdogAlone) {
    std::atomic<int> nowMs{0};
    std::atomic<int> expired{0};
    std::atomic<int> naps{0};  // the watchdog's sleeps: each follows a look at the clock
    std::promise<void> entered;
    std::promise<void> released;
    MonitorHooks hooks;
    hooks.now = [&] { return std::chrono::steady_clock::time_point() + Milliseconds(nowMs); };
    hooks.sleepUntil = [&](std::chrono::steady_clock::time_point) {
        ++naps;
        std::this_thread::yield();
    };
    hooks.initialise = [&, release = released.get_future().share()] {
        entered.set_value();
        release.wait();  // hangs until the watchdog has answered
        return ServiceCode_NoServiceProcessor;
    };
    MonitorOptions options;
    options.timeoutSeconds = 2;
    MonitorStreams streams;
    streams.out = std::tmpfile();
    int status = -1;
    std::thread run([&] {
        status = RunCheck(options, streams, hooks, [&] {
            ++expired;  // the process would end here
            released.set_value();
        });
    });
    entered.get_future().wait();
    nowMs = 1999;
    for (const int seen = naps; naps < seen + 2 && expired == 0;) {  // a round at 1999 ms
        std::this_thread::yield();
    }
    EXPECT_EQ(expired, 0) << "not before the deadline";
    nowMs = 2000;
    run.join();
    EXPECT_EQ(expired, 1);
    EXPECT_EQ(status, Check_Unknown);
    EXPECT_EQ(std::ftell(streams.out), 0) << "the run writes nothing once the watchdog has";
    std::fclose(streams.out);
}

}  // namespace
