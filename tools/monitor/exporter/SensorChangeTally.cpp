#include "exporter/SensorChangeTally.h"

void CSensorChangeTally::Record(const Alert& alert) {
    std::lock_guard<std::mutex> guard(m_Lock);
    SensorChange& change = m_Changes[alert.handle];
    ++change.count;
    change.last = alert.at;
}

SensorChanges CSensorChangeTally::Changes() const {
    std::lock_guard<std::mutex> guard(m_Lock);
    return m_Changes;
}
