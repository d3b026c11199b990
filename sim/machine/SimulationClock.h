// Real time for a simulated machine: a thread that calls `tick` with the
// seconds since Start, first with 0, then every period.
//
// Thread-safety: Start and Stop are called by the owner's thread; `tick`
// runs on the clock's thread, never concurrently with itself. Stop returns
// once the thread has ended: within one period's wait plus a tick's work.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace svcpsim {

class CSimulationClock {
public:
    using Tick = std::function<void(double seconds)>;

    explicit CSimulationClock(Tick tick,
                              std::chrono::milliseconds period = std::chrono::milliseconds(50));
    ~CSimulationClock();  // stops
    CSimulationClock(const CSimulationClock&) = delete;
    CSimulationClock& operator=(const CSimulationClock&) = delete;

    // Starts the thread; does nothing while it runs.
    void Start();
    // Ends the thread; does nothing when it does not run.
    void Stop();

private:
    void Run();

    const Tick m_Tick;
    const std::chrono::milliseconds m_Period;
    std::mutex m_Lock;
    std::condition_variable m_Wake;
    bool m_bStop = false;  // guarded by m_Lock
    std::thread m_Thread;
};

}  // namespace svcpsim
