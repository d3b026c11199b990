// Shared helpers of the log library's tests.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "LogControl.h"
#include "svcproc/logging/Log.h"

namespace logtest {

// Log and WLog without the compiler's printf checking, which knows the host
// C library's rules, not the ones these tests exercise (%S, %ws, %I64d, ...).
// Not const: a constant pointer is seen through and the call checked again.
inline void (*LogUnchecked)(_LOG_LEVEL, const char*, ...) = &Log;
inline void (*WLogUnchecked)(_LOG_LEVEL, const wchar_t*, ...) = &WLog;

// Each test starts with nothing written, level 1, and everything captured.
class LogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(0, LogSetFile("none"));
        LogSetLevel(LOG_LEVEL_ERROR);
        LogCaptureStart(LOG_LEVEL_DEBUG);
    }
    void TearDown() override {
        LogCaptureStop();
        LogCaptureClear();
        LogSetLevel(LOG_LEVEL_ERROR);
        LogSetFile("none");
    }
};

// The text of the single line captured since the last clear.
inline std::string OnlyCapturedText() {
    const std::vector<LogLine> lines = LogCaptured();
    if (lines.size() != 1) {
        return "<" + std::to_string(lines.size()) + " lines captured>";
    }
    return lines[0].text;
}

template <typename... Args>
std::string Narrow(const char* format, Args... args) {
    LogCaptureClear();
    LogUnchecked(LOG_LEVEL_ERROR, format, args...);
    return OnlyCapturedText();
}

template <typename... Args>
std::string Wide(const wchar_t* format, Args... args) {
    LogCaptureClear();
    WLogUnchecked(LOG_LEVEL_ERROR, format, args...);
    return OnlyCapturedText();
}

// A path under the test temporary directory, unique to this process, removed
// when the object goes.
class TempPath {
public:
    explicit TempPath(const std::string& name) {
        static std::atomic<int> counter{0};
        path_ = ::testing::TempDir() + "svcp_log_" + name + "_" + std::to_string(::getpid()) + "_" +
                std::to_string(counter++);
        std::remove(path_.c_str());
    }
    ~TempPath() { std::remove(path_.c_str()); }
    TempPath(const TempPath&) = delete;
    TempPath& operator=(const TempPath&) = delete;

    const char* c_str() const { return path_.c_str(); }
    const std::string& str() const { return path_; }
    bool Exists() const { return std::ifstream(path_).good(); }
    std::string Read() const {
        std::ifstream in(path_, std::ios::binary);
        std::ostringstream content;
        content << in.rdbuf();
        return content.str();
    }

private:
    std::string path_;
};

// Lines of a text, each without its '\n'. A last line without '\n' is kept.
inline std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

struct WrittenLine {
    std::string timestamp;  // YYYY-MM-DDTHH:MM:SS.mmmZ
    unsigned long thread = 0;
    int level = -1;
    std::string text;
};

// Parses "YYYY-MM-DDTHH:MM:SS.mmmZ [thread] L<level> text"; false when the
// line does not have exactly that shape.
inline bool ParseWrittenLine(const std::string& line, WrittenLine& parsed) {
    static const std::string kShape = "dddd-dd-ddTdd:dd:dd.dddZ [";
    if (line.size() < kShape.size()) {
        return false;
    }
    for (size_t i = 0; i < kShape.size(); ++i) {
        const bool ok = kShape[i] == 'd' ? std::isdigit(static_cast<unsigned char>(line[i])) != 0
                                         : line[i] == kShape[i];
        if (!ok) {
            return false;
        }
    }
    size_t pos = kShape.size();
    const size_t threadStart = pos;
    while (pos < line.size() && std::isdigit(static_cast<unsigned char>(line[pos]))) {
        ++pos;
    }
    if (pos == threadStart || line.compare(pos, 3, "] L") != 0) {
        return false;
    }
    parsed.thread = std::stoul(line.substr(threadStart, pos - threadStart));
    pos += 3;
    if (pos + 1 >= line.size() || line[pos] < '0' || line[pos] > '4' || line[pos + 1] != ' ') {
        return false;
    }
    parsed.timestamp = line.substr(0, 24);
    parsed.level = line[pos] - '0';
    parsed.text = line.substr(pos + 2);
    return true;
}

// The texts of a file's written lines, in order; a line of another shape
// stands as "unparsed: " and itself.
inline std::vector<std::string> WrittenTexts(const std::string& content) {
    std::vector<std::string> texts;
    for (const std::string& text : SplitLines(content)) {
        WrittenLine line;
        texts.push_back(ParseWrittenLine(text, line) ? line.text : "unparsed: " + text);
    }
    return texts;
}

}  // namespace logtest
