// The system log's events: a flapping sensor bounded and summed up on an
// injected clock, the link's changes and start-up's failures told once each,
// and the journal's datagrams as a socket of the test's receives them.
#include <stdlib.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "events/EventReporter.h"
#include "events/JournalSink.h"
#include "monitor/events/FakeJournal.h"

namespace {

using ::testing::HasSubstr;
using Clock = std::chrono::steady_clock;
using std::chrono::seconds;

constexpr unsigned long kFan = 0x00020002;
constexpr unsigned long kOtherFan = 0x00020001;

struct RecordingSink : IEventSink {
    std::vector<SystemEvent> events;
    void Report(const SystemEvent& event) override { events.push_back(event); }
};

struct Reporting {
    RecordingSink sink;
    Clock::time_point now = Clock::time_point() + std::chrono::hours(1);
    CEventReporter reporter{&sink, [this] { return now; }};
};

SensorSnapshot Fan(unsigned long handle, const std::wstring& description) {
    SensorSnapshot sensor;
    sensor.handle = handle;
    sensor.information.BaseUnits = 19;  // revolutions per minute
    sensor.information.UnitModifier = 0;
    sensor.information.Description = description;
    return sensor;
}

Snapshot Fans() {
    Snapshot snapshot;
    snapshot.sensors = {Fan(kFan, L"Chassis Fan"), Fan(kOtherFan, L"CPU Fan")};
    return snapshot;
}

Snapshot WithLink(int failingKind) {
    Snapshot snapshot;
    snapshot.link.emplace();
    if (failingKind >= 0) {
        CExchangeStatus& exchange = snapshot.link->status.Exchanges[failingKind];
        exchange.Tried = exchange.Failed = exchange.ConsecutiveFailures = 1;
    }
    return snapshot;
}

std::vector<EventKind> Kinds(const std::vector<SystemEvent>& events) {
    std::vector<EventKind> kinds;
    for (const SystemEvent& event : events) {
        kinds.push_back(event.kind);
    }
    return kinds;
}

TEST(EventBound, AFlappingSensorGetsSixEventsAMinuteThenOneSummaryWithTheLatest) {
    Reporting run;
    const Snapshot fans = Fans();
    const Clock::time_point first = run.now;
    for (int i = 0; i < 20; ++i) {
        run.reporter.Alert(kFan, i % 2 == 0, 480 + i, fans);
        run.now += seconds(1);
    }
    run.reporter.Alert(kOtherFan, true, 300, fans);
    ASSERT_EQ(run.sink.events.size(), kEventsPerMinute + 1) << "another sensor has its own share";
    EXPECT_THAT(run.sink.events.front().message,
                HasSubstr("Sensor alert asserted: Chassis Fan (fan 0x00020002), reading 480 RPM"));
    EXPECT_EQ(run.sink.events.back().sensor, "CPU Fan");

    run.now = first + seconds(59);
    run.reporter.Tick();
    EXPECT_EQ(run.sink.events.size(), kEventsPerMinute + 1) << "the minute has not passed";
    run.now = first + seconds(60);
    run.reporter.Tick();
    run.reporter.Tick();
    ASSERT_EQ(run.sink.events.size(), kEventsPerMinute + 2) << "one summary, once";
    const SystemEvent& summary = run.sink.events.back();
    EXPECT_EQ(summary.kind, EventKind::EventsSuppressed);
    EXPECT_EQ(summary.message,
              "Suppressed 14 events of sensor Chassis Fan (0x00020002) in 60 s; the latest: "
              "Sensor alert cleared: Chassis Fan (fan 0x00020002), reading 499 RPM");

    run.reporter.Alert(kFan, true, 470, fans);
    EXPECT_EQ(run.sink.events.back().kind, EventKind::AlertAsserted) << "a new minute";
}

TEST(EventBound, AWindowPastWithoutATickIsSummedUpBeforeTheNextEvent) {
    CEventLimiter limiter(2, seconds(60));
    const Clock::time_point start;
    const SystemEvent event = StartupFailedEvent(ServiceCode_DriverUnavailable);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(limiter.Admit("start-up", event, start + seconds(i)).size(), i < 2 ? 1u : 0u);
    }
    const std::vector<SystemEvent> out = limiter.Admit("start-up", event, start + seconds(61));
    EXPECT_EQ(Kinds(out), (std::vector<EventKind>{EventKind::EventsSuppressed, event.kind}));
    EXPECT_TRUE(limiter.Expire(start + seconds(200)).empty()) << "nothing left out since";
}

