// A watch whose --output cannot be written goes on: it tries again at each
// refresh, says so once per run of failures and again when it writes, on an
// injected clock. --once gives up with status 74.
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "run/Monitor.h"
#include "support/FileContents.h"
#include "support/TempDirectory.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string Read(const std::string& path) {
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// A driver that never comes: the watch writes its start-up failure document
// every interval without touching the library. `at(seconds)` runs once the
// clock has passed that many seconds since the start.
struct WatchWithoutDriver {
    Clock::time_point start = Clock::time_point() + std::chrono::hours(1);
    Clock::time_point now = start;
    std::atomic<bool> stop{false};
    int attempts = 0;
    std::function<void(double seconds)> at;

    int Run(const MonitorOptions& options, FILE* err) {
        MonitorHooks hooks;
        hooks.initialise = [this] {
            ++attempts;
            return ServiceCode_DriverUnavailable;
        };
        hooks.now = [this] { return now; };
        hooks.sleepUntil = [this](Clock::time_point until) {
            now = std::max(now, until);
            if (at) {
                at(std::chrono::duration<double>(now - start).count());
            }
        };
        MonitorStreams streams;
        streams.out = nullptr;
        streams.err = err;
        return RunMonitor(options, streams, stop, hooks);
    }
};

MonitorOptions PrometheusWatch(const std::string& file, double seconds) {
    MonitorOptions options;
    options.mode = RunMode::Watch;
    options.format = OutputFormat::Prometheus;
    options.outputFile = file;
    options.intervalSeconds = 1;
    options.durationSeconds = seconds;
    return options;
}

class MonitorOutputRetry : public testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(m_Folder.Path().empty()); }
    ~MonitorOutputRetry() override { std::fclose(m_pErr); }

    CTempDirectory m_Folder{"svcp-watch-output"};
    FILE* m_pErr = std::tmpfile();
};

TEST_F(MonitorOutputRetry, AWatchWritesAgainOnceTheFolderIsThere) {
    const std::string folder = m_Folder.Path() + "/textfile";
    const std::string file = folder + "/svcproc.prom";
    WatchWithoutDriver watch;
    watch.at = [&](double seconds) {
        if (seconds >= 2.5 && !std::filesystem::exists(folder)) {
            std::filesystem::create_directory(folder);
        }
    };
    EXPECT_EQ(watch.Run(PrometheusWatch(file, 5.5), m_pErr), 6)
        << "the last start-up's code: the output recovered";
    EXPECT_EQ(watch.attempts, 6) << "the watch went on to its end";
    EXPECT_THAT(Read(file), testing::HasSubstr("svcproc_up 0"));
    const std::string err = FileContents(m_pErr);
    EXPECT_EQ(
        CountOccurrences(err, "svcproc-monitor: cannot write " + file +
                                  ": No such file or directory (trying again at each refresh)"),
        1u)
        << "once per run of failures: " << err;
    EXPECT_EQ(
        CountOccurrences(err, "svcproc-monitor: wrote " + file + " again after 3 failed attempts"),
        1u)
        << err;
}

TEST_F(MonitorOutputRetry, EachRunOfFailuresIsSaidOnce) {
    const std::string file = m_Folder.Path() + "/svcproc.prom";
    WatchWithoutDriver watch;
    // A directory in the file's place from 1.5 s to 3.5 s, then again from
    // 5.5 s to the end.
    watch.at = [&](double seconds) {
        const bool blocked = (seconds >= 1.5 && seconds < 3.5) || seconds >= 5.5;
        if (blocked && !std::filesystem::is_directory(file)) {
            std::filesystem::remove(file);
            std::filesystem::create_directory(file);
        } else if (!blocked && std::filesystem::is_directory(file)) {
            std::filesystem::remove(file);
        }
    };
    EXPECT_EQ(watch.Run(PrometheusWatch(file, 6.5), m_pErr), kExitOutput)
        << "the last write failed: " << FileContents(m_pErr);
    const std::string err = FileContents(m_pErr);
    EXPECT_EQ(
        CountOccurrences(err, "cannot write " + file + ": not a regular file but a directory"), 2u)
        << err;
    EXPECT_EQ(CountOccurrences(err, "again after 2 failed attempts"), 1u) << err;
}

TEST_F(MonitorOutputRetry, OnceGivesUpWithStatus74) {
    const std::string fifo = m_Folder.Path() + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    MonitorOptions options = PrometheusWatch(fifo, -1);
    options.mode = RunMode::Once;
    WatchWithoutDriver watch;
    EXPECT_EQ(watch.Run(options, m_pErr), kExitOutput);
    EXPECT_THAT(FileContents(m_pErr),
                testing::HasSubstr("svcproc-monitor: cannot write " + fifo +
                                   ": not a regular file but a fifo, which is never replaced\n"));
}

}  // namespace
