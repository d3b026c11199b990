// The watch's table and frames: the layout for the terminal's width, fixed
// columns whatever the states, colours that carry meaning, and frames that
// overwrite the screen without scrolling it.
#include <algorithm>
#include <chrono>
#include <ctime>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "SnapshotSamples.h"
#include "render/Formats.h"
#include "terminal/Terminal.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

Snapshot Machine() {
    Snapshot snapshot;
    snapshot.startup = ServiceCode_Success;
    snapshot.sensors = {
        Sensor(0x10002, L"+12 V", 5, -3, 12030, {10200, 10800, 11400, 12600, 13200, 13800}),
        Sensor(0x20002, L"Chassis Fan", 19, 0, 1804, {kNa, 500, 700, kNa, kNa, kNa}),
        Sensor(0x30000, L"CPU Temperature", 2, -1, 500, {kNa, kNa, kNa, 750, 850, 1000}),
        Sensor(0x30003, L"Ambient Temperature", 2, -1, 240, {kNa, 50, 100, 350, 400, kNa}),
    };
    snapshot.leds = {Led(0x40001, 0, 1, L"Power", 1), Led(0x40002, 0, 2, L"Fault", 0)};
    return snapshot;
}

std::string Table(const Snapshot& snapshot, size_t width, bool color = false) {
    TableStyle style;
    style.maxWidth = width;
    style.color = color;
    return RenderTable(snapshot, style);
}

TEST(MonitorTable, FitsTheWidthDroppingNonRecoverableThresholdsFirst) {
    const std::string full = Table(Machine(), 0);
    size_t fullWidth = 0;
    for (const std::string& line : SplitLines(full)) {
        fullWidth = std::max(fullWidth, DisplayWidth(line));
    }
    EXPECT_EQ(Table(Machine(), fullWidth), full) << "the full layout when it fits";
    EXPECT_THAT(full, HasSubstr("UNR"));

    const std::string narrower = Table(Machine(), fullWidth - 1);
    EXPECT_THAT(narrower, Not(HasSubstr("LNR")));
    EXPECT_THAT(narrower, Not(HasSubstr("UNR")));
    EXPECT_THAT(narrower, HasSubstr("Kind"));
    EXPECT_THAT(narrower, HasSubstr("LCR"));

    for (size_t width : {160u, 100u, 90u, 80u, 70u, 60u, 50u}) {
        const std::string table = Table(Machine(), width);
        for (const std::string& line : SplitLines(table)) {
            EXPECT_LE(DisplayWidth(line), width) << line;
        }
        EXPECT_THAT(table, HasSubstr("Reading")) << width;
        EXPECT_THAT(table, HasSubstr("State")) << width;
    }
    const std::string tight = Table(Machine(), 55);
    EXPECT_THAT(tight, HasSubstr("Ambient Temper\u2026"));
    EXPECT_THAT(tight, HasSubstr("LCR")) << "the description gives way before the critical "
                                            "thresholds";
}

TEST(MonitorTable, ColumnsDoNotMoveWhenStatesChange) {
    Snapshot calm = Machine();
    Snapshot alarmed = Machine();
    alarmed.sensors[1].reading = {483, 1};  // Critical
    alarmed.sensors[2].reading = {790, 0};  // Warning: past 75 °C, not asserted
    for (size_t width : {0u, 100u}) {
        const std::vector<std::string> before = SplitLines(Table(calm, width));
        const std::vector<std::string> after = SplitLines(Table(alarmed, width));
        ASSERT_EQ(before.size(), after.size());
        for (size_t i = 0; i < before.size(); ++i) {
            if (before[i].size() < 8) {
                continue;
            }
            // The threshold cells end where they ended.
            EXPECT_EQ(before[i].substr(before[i].size() - 8), after[i].substr(after[i].size() - 8))
                << after[i];
            EXPECT_EQ(DisplayWidth(before[i]), DisplayWidth(after[i])) << after[i];
        }
    }
    const std::string table = Table(alarmed, 0);
    EXPECT_TRUE(std::regex_search(table, std::regex("Chassis Fan +483 RPM  Critical ")));
    EXPECT_TRUE(std::regex_search(table, std::regex("CPU Temperature +79.0 \u00B0C  Warning ")));
}

