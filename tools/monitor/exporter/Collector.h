// The exporter's collection: the machine read through the library on a
// thread of its own, one collection after another at the interval, so that
// no scrape waits on the service processor. A read of a kind the service
// processor does not answer waits for its exchange (3 s, sensor after
// sensor); that holds up this thread only.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "run/Monitor.h"
#include "snapshot/Snapshot.h"

using SteadyClock = std::chrono::steady_clock;

// What a collection does, replaceable by tests.
struct CollectorHooks {
    // Start-up, tried again at each collection while it has failed.
    std::function<SERVICE_CODE()> initialise;
    // The inventory and its first readings after a start-up.
    std::function<Snapshot(SERVICE_CODE)> takeInventory;
    // Reads again; false when `proceed` said stop before the end.
    std::function<bool(Snapshot&, const std::function<bool()>& proceed)> refresh;
    std::function<SteadyClock::time_point()> now;
    // Returns at the time given or earlier.
    std::function<void(SteadyClock::time_point)> sleepUntil;
};

// The library's inventory (only what `selection` keeps, renamed as it says)
// and readings, with the run's start-up and clock.
CollectorHooks LibraryCollectorHooks(const MonitorHooks& hooks,
                                     const SensorSelection* selection = nullptr);

// What a scrape sees of the collection.
struct CollectionStatus {
    // The latest complete collection's snapshot; null before the first.
    std::shared_ptr<const Snapshot> latest;
    SteadyClock::time_point latestStarted;
    SteadyClock::duration latestDuration{0};
    // Sensors of `latest` whose state was judged from the reading against the
    // library's (JudgeStates).
    size_t judgedStates = 0;
    // Set while a collection is under way.
    std::optional<SteadyClock::time_point> runningSince;
    uint64_t completed = 0;  // collections completed
    // Start-up's result as the exporter began, for a scrape before the first
    // collection.
    SERVICE_CODE startup = ServiceCode_NotInitialised;
};

// The next collection after one due at `due` that started then and ended at
// `now`: an interval later, or at once when that has passed (missed ones
// are not made up).
SteadyClock::time_point NextCollection(SteadyClock::time_point due, SteadyClock::duration interval,
                                       SteadyClock::time_point now);

class CCollector {
public:
    // `startup`: the result of the start-up the exporter made; the first
    // collection takes the inventory with it, the following ones retry a
    // failed one.
    CCollector(CollectorHooks hooks, SteadyClock::duration interval, SERVICE_CODE startup);
    ~CCollector();  // Stop()
    CCollector(const CCollector&) = delete;
    CCollector& operator=(const CCollector&) = delete;

    // Collects on a thread of its own, the first collection at once. Once.
    void Start();
    // Ends the thread: a collection under way stops at its next read, so
    // this waits for one exchange at most. Idempotent.
    void Stop();

    // Called on the collecting thread when a retried start-up succeeds.
    std::function<void()> onStarted;

    CollectionStatus Status() const;
    // Waits until a collection after the `completed`-th ends or `until`
    // passes (on the steady clock), then the status.
    CollectionStatus WaitForCollection(uint64_t completed, SteadyClock::time_point until) const;

    // The thread's loop: collects when due, sleeping between, until Stop.
    void Run();
    // One collection; false when stopped before its end (nothing published).
    bool Collect();

private:
    CollectorHooks m_Hooks;
    SteadyClock::duration m_Interval;
    SERVICE_CODE m_Startup;
    bool m_bFirst = true;  // no collection yet: the start-up was just made
    Snapshot m_Working;    // the collecting thread's own
    std::atomic<bool> m_bStop{false};
    std::thread m_Thread;

    mutable std::mutex m_Lock;  // guards m_Status
    mutable std::condition_variable m_Completed;
    CollectionStatus m_Status;
};
