#include "run/AlertCollector.h"

void AlertCollector::OnSensorStateChange(unsigned long handle, unsigned long state,
                                         unsigned long reading) {
    {
        std::lock_guard<std::mutex> guard(m_Lock);
        m_Queue.push_back({std::chrono::system_clock::now(), handle, state, reading});
    }
    m_Arrived.notify_one();
}

std::deque<Alert> AlertCollector::WaitUntil(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock<std::mutex> guard(m_Lock);
    m_Arrived.wait_until(guard, deadline, [this] { return !m_Queue.empty(); });
    std::deque<Alert> taken;
    taken.swap(m_Queue);
    return taken;
}
