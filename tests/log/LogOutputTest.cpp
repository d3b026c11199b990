// Written lines: their shape, the destination, and whole lines under load.
#include <atomic>
#include <ctime>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "LogTestSupport.h"

namespace {

using logtest::ParseWrittenLine;
using logtest::SplitLines;
using logtest::TempPath;
using logtest::WrittenLine;
using logtest::WrittenTexts;

class LogOutput : public logtest::LogTest {};
class LogThreads : public logtest::LogTest {};

int64_t SecondsSinceEpoch(const std::string& timestamp) {
    struct tm parts {};
    if (strptime(timestamp.c_str(), "%Y-%m-%dT%H:%M:%S", &parts) == nullptr) {
        return -1;
    }
    return static_cast<int64_t>(timegm(&parts));
}

TEST_F(LogOutput, LinesHaveTimeThreadLevelAndText) {
    TempPath path("shape");
    ASSERT_EQ(0, LogSetFile(path.c_str()));
    LogSetLevel(LOG_LEVEL_INFO);
    const int64_t before = static_cast<int64_t>(std::time(nullptr));
    Log(LOG_LEVEL_ERROR, "hello %d", 1);
    Log(LOG_LEVEL_INFO, "ends with a line end\n");
    WLog(LOG_LEVEL_WARNING, L"wide \u00E9");
    LogQuick(LOG_LEVEL_ERROR, "");
    Log(LOG_LEVEL_DEBUG, "not written");
    const int64_t after = static_cast<int64_t>(std::time(nullptr));
    ASSERT_EQ(0, LogSetFile("none"));

    const std::string content = path.Read();
    ASSERT_FALSE(content.empty());
    EXPECT_EQ('\n', content.back());
    EXPECT_EQ(std::string::npos, content.find("\n\n")) << "a second line end was added";
    const std::vector<std::string> lines = SplitLines(content);
    ASSERT_EQ(4u, lines.size()) << content;
    const std::vector<std::pair<int, std::string>> expected = {
        {1, "hello 1"}, {3, "ends with a line end"}, {2, "wide \xC3\xA9"}, {1, ""}};
    WrittenLine first;
    ASSERT_TRUE(ParseWrittenLine(lines[0], first)) << lines[0];
    for (size_t i = 0; i < lines.size(); ++i) {
        WrittenLine line;
        ASSERT_TRUE(ParseWrittenLine(lines[i], line)) << lines[i];
        EXPECT_EQ(expected[i].first, line.level);
        EXPECT_EQ(expected[i].second, line.text);
        EXPECT_EQ(first.thread, line.thread);
        const int64_t seconds = SecondsSinceEpoch(line.timestamp);
        EXPECT_GE(seconds, before);
        EXPECT_LE(seconds, after);
    }
}

TEST_F(LogOutput, FileThenNone) {
    TempPath path("none");
    ASSERT_EQ(0, LogSetFile(path.c_str()));
    Log(LOG_LEVEL_ERROR, "to the file");
    ASSERT_EQ(0, LogSetFile("none"));
    Log(LOG_LEVEL_ERROR, "to nowhere");
    EXPECT_EQ(WrittenTexts(path.Read()), std::vector<std::string>{"to the file"});
}

TEST_F(LogOutput, FileIsAppendedTo) {
    TempPath path("append");
    {
        std::FILE* file = std::fopen(path.c_str(), "wb");
        ASSERT_NE(nullptr, file);
        std::fputs("earlier content\n", file);
        std::fclose(file);
    }
    ASSERT_EQ(0, LogSetFile(path.c_str()));
    Log(LOG_LEVEL_ERROR, "appended");
    ASSERT_EQ(0, LogSetFile("none"));
    EXPECT_EQ(WrittenTexts(path.Read()),
              (std::vector<std::string>{"unparsed: earlier content", "appended"}));
}

TEST_F(LogOutput, SwitchingFilesSplitsTheLines) {
    TempPath first("first");
    TempPath second("second");
    ASSERT_EQ(0, LogSetFile(first.c_str()));
    Log(LOG_LEVEL_ERROR, "one");
    ASSERT_EQ(0, LogSetFile(second.c_str()));
    Log(LOG_LEVEL_ERROR, "two");
    ASSERT_EQ(0, LogSetFile("none"));
    EXPECT_EQ(WrittenTexts(first.Read()), std::vector<std::string>{"one"});
    EXPECT_EQ(WrittenTexts(second.Read()), std::vector<std::string>{"two"});
}

TEST_F(LogOutput, UnopenableFileKeepsTheDestination) {
    TempPath path("kept");
    ASSERT_EQ(0, LogSetFile(path.c_str()));
    EXPECT_EQ(-1, LogSetFile("/nonexistent-directory/svcp/log.txt"));
    EXPECT_EQ(-1, LogSetFile(""));
    Log(LOG_LEVEL_ERROR, "still here");
    ASSERT_EQ(0, LogSetFile("none"));
    EXPECT_EQ(WrittenTexts(path.Read()), std::vector<std::string>{"still here"});
}

// File lines below level 1 may wait in memory; a level-1 line goes out at
// once, and with it every line before it, in order.
TEST_F(LogOutput, ALevel1LineIsWrittenAtOnceWithTheLinesBeforeIt) {
    TempPath path("immediate");
    ASSERT_EQ(0, LogSetFile(path.c_str()));
    LogSetLevel(LOG_LEVEL_DEBUG);
    Log(LOG_LEVEL_DEBUG, "trace %d", 1);
    LogQuick(LOG_LEVEL_INFO, "trace 2");
    Log(LOG_LEVEL_ERROR, "error %d", 3);
    // Read while the file is still the destination.
    const std::vector<std::string> lines = SplitLines(path.Read());
    ASSERT_EQ(3u, lines.size()) << path.Read();
    const char* const texts[] = {"trace 1", "trace 2", "error 3"};
    for (size_t i = 0; i < lines.size(); ++i) {
        WrittenLine line;
        ASSERT_TRUE(ParseWrittenLine(lines[i], line)) << lines[i];
        EXPECT_EQ(texts[i], line.text);
    }
    ASSERT_EQ(0, LogSetFile("none"));
}

// A line longer than the file buffer is written whole, after the lines
// before it and before the lines after it.
TEST_F(LogOutput, LinesLongerThanTheBufferKeepTheirPlace) {
    TempPath path("oversize");
    ASSERT_EQ(0, LogSetFile(path.c_str()));
    LogSetLevel(LOG_LEVEL_DEBUG);
    const std::string big(100000, 'b');
    Log(LOG_LEVEL_DEBUG, "before");
    Log(LOG_LEVEL_DEBUG, "<%s>", big.c_str());
    Log(LOG_LEVEL_DEBUG, "after");
    ASSERT_EQ(0, LogSetFile("none"));
    const std::vector<std::string> lines = SplitLines(path.Read());
    ASSERT_EQ(3u, lines.size());
    const std::string texts[] = {"before", "<" + big + ">", "after"};
    for (size_t i = 0; i < lines.size(); ++i) {
        WrittenLine line;
        ASSERT_TRUE(ParseWrittenLine(lines[i], line)) << lines[i].substr(0, 80);
        EXPECT_TRUE(texts[i] == line.text) << line.text.substr(0, 80);
    }
}

constexpr int kThreads = 8;
constexpr int kLinesPerThread = 2000;

template <typename Body>
void RunThreads(Body body) {
    std::vector<std::thread> threads;
    std::atomic<bool> go{false};
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            while (!go.load()) {
                std::this_thread::yield();
            }
            body(t);
        });
    }
    go = true;
    for (std::thread& thread : threads) {
        thread.join();
    }
}

