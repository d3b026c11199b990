// The exporter's running count of the alerts its listener receives, kept
// from scrape to scrape for as long as the process runs. Alerts are recorded
// by the thread that drains the listener's queue and read by the scrapes'
// worker threads.
#pragma once

#include <deque>
#include <mutex>
#include <vector>

#include "run/AlertCollector.h"
#include "snapshot/SensorChanges.h"

class CSensorChangeTally {
public:
    // Counts the alert, asserted or cleared, at the time it arrived.
    void Record(const Alert& alert);
    SensorChanges Changes() const;
    // The latest alerts, newest first, at most kRecentAlerts of them: what
    // the status page lists, including an excursion between two of its
    // fetches.
    std::vector<SensorAlert> Recent() const;

    static constexpr size_t kRecentAlerts = 20;

private:
    mutable std::mutex m_Lock;  // guards m_Changes and m_Recent
    SensorChanges m_Changes;
    std::deque<SensorAlert> m_Recent;  // newest first
};
