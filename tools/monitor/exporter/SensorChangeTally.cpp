#include "exporter/SensorChangeTally.h"

void CSensorChangeTally::Record(const Alert& alert) {
    std::lock_guard<std::mutex> guard(m_Lock);
    SensorChange& change = m_Changes[alert.handle];
    ++change.count;
    change.last = alert.at;
    m_Recent.push_front(
        SensorAlert{alert.at, alert.handle, alert.state != 0, static_cast<int32_t>(alert.reading)});
    if (m_Recent.size() > kRecentAlerts) {
        m_Recent.pop_back();
    }
}

SensorChanges CSensorChangeTally::Changes() const {
    std::lock_guard<std::mutex> guard(m_Lock);
    return m_Changes;
}

std::vector<SensorAlert> CSensorChangeTally::Recent() const {
    std::lock_guard<std::mutex> guard(m_Lock);
    return std::vector<SensorAlert>(m_Recent.begin(), m_Recent.end());
}
