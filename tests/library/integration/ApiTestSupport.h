// Shared pieces of the end-to-end tests: a fixture that captures the log and
// leaves the platform's seams clean, and a listener that records calls.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/process/LoadedLibrary.h"
#include "LogControl.h"
#include "TestMachine.h"
#include "platform_seams.h"
#include "support/RecordingListener.h"

class ApiTest : public ::testing::Test {
protected:
    void SetUp() override {
        LogSetLevel(0);
        LogCaptureStart(4);
    }
    void TearDown() override {
        LogCaptureStop();
        SvcpClearFailures();
        SvcpUnfreezeTickCount();
    }

    static std::vector<std::string> CapturedTexts(int maxLevel = 4) {
        std::vector<std::string> texts;
        for (const LogLine& line : LogCaptured()) {
            if (line.level <= maxLevel) {
                texts.push_back(line.text);
            }
        }
        return texts;
    }
    static size_t CountCaptured(const std::string& text) {
        size_t count = 0;
        for (const LogLine& line : LogCaptured()) {
            count += line.text == text ? 1 : 0;
        }
        return count;
    }
};
