// What a run tells the system's log: alerts, the link's losses and
// recoveries, start-up and its failures, each kind bounded per subject
// (EventLimiter). Used from the run's own thread only.
#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "events/EventLimiter.h"
#include "events/EventSink.h"

// Events of one subject written within a minute, at most.
constexpr size_t kEventsPerMinute = 6;

class CEventReporter {
public:
    using Clock = std::chrono::steady_clock;

    // `sink` null: reports nothing. `now` paces the bound.
    CEventReporter(IEventSink* sink, std::function<Clock::time_point()> now);

    void Alert(unsigned long handle, bool asserted, unsigned long reading,
               const Snapshot& snapshot);
    // Reports a change of the link since the last snapshot seen (the link
    // is taken to answer at start-up).
    void Link(const Snapshot& snapshot);
    // Reports a failed start-up unless the last attempt failed alike.
    void StartupFailed(SERVICE_CODE code);
    void Started(const Snapshot& inventory);
    void ConfigurationRefused(const std::string& reason);
    // Writes the summaries of the bounds' windows that have passed; called
    // now and then by the run.
    void Tick();

private:
    void Write(const std::string& subject, const SystemEvent& event);
    void WriteAll(const std::vector<SystemEvent>& events);

    IEventSink* m_pSink;
    std::function<Clock::time_point()> m_Now;
    CEventLimiter m_Limiter;
    bool m_bAnswering = true;
    bool m_bStartupFailed = false;
    SERVICE_CODE m_LastStartup = ServiceCode_Success;
};
