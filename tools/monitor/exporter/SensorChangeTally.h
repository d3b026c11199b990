// The exporter's running count of the alerts its listener receives, kept
// from scrape to scrape for as long as the process runs. Alerts are recorded
// by the thread that drains the listener's queue and read by the scrapes'
// worker threads.
#pragma once

#include <mutex>

#include "run/AlertCollector.h"
#include "snapshot/SensorChanges.h"

class CSensorChangeTally {
public:
    // Counts the alert, asserted or cleared, at the time it arrived.
    void Record(const Alert& alert);
    SensorChanges Changes() const;

private:
    mutable std::mutex m_Lock;  // guards m_Changes
    SensorChanges m_Changes;
};
