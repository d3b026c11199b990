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

#include "LoadedLibrary.h"
#include "LogControl.h"
#include "TestMachine.h"
#include "platform_seams.h"

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

struct ListenerCall {
    unsigned long handle;
    unsigned long state;
    unsigned long reading;
    std::thread::id thread;
};

class RecordingListener : public ISensorStateListener {
public:
    void OnSensorStateChange(unsigned long handle, unsigned long state,
                             unsigned long reading) override {
        std::lock_guard<std::mutex> guard(m_Lock);
        m_vCalls.push_back({handle, state, reading, std::this_thread::get_id()});
        m_Changed.notify_all();
    }
    // Waits (bounded) until at least `count` calls arrived.
    std::vector<ListenerCall> WaitForCalls(size_t count) {
        std::unique_lock<std::mutex> guard(m_Lock);
        m_Changed.wait_for(guard, std::chrono::seconds(5),
                           [&] { return m_vCalls.size() >= count; });
        return m_vCalls;
    }
    std::vector<ListenerCall> Calls() {
        std::lock_guard<std::mutex> guard(m_Lock);
        return m_vCalls;
    }

private:
    std::mutex m_Lock;
    std::condition_variable m_Changed;
    std::vector<ListenerCall> m_vCalls;
};
