// The monitor's listener: alerts arrive on the library's polling thread and
// are handed to the monitor's own thread through a queue.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

#include "svcproc/api/ServiceApi.h"

struct Alert {
    std::chrono::system_clock::time_point at;
    unsigned long handle;
    unsigned long state;
    unsigned long reading;
};

class AlertCollector : public ISensorStateListener {
public:
    void OnSensorStateChange(unsigned long handle, unsigned long state,
                             unsigned long reading) override;

    // Waits until an alert is queued or the deadline passes, then takes all
    // queued alerts.
    std::deque<Alert> WaitUntil(std::chrono::steady_clock::time_point deadline);

private:
    std::mutex m_Lock;
    std::condition_variable m_Arrived;
    std::deque<Alert> m_Queue;
};