TEST(MonitorTable, ColoursCarryMeaning) {
    Snapshot snapshot = Machine();
    snapshot.sensors[1].reading = {483, 1};
    snapshot.sensors[2].reading = {790, 0};
    const std::string table = Table(snapshot, 0, true);
    EXPECT_THAT(table, HasSubstr("\033[32mOk"));
    EXPECT_THAT(table, HasSubstr("\033[33mWarning"));
    EXPECT_THAT(table, HasSubstr("\033[1;31mCritical"));
    EXPECT_THAT(table, HasSubstr("\033[1mon"));  // LEDs: bright and dim, no verdict
    EXPECT_THAT(table, HasSubstr("\033[2moff"));
    EXPECT_THAT(table, Not(HasSubstr("\033[32mon")));
    EXPECT_THAT(Table(snapshot, 0, false), Not(HasSubstr("\033[")));
}

TEST(MonitorTable, AFailedStartUpSaysWhenItIsRetried) {
    Snapshot failed;
    failed.startup = ServiceCode_DriverUnavailable;
    TableStyle style;
    style.maxWidth = 60;
    style.retrySeconds = 0.5;
    const std::string text = RenderTable(failed, style);
    EXPECT_THAT(text, HasSubstr("start-up failed with 6 (DriverUnavailable)"));
    EXPECT_TRUE(std::regex_search(text, std::regex("Retrying every 0.5 s; next attempt at "
                                                   "[0-9]{2}:[0-9]{2}:[0-9]{2}")))
        << text;
    for (const std::string& line : SplitLines(text)) {
        EXPECT_LE(DisplayWidth(line), 60u) << line;
    }
    EXPECT_THAT(RenderTable(failed, false), Not(HasSubstr("Retrying")));
}

// A link whose `failing` exchange kinds have failed since their last
// response, `ageMs[kind]` before the status was taken at `takenAt`.
LinkSnapshot Link(std::chrono::system_clock::time_point takenAt, std::vector<int> failing,
                  const uint32_t (&ageMs)[ExchangeKind_Count]) {
    LinkSnapshot link;
    link.takenAt = takenAt;
    link.status.CurrentTick = 1000;  // the older answers lie before a wrap-around
    for (int kind = 0; kind < ExchangeKind_Count; ++kind) {
        CExchangeStatus& exchange = link.status.Exchanges[kind];
        exchange.HasResponded = true;
        exchange.LastResponseTick = link.status.CurrentTick - ageMs[kind];
    }
    for (int kind : failing) {
        link.status.Exchanges[kind].ConsecutiveFailures = 3;
    }
    return link;
}

// 12:03:41 today, local time.
std::chrono::system_clock::time_point LocalClock(int hour, int minute, int second) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(std::mktime(&local));
}

TEST(MonitorOutage, TheTimeIsTheLastAnswerOfTheFailingKindsAndHoldsUntilAnswersReturn) {
    const auto quiet = LocalClock(12, 3, 41);
    Snapshot snapshot = Machine();
    // The alert poll and the LEDs fail; the poll's last answer is the later.
    snapshot.link = Link(quiet + std::chrono::milliseconds(300),
                         {ExchangeKind_Leds, ExchangeKind_AlertPoll}, {900, 900, 900, 900, 300});
    TrackOutage(snapshot);
    ASSERT_TRUE(snapshot.outage.has_value());
    ASSERT_TRUE(snapshot.outage->lastAnswer.has_value());
    EXPECT_EQ(*snapshot.outage->lastAnswer, quiet);
    // More kinds fail; the time stays, whatever the clocks' jitter.
    snapshot.link = Link(quiet + std::chrono::seconds(2),
                         {ExchangeKind_Voltages, ExchangeKind_Fans, ExchangeKind_AlertPoll},
                         {2700, 2700, 400, 400, 1999});
    TrackOutage(snapshot);
    EXPECT_EQ(*snapshot.outage->lastAnswer, quiet);
    snapshot.link = Link(quiet + std::chrono::seconds(3), {}, {100, 100, 100, 100, 50});
    TrackOutage(snapshot);
    EXPECT_FALSE(snapshot.outage.has_value()) << "answers returned";

    // Failing kinds that never answered: no time to give.
    snapshot.link = Link(quiet, {ExchangeKind_Leds}, {0, 0, 0, 0, 0});
    snapshot.link->status.Exchanges[ExchangeKind_Leds].HasResponded = false;
    TrackOutage(snapshot);
    ASSERT_TRUE(snapshot.outage.has_value());
    EXPECT_FALSE(snapshot.outage->lastAnswer.has_value());
    EXPECT_THAT(Table(snapshot, 0), HasSubstr("not answering since start-up;"));
}

