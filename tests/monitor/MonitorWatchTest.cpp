// A watch that starts before the driver: start-up retried every interval on
// an injected clock, said on the error stream and in the table; --once gives
// up at once with the result code.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "run/Monitor.h"
#include "support/FileContents.h"

namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

// Start-up answers from a script; the clock moves only when slept on.
struct FakeStartUp {
    std::vector<SERVICE_CODE> answers;
    std::vector<Clock::duration> attempts;  // since the first
    Clock::time_point now = Clock::time_point() + std::chrono::hours(1);
    Clock::time_point first;
    std::atomic<bool> stop{false};
    bool stopOnSuccess = true;

    MonitorHooks Hooks() {
        MonitorHooks hooks;
        hooks.initialise = [this] {
            if (attempts.empty()) {
                first = now;
            }
            attempts.push_back(now - first);
            const SERVICE_CODE answer = attempts.size() <= answers.size()
                                            ? answers[attempts.size() - 1]
                                            : ServiceCode_Success;
            stop.store(answer == ServiceCode_Success && stopOnSuccess);
            return answer;
        };
        hooks.now = [this] { return now; };
        hooks.sleepUntil = [this](Clock::time_point until) { now = std::max(now, until); };
        return hooks;
    }
};

struct Streams {
    FILE* out = std::tmpfile();
    FILE* err = std::tmpfile();
    ~Streams() {
        std::fclose(out);
        std::fclose(err);
    }
    // The monitor run on these streams, standard output replaced by
    // `otherOut` when given; its exit status.
    int Run(const MonitorOptions& options, FakeStartUp& startUp, FILE* otherOut = nullptr) const {
        MonitorStreams streams;
        streams.out = otherOut != nullptr ? otherOut : out;
        streams.err = err;
        return RunMonitor(options, streams, startUp.stop, startUp.Hooks());
    }
};

TEST(MonitorWatch, RetriesAFailedStartUpEveryInterval) {
    FakeStartUp startUp;
    startUp.answers = {ServiceCode_SmbiosUnreadable, ServiceCode_SmbiosUnreadable,
                       ServiceCode_DriverUnavailable};
    MonitorOptions options;
    options.mode = RunMode::Watch;
    options.intervalSeconds = 1.5;
    Streams streams;
    EXPECT_EQ(streams.Run(options, startUp), 0);
    EXPECT_EQ(startUp.attempts,
              (std::vector<Clock::duration>{milliseconds(0), milliseconds(1500), milliseconds(3000),
                                            milliseconds(4500)}));
    const std::string out = FileContents(streams.out);
    EXPECT_EQ(CountOccurrences(out, "start-up failed with 2 (SmbiosUnreadable)"), 2u) << out;
    EXPECT_EQ(CountOccurrences(out, "start-up failed with 6 (DriverUnavailable)"), 1u) << out;
    EXPECT_EQ(CountOccurrences(out, "Retrying every 1.5 s; next attempt at "), 3u) << out;
    const std::string err = FileContents(streams.err);
    EXPECT_EQ(CountOccurrences(err, "svcproc-monitor: start-up failed with 2"), 1u)
        << "said once: " << err;
    EXPECT_EQ(CountOccurrences(err, "svcproc-monitor: start-up failed with 6"), 1u)
        << "and when it changes";
    EXPECT_THAT(err, ::testing::HasSubstr("svcproc-monitor: retrying every 1.5 s"));
    EXPECT_THAT(err, ::testing::HasSubstr("svcproc-monitor: started"));
}

TEST(MonitorWatch, AWatchThatEndsBeforeStartUpGivesTheLastResult) {
    FakeStartUp startUp;
    startUp.answers.assign(100, ServiceCode_DriverUnavailable);
    MonitorOptions options;
    options.mode = RunMode::Watch;
    options.durationSeconds = 2.5;
    Streams streams;
    EXPECT_EQ(streams.Run(options, startUp), 6);
    EXPECT_EQ(startUp.attempts.size(), 3u) << "at 0, 1 and 2 s";
}

TEST(MonitorWatch, OnceGivesUpAtOnceWithTheResultCode) {
    FakeStartUp startUp;
    startUp.answers = {ServiceCode_NoServiceProcessor};
    MonitorOptions options;
    options.mode = RunMode::Once;
    Streams streams;
    EXPECT_EQ(streams.Run(options, startUp), 5);
    EXPECT_EQ(startUp.attempts.size(), 1u);
    EXPECT_EQ(FileContents(streams.out), "")
        << "the table format explains on the error stream only";
    EXPECT_THAT(FileContents(streams.err), ::testing::HasSubstr("NoServiceProcessor"));
}

TEST(MonitorWatch, AFailedWriteIsExitStatus74) {
    FILE* full = std::fopen("/dev/full", "w");
    if (full == nullptr) {
        GTEST_SKIP() << "no /dev/full";
    }
    FakeStartUp startUp;
    startUp.answers = {ServiceCode_DriverUnavailable};
    MonitorOptions options;
    options.mode = RunMode::Watch;
    options.format = OutputFormat::Json;
    Streams streams;
    EXPECT_EQ(streams.Run(options, startUp, full), kExitOutput);
    EXPECT_EQ(startUp.attempts.size(), 1u) << "no retry once the output is gone";
    EXPECT_THAT(FileContents(streams.err),
                ::testing::HasSubstr("cannot write standard output: No space left on device"));
    std::fclose(full);
}

}  // namespace
