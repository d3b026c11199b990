// At most one notice a period for a thing that may happen thousands of
// times a second (a connection flood): the others are counted and told
// with the next notice. Not thread-safe: one per thread that notices.
#pragma once

#include <chrono>

namespace svcp {

class CNoticeThrottle {
public:
    using Clock = std::chrono::steady_clock;

    explicit CNoticeThrottle(Clock::duration period) : m_Period(period) {}

    // One occurrence at `now`. True when it is to be told now, with
    // *heldBack the occurrences held back since the last one told.
    bool Take(Clock::time_point now, unsigned long* heldBack) {
        if (m_bTold && now - m_Last < m_Period) {
            ++m_nHeldBack;
            return false;
        }
        *heldBack = m_nHeldBack;
        m_nHeldBack = 0;
        m_Last = now;
        m_bTold = true;
        return true;
    }

private:
    const Clock::duration m_Period;
    Clock::time_point m_Last;
    bool m_bTold = false;
    unsigned long m_nHeldBack = 0;
};

}  // namespace svcp