TEST(MonitorOutage, ABannerAboveTheTableAndTheAffectedReadingsMarked) {
    const auto quiet = LocalClock(12, 3, 41);
    const Snapshot calm = Machine();
    Snapshot fansDown = Machine();
    fansDown.link = Link(quiet, {ExchangeKind_Fans}, {0, 0, 0, 0, 0});
    TrackOutage(fansDown);
    const std::string banner =
        "service processor not answering since 12:03:41; readings are the last received";
    for (size_t width : {0u, 100u, 50u}) {
        SCOPED_TRACE(width);
        const std::vector<std::string> before = SplitLines(Table(calm, width));
        const std::vector<std::string> after = SplitLines(Table(fansDown, width));
        ASSERT_GT(after.size(), before.size());
        const size_t bannerLines = after.size() - before.size();
        std::string shownBanner;
        for (size_t i = 0; i < bannerLines; ++i) {
            shownBanner += (i == 0 ? "" : " ") + after[i];
            EXPECT_LE(DisplayWidth(after[i]), width == 0 ? banner.size() : width);
        }
        EXPECT_EQ(shownBanner, banner);
        for (size_t i = 0; i < before.size(); ++i) {
            const std::string& line = after[bannerLines + i];
            const bool fan = line.find("Chassis Fan") != std::string::npos;
            EXPECT_EQ(line.find('*') != std::string::npos, fan) << line;
            // The mark moves no column.
            std::string unmarked = line;
            if (fan) {
                unmarked.replace(unmarked.find('*'), 1, " ");
            }
            EXPECT_EQ(unmarked, before[i]);
        }
    }
    EXPECT_TRUE(std::regex_search(Table(fansDown, 0), std::regex("1804 RPM\\* Ok ")));

    // The alert poll keeps every sensor's state; LEDs are read apart.
    Snapshot pollDown = Machine();
    pollDown.link = Link(quiet, {ExchangeKind_AlertPoll}, {0, 0, 0, 0, 0});
    pollDown.leds[1].reading.State = 1;
    TrackOutage(pollDown);
    std::string table = Table(pollDown, 0);
    EXPECT_EQ(std::count(table.begin(), table.end(), '*'), 4) << table;
    pollDown.link = Link(quiet, {ExchangeKind_Leds}, {0, 0, 0, 0, 0});
    table = Table(pollDown, 0);
    EXPECT_TRUE(std::regex_search(table, std::regex("0x0002  on\\*\n"))) << table;
    EXPECT_EQ(std::count(table.begin(), table.end(), '*'), 2) << table;

    const std::string colored = Table(fansDown, 0, true);
    EXPECT_THAT(colored, HasSubstr("\033[1;33m" + banner + "\033[0m\n"));
    EXPECT_THAT(colored, HasSubstr("\033[2m1804 RPM\033[0m\033[1;33m*\033[0m"));
    EXPECT_THAT(Table(calm, 0, true), Not(HasSubstr("*")));
}

// The frame as the terminal shows it: lines between the cursor movements.
std::vector<std::string> Shown(const std::string& frame) {
    std::string text = std::regex_replace(frame, std::regex("\033\\[[0-9;?]*[A-Za-z]"), "");
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end = text.find("\r\n"); end != std::string::npos; end = text.find("\r\n", start)) {
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    lines.push_back(text.substr(start));
    return lines;
}

TEST(MonitorFrame, OverwritesTheScreenWithoutScrolling) {
    const std::vector<std::string> lines = {
        "title", "",   std::string(30, 'x') + "\u00B0C", "\033[1;31mCritical\033[0m tail",
        "five",  "six"};
    const std::string frame = ComposeFrame(lines, {20, 4});
    EXPECT_EQ(frame.rfind("\033[H", 0), 0u) << "home first";
    EXPECT_THAT(frame, Not(HasSubstr("\033[2J"))) << "no clear per frame";
    const std::vector<std::string> shown = Shown(frame);
    ASSERT_EQ(shown.size(), 4u) << "never more lines than rows, no newline after the last";
    EXPECT_EQ(shown[2], std::string(20, 'x')) << "cut to the width";
    EXPECT_EQ(shown[3], "Critical tail");
    EXPECT_THAT(frame, HasSubstr("Critical\033[0m")) << "colours survive the cut";
    EXPECT_THAT(frame, HasSubstr("title\033[K")) << "short lines cleared to their end";
    EXPECT_THAT(frame, Not(HasSubstr(std::string(20, 'x') + "\033[K")))
        << "a full line keeps its last character";

    const std::string shorter = ComposeFrame({"one", "two"}, {20, 4});
    EXPECT_EQ(shorter.substr(shorter.size() - 5), "\r\n\033[J") << "an older, taller frame goes";
    EXPECT_EQ(DisplayWidth("\033[32mOk\033[0m \u00B0C"), 5u);
}

}  // namespace
