// Bounds the events of each subject (a sensor, the link, start-up) so that a
// flapping sensor cannot flood the system's log: at most `perWindow` events
// of a subject in a window that opens with its first event; the rest are
// counted and summed up in one event once the window has passed.
#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "events/SystemEvent.h"

class CEventLimiter {
public:
    using Clock = std::chrono::steady_clock;

    CEventLimiter(size_t perWindow, Clock::duration window);

    // The events to write now for `event` of `subject`: the summary of the
    // subject's past window if it left events out, then `event` unless the
    // subject has had its share of the current window.
    std::vector<SystemEvent> Admit(const std::string& subject, const SystemEvent& event,
                                   Clock::time_point now);
    // The summaries of the windows that have passed by `now`.
    std::vector<SystemEvent> Expire(Clock::time_point now);

private:
    struct Window {
        Clock::time_point opened;
        size_t admitted = 0;
        unsigned long suppressed = 0;
        SystemEvent latest;  // the last one left out
    };

    // Appends the window's summary, if it left events out, to `out`.
    void Summarise(const std::string& subject, const Window& window,
                   std::vector<SystemEvent>& out) const;

    size_t m_nPerWindow;
    Clock::duration m_Window;
    // One entry per subject with a window open: the inventory's sensors, the
    // link and start-up, so bounded by the machine.
    std::map<std::string, Window> m_Windows;
};