void LogLinesOfThreadAt(_LOG_LEVEL level, int thread) {
    for (int i = 0; i < kLinesPerThread; ++i) {
        if (i % 2 == 0) {
            Log(level, "thread %d line %d %s", thread, i, "end");
        } else {
            WLog(level, L"thread %d line %d %s", thread, i, L"end");
        }
    }
}

void LogLinesOfThread(int thread) {
    LogLinesOfThreadAt(LOG_LEVEL_ERROR, thread);
}

// Parses "thread T line I end"; false for anything else.
bool ParseText(const std::string& text, int& thread, int& index) {
    int consumed = 0;
    if (std::sscanf(text.c_str(), "thread %d line %d end%n", &thread, &index, &consumed) != 2) {
        return false;
    }
    return static_cast<size_t>(consumed) == text.size() && thread >= 0 && thread < kThreads;
}

// Each thread's lines whole, in its order, none lost or repeated, each
// thread with a number of its own.
void CheckThreadLines(const std::string& written, int level) {
    const std::vector<std::string> lines = SplitLines(written);
    ASSERT_EQ(static_cast<size_t>(kThreads * kLinesPerThread), lines.size());
    std::vector<int> next(kThreads, 0);
    std::map<int, unsigned long> threadNumbers;
    for (const std::string& text : lines) {
        WrittenLine line;
        int thread = -1;
        int index = -1;
        ASSERT_TRUE(ParseWrittenLine(text, line)) << text;
        ASSERT_TRUE(ParseText(line.text, thread, index)) << text;
        EXPECT_EQ(level, line.level);
        // Each thread's lines in its own order, none lost or repeated.
        ASSERT_EQ(next[thread], index) << text;
        ++next[thread];
        auto known = threadNumbers.emplace(thread, line.thread);
        EXPECT_EQ(known.first->second, line.thread) << text;
    }
    std::map<unsigned long, int> owners;
    for (const auto& entry : threadNumbers) {
        EXPECT_TRUE(owners.emplace(entry.second, entry.first).second)
            << "threads " << owners[entry.second] << " and " << entry.first << " share a number";
    }
}

