#include "events/EventLimiter.h"

CEventLimiter::CEventLimiter(size_t perWindow, Clock::duration window)
    : m_nPerWindow(perWindow), m_Window(window) {}

std::vector<SystemEvent> CEventLimiter::Admit(const std::string& subject, const SystemEvent& event,
                                              Clock::time_point now) {
    std::vector<SystemEvent> out;
    auto found = m_Windows.find(subject);
    if (found != m_Windows.end() && now - found->second.opened >= m_Window) {
        Summarise(subject, found->second, out);
        m_Windows.erase(found);
        found = m_Windows.end();
    }
    if (found == m_Windows.end()) {
        found = m_Windows.emplace(subject, Window{now, 0, 0, {}}).first;
    }
    Window& window = found->second;
    if (window.admitted < m_nPerWindow) {
        ++window.admitted;
        out.push_back(event);
    } else {
        ++window.suppressed;
        window.latest = event;
    }
    return out;
}

std::vector<SystemEvent> CEventLimiter::Expire(Clock::time_point now) {
    std::vector<SystemEvent> out;
    for (auto it = m_Windows.begin(); it != m_Windows.end();) {
        if (now - it->second.opened >= m_Window) {
            Summarise(it->first, it->second, out);
            it = m_Windows.erase(it);
        } else {
            ++it;
        }
    }
    return out;
}

void CEventLimiter::Summarise(const std::string& subject, const Window& window,
                              std::vector<SystemEvent>& out) const {
    if (window.suppressed == 0) {
        return;
    }
    const long seconds =
        static_cast<long>(std::chrono::duration_cast<std::chrono::seconds>(m_Window).count());
    out.push_back(SuppressedEvent(window.suppressed, subject, seconds, window.latest));
}
