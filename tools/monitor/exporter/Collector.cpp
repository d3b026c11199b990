#include "exporter/Collector.h"

#include <algorithm>
#include <utility>

#include "snapshot/JudgedState.h"

namespace {

// How often a sleeping collector looks at its stop flag.
constexpr std::chrono::milliseconds kStopCheck(100);

}  // namespace

CollectorHooks LibraryCollectorHooks(const MonitorHooks& hooks, const SensorSelection* selection) {
    CollectorHooks collector;
    collector.initialise = hooks.initialise;
    collector.takeInventory = [selection](SERVICE_CODE startup) {
        return TakeInventory(startup, selection);
    };
    collector.refresh = [](Snapshot& snapshot, const std::function<bool()>& proceed) {
        return RefreshReadings(snapshot, proceed);
    };
    collector.now = hooks.now;
    collector.sleepUntil = hooks.sleepUntil;
    return collector;
}

SteadyClock::time_point NextCollection(SteadyClock::time_point due, SteadyClock::duration interval,
                                       SteadyClock::time_point now) {
    return std::max(due + interval, now);
}

CCollector::CCollector(CollectorHooks hooks, SteadyClock::duration interval, SERVICE_CODE startup)
    : m_Hooks(std::move(hooks)), m_Interval(interval), m_Startup(startup) {
    m_Working.startup = startup;
    m_Status.startup = startup;
}

CCollector::~CCollector() {
    Stop();
}

void CCollector::Start() {
    m_Thread = std::thread([this] { Run(); });
}

void CCollector::Stop() {
    m_bStop = true;
    if (m_Thread.joinable()) {
        m_Thread.join();
    }
}

CollectionStatus CCollector::Status() const {
    std::lock_guard<std::mutex> lock(m_Lock);
    return m_Status;
}

CollectionStatus CCollector::WaitForCollection(uint64_t completed,
                                               SteadyClock::time_point until) const {
    std::unique_lock<std::mutex> lock(m_Lock);
    m_Completed.wait_until(lock, until, [&] { return m_Status.completed > completed; });
    return m_Status;
}

void CCollector::Run() {
    SteadyClock::time_point due = m_Hooks.now();
    while (!m_bStop.load()) {
        const SteadyClock::time_point now = m_Hooks.now();
        if (now >= due) {
            Collect();
            due = NextCollection(due, m_Interval, m_Hooks.now());
            continue;
        }
        m_Hooks.sleepUntil(std::min(due, now + kStopCheck));
    }
}

bool CCollector::Collect() {
    const SteadyClock::time_point start = m_Hooks.now();
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        m_Status.runningSince = start;
    }
    bool complete = true;
    bool started = false;
    if (m_Working.startup != ServiceCode_Success) {
        // The first collection uses the start-up just made; later ones retry.
        const SERVICE_CODE startup = m_bFirst ? m_Startup : m_Hooks.initialise();
        m_Working = m_Hooks.takeInventory(startup);
        started = !m_bFirst && startup == ServiceCode_Success;
    } else if (m_bFirst) {
        m_Working = m_Hooks.takeInventory(m_Working.startup);
    } else {
        complete = m_Hooks.refresh(m_Working, [this] { return !m_bStop.load(); });
    }
    m_bFirst = false;
    const size_t judged = complete ? JudgeStates(m_Working) : 0;
    if (started && onStarted) {
        onStarted();
    }
    const SteadyClock::time_point end = m_Hooks.now();
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        m_Status.runningSince.reset();
        if (complete) {
            m_Status.latest = std::make_shared<const Snapshot>(m_Working);
            m_Status.latestStarted = start;
            m_Status.latestDuration = end - start;
            m_Status.judgedStates = judged;
            ++m_Status.completed;
        }
    }
    if (complete) {
        m_Completed.notify_all();
    }
    return complete;
}
