// A test whose library log lines (levels 0 to 4) are captured instead of
// written, each test from an empty capture; the log goes back to standard
// error after it.
#pragma once

#include <vector>

#include <gtest/gtest.h>

#include "LogControl.h"

class LogCapturingTest : public ::testing::Test {
protected:
    void SetUp() override {
        LogSetFile("none");
        LogCaptureStart(4);
        LogCaptureClear();
    }

    void TearDown() override {
        LogCaptureStop();
        LogCaptureClear();
        LogSetFile("stderr");
    }

    // The lines captured since the last call, which starts a new capture.
    static std::vector<LogLine> TakeLines() {
        std::vector<LogLine> lines = LogCaptured();
        LogCaptureClear();
        return lines;
    }
};
