#include "SimulationClock.h"

namespace svcpsim {

CSimulationClock::CSimulationClock(Tick tick, std::chrono::milliseconds period)
    : m_Tick(std::move(tick)), m_Period(period) {}

CSimulationClock::~CSimulationClock() {
    Stop();
}

void CSimulationClock::Start() {
    if (m_Thread.joinable()) {
        return;
    }
    {
        std::lock_guard<std::mutex> guard(m_Lock);
        m_bStop = false;
    }
    m_Thread = std::thread(&CSimulationClock::Run, this);
}

void CSimulationClock::Stop() {
    if (!m_Thread.joinable()) {
        return;
    }
    {
        std::lock_guard<std::mutex> guard(m_Lock);
        m_bStop = true;
    }
    m_Wake.notify_all();
    m_Thread.join();
}

void CSimulationClock::Run() {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    Clock::time_point next = start;
    std::unique_lock<std::mutex> guard(m_Lock);
    while (!m_bStop) {
        guard.unlock();
        m_Tick(std::chrono::duration<double>(Clock::now() - start).count());
        guard.lock();
        next += m_Period;
        if (next < Clock::now()) {
            next = Clock::now();  // a slow tick delays the next; it does not cause a burst
        }
        m_Wake.wait_until(guard, next, [this] { return m_bStop; });
    }
}

}  // namespace svcpsim
