#include "events/EventReporter.h"

#include <utility>

CEventReporter::CEventReporter(IEventSink* sink, std::function<Clock::time_point()> now)
    : m_pSink(sink), m_Now(std::move(now)), m_Limiter(kEventsPerMinute, std::chrono::minutes(1)) {}

void CEventReporter::Alert(unsigned long handle, bool asserted, unsigned long reading,
                           const Snapshot& snapshot) {
    if (m_pSink == nullptr) {
        return;
    }
    const SystemEvent event = AlertEvent(handle, asserted, reading, snapshot);
    Write("sensor " + event.sensor + " (" + event.handle + ")", event);
}

void CEventReporter::Link(const Snapshot& snapshot) {
    if (m_pSink == nullptr || !snapshot.link) {
        return;
    }
    const bool answering = Answering(*snapshot.link);
    if (answering != m_bAnswering) {
        m_bAnswering = answering;
        Write("the service processor link", LinkEvent(*snapshot.link));
    }
}

void CEventReporter::StartupFailed(SERVICE_CODE code) {
    if (m_pSink == nullptr || (m_bStartupFailed && code == m_LastStartup)) {
        return;
    }
    m_bStartupFailed = true;
    m_LastStartup = code;
    Write("start-up", StartupFailedEvent(code));
}

void CEventReporter::Started(const Snapshot& inventory) {
    if (m_pSink == nullptr) {
        return;
    }
    m_bStartupFailed = false;
    Write("start-up", StartedEvent(inventory));
}

void CEventReporter::ConfigurationRefused(const std::string& reason) {
    if (m_pSink != nullptr) {
        Write("the configuration", ConfigurationRefusedEvent(reason));
    }
}

void CEventReporter::Tick() {
    if (m_pSink != nullptr) {
        WriteAll(m_Limiter.Expire(m_Now()));
    }
}

void CEventReporter::Write(const std::string& subject, const SystemEvent& event) {
    WriteAll(m_Limiter.Admit(subject, event, m_Now()));
}

void CEventReporter::WriteAll(const std::vector<SystemEvent>& events) {
    for (const SystemEvent& event : events) {
        m_pSink->Report(event);
    }
}
