// Levels, filtering and the capture interface.
#include <string>
#include <vector>

#include "LogTestSupport.h"

namespace {

using logtest::LogUnchecked;
using logtest::WLogUnchecked;

class LogLevels : public logtest::LogTest {};
class LogCapture : public logtest::LogTest {};

TEST_F(LogLevels, SetLevelIsClampedToTheLevelRange) {
    LogSetLevel(3);
    EXPECT_EQ(3, LogGetLevel());
    LogSetLevel(9);
    EXPECT_EQ(4, LogGetLevel());
    LogSetLevel(-2);
    EXPECT_EQ(0, LogGetLevel());
}

// Formatting a line below the threshold would dereference the bogus pointers
// and crash: passing proves the line went before any formatting.
TEST_F(LogLevels, FilteredLinesAreNotFormatted) {
    const auto* bogus = reinterpret_cast<const char*>(1);
    const auto* bogusWide = reinterpret_cast<const wchar_t*>(1);
    LogCaptureStart(LOG_LEVEL_WARNING);
    LogSetLevel(LOG_LEVEL_ERROR);
    Log(LOG_LEVEL_INFO, "%s", bogus);
    LogUnchecked(LOG_LEVEL_DEBUG, "%s %S", bogus, bogusWide);
    WLogUnchecked(LOG_LEVEL_DEBUG, L"%s %S", bogusWide, bogus);
    LogQuick(LOG_LEVEL_DEBUG, bogus);
    Log(static_cast<_LOG_LEVEL>(7), "%s", bogus);

    LogCaptureStop();
    LogSetLevel(LOG_LEVEL_NONE);
    Log(LOG_LEVEL_ERROR, "%s", bogus);
    LogQuick(LOG_LEVEL_ERROR, bogus);
    EXPECT_EQ(0u, LogCaptureCount());
}

TEST_F(LogLevels, LevelNoneLinesAreNeverTaken) {
    LogSetLevel(LOG_LEVEL_DEBUG);
    Log(LOG_LEVEL_NONE, "never");
    LogQuick(LOG_LEVEL_NONE, "never");
    WLog(LOG_LEVEL_NONE, L"never");
    Log(static_cast<_LOG_LEVEL>(-1), "never");
    EXPECT_EQ(0u, LogCaptureCount());
}

TEST_F(LogCapture, KeepsTextLevelAndOrder) {
    LogCaptureStart(LOG_LEVEL_INFO);
    Log(LOG_LEVEL_INFO, "first %d", 1);
    Log(LOG_LEVEL_DEBUG, "dropped");
    WLog(LOG_LEVEL_ERROR, L"second %s", L"two");
    LogQuick(LOG_LEVEL_WARNING, "third");
    Log(LOG_LEVEL_ERROR, "fourth\n");
    const std::vector<LogLine> expected = {
        {3, "first 1"}, {1, "second two"}, {2, "third"}, {1, "fourth\n"}};
    EXPECT_EQ(expected, LogCaptured());
}

TEST_F(LogCapture, IsIndependentOfTheWriteLevel) {
    LogSetLevel(LOG_LEVEL_NONE);
    Log(LOG_LEVEL_DEBUG, "debug");
    LogSetLevel(LOG_LEVEL_DEBUG);
    LogCaptureStart(LOG_LEVEL_ERROR);
    Log(LOG_LEVEL_DEBUG, "written, not captured");
    Log(LOG_LEVEL_ERROR, "error");
    const std::vector<LogLine> expected = {{1, "error"}};
    EXPECT_EQ(expected, LogCaptured());
}

TEST_F(LogCapture, StopKeepsTheLinesAndTakesNoMore) {
    Log(LOG_LEVEL_ERROR, "kept");
    LogCaptureStop();
    Log(LOG_LEVEL_ERROR, "not kept");
    const std::vector<LogLine> expected = {{1, "kept"}};
    EXPECT_EQ(expected, LogCaptured());
}

TEST_F(LogCapture, ClearDropsTheLinesAndCaptureGoesOn) {
    Log(LOG_LEVEL_ERROR, "old");
    LogCaptureClear();
    EXPECT_EQ(0u, LogCaptureCount());
    Log(LOG_LEVEL_ERROR, "new");
    const std::vector<LogLine> expected = {{1, "new"}};
    EXPECT_EQ(expected, LogCaptured());
}

TEST_F(LogCapture, StartBeginsAfresh) {
    Log(LOG_LEVEL_ERROR, "before");
    LogCaptureStart(LOG_LEVEL_DEBUG);
    EXPECT_EQ(0u, LogCaptureCount());
}

TEST_F(LogCapture, GetTruncatesAndReportsTheFullLength) {
    Log(LOG_LEVEL_WARNING, "abcdef");
    int level = 0;
    char buffer[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(6, LogCaptureGet(0, &level, buffer, sizeof buffer));
    EXPECT_EQ(2, level);
    EXPECT_STREQ("abc", buffer);

    char one[1] = {'x'};
    EXPECT_EQ(6, LogCaptureGet(0, nullptr, one, sizeof one));
    EXPECT_EQ('\0', one[0]);
    EXPECT_EQ(6, LogCaptureGet(0, nullptr, nullptr, 0));

    level = 99;
    EXPECT_EQ(-1, LogCaptureGet(1, &level, buffer, sizeof buffer));
    EXPECT_EQ(99, level);
}

TEST_F(LogCapture, QuickTextIsTakenVerbatim) {
    LogQuick(LOG_LEVEL_ERROR, "100% %s %d %n %%");
    LogQuick(LOG_LEVEL_ERROR, nullptr);
    const std::vector<LogLine> expected = {{1, "100% %s %d %n %%"}, {1, "(null)"}};
    EXPECT_EQ(expected, LogCaptured());
}

TEST_F(LogCapture, NullFormatIsHarmless) {
    Log(LOG_LEVEL_ERROR, static_cast<const char*>(nullptr));
    WLog(LOG_LEVEL_ERROR, nullptr);
    const std::vector<LogLine> expected = {{1, "(null)"}, {1, "(null)"}};
    EXPECT_EQ(expected, LogCaptured());
}

}  // namespace
