// A failed start-up as the exporter says it: in the same words as a watch
// (one ExplainStartup for both), followed by what the exporter does about it.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "exporter/Exporter.h"
#include "run/Monitor.h"
#include "run/MonitorOptions.h"
#include "snapshot/ServiceCodeAdvice.h"
#include "monitor/exporter/CapturedRun.h"
#include "support/FileContents.h"

namespace {

TEST(ExporterStartup, ExplainsAFailedStartUpAsTheWatchDoes) {
    MonitorOptions once;
    once.mode = RunMode::Once;
    MonitorOptions exporter;
    exporter.listen = {"127.0.0.1:0"};
    for (const SERVICE_CODE code :
         {ServiceCode_SmbiosUnreadable, ServiceCode_SmbiosInventoryFailed,
          ServiceCode_PosSystemUnavailable, ServiceCode_NoServiceProcessor,
          ServiceCode_DriverUnavailable}) {
        const ServiceCodeAdvice advice = DescribeServiceCode(code);
        const std::string explanation =
            "svcproc-monitor: start-up failed with " + std::to_string(static_cast<int>(code)) +
            " (" + advice.name + "): " + advice.meaning + "\n  " + advice.advice + "\n";

        const CapturedRun watch = RunCaptured(once, code);
        EXPECT_EQ(watch.status, static_cast<int>(code));
        EXPECT_EQ(watch.err, explanation);

        const CapturedRun served = RunCaptured(exporter, code);
        EXPECT_EQ(served.status, 0) << "an exporter serves svcproc_up 0 instead";
        EXPECT_EQ(served.err, explanation +
                                  "svcproc-monitor: serving svcproc_up 0; start-up is retried "
                                  "every interval\n");
        EXPECT_EQ(served.out.rfind("svcproc-monitor: serving http://127.0.0.1:", 0), 0u)
            << served.out;
    }
}

TEST(ExporterStartup, TheTimeOptionsKeepTheirValueOnTheSteadyClock) {
    using std::chrono::duration_cast;
    using std::chrono::milliseconds;
    EXPECT_EQ(duration_cast<milliseconds>(Seconds(kMinIntervalSeconds)).count(), 50);
    EXPECT_EQ(duration_cast<milliseconds>(Seconds(1.5)).count(), 1500);
    EXPECT_EQ(duration_cast<std::chrono::seconds>(Seconds(kMaxIntervalSeconds)).count(), 86400);
    // Ten years of the clock's ticks, no overflow.
    EXPECT_EQ(duration_cast<std::chrono::seconds>(Seconds(kMaxDurationSeconds)).count(), 315360000);
}

}  // namespace