TEST(EventReporter, TheLinkAndStartUpAreToldWhenTheyChange) {
    Reporting run;
    run.reporter.Link(WithLink(-1));
    run.reporter.Link(WithLink(ExchangeKind_Fans));
    run.reporter.Link(WithLink(ExchangeKind_Fans));
    run.reporter.Link(Snapshot());  // not started: no link to judge
    run.reporter.Link(WithLink(-1));
    run.reporter.StartupFailed(ServiceCode_DriverUnavailable);
    run.reporter.StartupFailed(ServiceCode_DriverUnavailable);
    run.reporter.StartupFailed(ServiceCode_SmbiosUnreadable);
    run.reporter.Started(Fans());
    run.reporter.StartupFailed(ServiceCode_SmbiosUnreadable);
    EXPECT_EQ(Kinds(run.sink.events),
              (std::vector<EventKind>{EventKind::LinkLost, EventKind::LinkRestored,
                                      EventKind::StartupFailed, EventKind::StartupFailed,
                                      EventKind::Started, EventKind::StartupFailed}));
    EXPECT_EQ(run.sink.events[0].message,
              "Service processor link lost: no answer to fans; readings are those of the last "
              "answer");
    EXPECT_THAT(run.sink.events[2].message,
                HasSubstr("Start-up failed with 6 (DriverUnavailable)"));
    EXPECT_EQ(run.sink.events[4].message, "Started: 2 sensors, 0 LEDs");
}

class JournalSink : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_Journal.Bound()) << m_Journal.Path();
        setenv("SVCPROC_JOURNAL_SOCKET", m_Journal.Path().c_str(), 1);
    }
    void TearDown() override { unsetenv("SVCPROC_JOURNAL_SOCKET"); }

    CFakeJournal m_Journal{testing::TempDir() + "/events-journal.sock"};
};

TEST_F(JournalSink, AnEventArrivesAsFieldsThatAForgedDescriptionCannotAdd) {
    std::string error;
    const std::unique_ptr<IEventSink> sink = OpenSystemLog(error);
    ASSERT_NE(sink, nullptr) << error;
    Snapshot fans;
    fans.sensors = {Fan(kFan, L"Chassis Fan\nPRIORITY=7\nMESSAGE_ID=0")};
    sink->Report(AlertEvent(kFan, true, 483, fans));
    const std::optional<JournalFields> fields = m_Journal.Receive(std::chrono::seconds(5));
    ASSERT_TRUE(fields);
    EXPECT_EQ(*fields, (JournalFields{
                           {"MESSAGE",
                            "Sensor alert asserted: Chassis Fan PRIORITY=7 MESSAGE_ID=0 (fan "
                            "0x00020002), reading 483 RPM"},
                           {"MESSAGE_ID", "1de39a3c62e74c09b47b95ba63f5a097"},
                           {"PRIORITY", "3"},
                           {"SYSLOG_IDENTIFIER", "svcproc-monitor"},
                           {"SVCPROC_EVENT_ID", "1001"},
                           {"SVCPROC_SENSOR", "Chassis Fan PRIORITY=7 MESSAGE_ID=0"},
                           {"SVCPROC_HANDLE", "0x00020002"},
                           {"SVCPROC_READING", "483 RPM"},
                       }));

    SystemEvent multiline = ConfigurationRefusedEvent("x");
    multiline.message = "two\nlines";
    sink->Report(multiline);
    const std::optional<JournalFields> second = m_Journal.Receive(std::chrono::seconds(5));
    ASSERT_TRUE(second);
    EXPECT_EQ(second->at("MESSAGE"), "two\nlines") << "sent length-prefixed";
    EXPECT_EQ(second->at("PRIORITY"), "3");
}

TEST_F(JournalSink, NoJournalThereIsARefusalThatNamesThePath) {
    setenv("SVCPROC_JOURNAL_SOCKET", (testing::TempDir() + "/no-journal.sock").c_str(), 1);
    std::string error;
    EXPECT_EQ(OpenSystemLog(error), nullptr);
    EXPECT_THAT(error, HasSubstr("no-journal.sock"));
}

TEST(JournalStream, OnlyTheStreamsOwnDeviceAndInodeMakeAService) {
    FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    struct stat status {};
    ASSERT_EQ(fstat(fileno(file), &status), 0);
    const std::string device = std::to_string(status.st_dev);
    const std::string inode = std::to_string(status.st_ino);
    EXPECT_TRUE(JournalStreamMatches((device + ":" + inode).c_str(), fileno(file)));
    EXPECT_FALSE(JournalStreamMatches((device + ":" + inode + "1").c_str(), fileno(file)));
    EXPECT_FALSE(JournalStreamMatches((device + "1:" + inode).c_str(), fileno(file)));
    EXPECT_FALSE(JournalStreamMatches((device + ":" + inode + "x").c_str(), fileno(file)));
    EXPECT_FALSE(JournalStreamMatches("", fileno(file)));
    EXPECT_FALSE(JournalStreamMatches(nullptr, fileno(file)));
    std::fclose(file);
}

}  // namespace