// Level 1 lines are written one by one, level 4 lines gathered in a buffer
// that fills many times over: either way no line is torn, lost or repeated.
TEST_F(LogThreads, WrittenLinesStayWhole) {
    for (const _LOG_LEVEL level : {LOG_LEVEL_ERROR, LOG_LEVEL_DEBUG}) {
        SCOPED_TRACE(level);
        TempPath path("threads");
        LogCaptureStop();
        LogSetLevel(level);
        ASSERT_EQ(0, LogSetFile(path.c_str()));
        RunThreads([level](int thread) { LogLinesOfThreadAt(level, thread); });
        ASSERT_EQ(0, LogSetFile("none"));
        CheckThreadLines(path.Read(), level);
    }
}

TEST_F(LogThreads, CapturedLinesStayWholeAndOrdered) {
    RunThreads(LogLinesOfThread);
    LogCaptureStop();
    const std::vector<LogLine> lines = LogCaptured();
    ASSERT_EQ(static_cast<size_t>(kThreads * kLinesPerThread), lines.size());
    std::vector<int> next(kThreads, 0);
    for (const LogLine& line : lines) {
        int thread = -1;
        int index = -1;
        ASSERT_TRUE(ParseText(line.text, thread, index)) << line.text;
        EXPECT_EQ(1, line.level);
        ASSERT_EQ(next[thread], index) << line.text;
        ++next[thread];
    }
}

// Configuration changing under writers: no line is torn, nothing races.
TEST_F(LogThreads, ConfigurationChangesWhileLogging) {
    TempPath path("reconfigure");
    std::atomic<bool> done{false};
    std::thread changer([&] {
        for (int round = 0; !done.load(); ++round) {
            LogSetLevel(round % 2 == 0 ? LOG_LEVEL_DEBUG : LOG_LEVEL_NONE);
            LogSetFile(round % 3 == 0 ? "none" : path.c_str());
            if (round % 5 == 0) {
                LogCaptureStart(round % 4);
            } else if (round % 7 == 0) {
                LogCaptureStop();
            }
            LogCaptureClear();
            std::this_thread::yield();
        }
    });
    RunThreads(LogLinesOfThread);
    done = true;
    changer.join();
    ASSERT_EQ(0, LogSetFile("none"));

    for (const std::string& text : SplitLines(path.Read())) {
        WrittenLine line;
        int thread = -1;
        int index = -1;
        ASSERT_TRUE(ParseWrittenLine(text, line)) << text;
        ASSERT_TRUE(ParseText(line.text, thread, index)) << text;
    }
    for (const LogLine& line : LogCaptured()) {
        int thread = -1;
        int index = -1;
        ASSERT_TRUE(ParseText(line.text, thread, index)) << line.text;
    }
}

}  // namespace
