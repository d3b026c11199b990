// Child process of the unload test: loads the library, starts it, registers a
// listener and unloads it with dlclose at the moment the polling thread makes
// its first delivery, cycle after cycle.
//
//   unload_during_delivery_child CYCLES
// Prints "cycle N unloaded" after each cycle. Exit status 0 when every cycle
// unloaded the library after delivering the alert during the unload; 2 when
// a step fails (said on standard error); 3 for bad arguments. A hang is for
// the parent to catch.
//
// The moment is made certain: a gate in front of the simulated driver holds
// the polling thread's alert poll until the unload has begun (the polling
// thread's termination is logged, which happens under dlclose), so the
// thread's first look at a listener, and everything it touches for the first
// time there, happens while dlclose holds the loader's lock.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

#include "support/process/LoadedLibrary.h"
#include "LogControl.h"
#include "TestMachine.h"
#include "device_registry.h"
#include "sim/sp/SimDevice.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

constexpr milliseconds kStepTimeout{5000};

// True once a captured line contains `text`; looks at lines from *scanned on.
bool CapturedLineContains(const char* text, size_t* scanned) {
    char line[256];
    for (const size_t count = LogCaptureCount(); *scanned < count; ++*scanned) {
        if (LogCaptureGet(*scanned, nullptr, line, sizeof line) >= 0 &&
            std::strstr(line, text) != nullptr) {
            return true;
        }
    }
    return false;
}

// The simulated service processor's driver with a gate before the alert poll:
// once armed, the next alert poll waits until the unload has begun, then goes
// through to the service processor (and so answers with what is pending then).
class CGatedDriver : public svcp::IDeviceDriver {
public:
    explicit CGatedDriver(svcpsim::CSimServiceProcessor& serviceProcessor)
        : m_ServiceProcessor(serviceProcessor) {}

    DWORD IoControl(DWORD code, const void* input, DWORD inputSize, void* output, DWORD outputSize,
                    DWORD* bytesReturned) override {
        if (input != nullptr && inputSize > svcpsim::kOffsetCommand &&
            static_cast<const uint8_t*>(input)[svcpsim::kOffsetCommand] ==
                svcpsim::kCommandPollAlerts) {
            Gate();
        }
        size_t answered = 0;
        const uint32_t result =
            m_ServiceProcessor.IoControl(code, input, inputSize, output, outputSize, &answered);
        *bytesReturned = static_cast<DWORD>(answered);
        return result;
    }

    void Arm() {
        std::lock_guard<std::mutex> guard(m_Lock);
        m_bArmed = true;
    }
    // True once an alert poll is held at the gate.
    bool WaitUntilHolding() {
        std::unique_lock<std::mutex> guard(m_Lock);
        return m_Changed.wait_for(guard, kStepTimeout, [this] { return m_bHolding; });
    }
    // True when the held poll went on because the unload had begun.
    bool ReleasedByUnload() {
        std::lock_guard<std::mutex> guard(m_Lock);
        return m_bReleasedByUnload;
    }

private:
    void Gate() {
        {
            std::lock_guard<std::mutex> guard(m_Lock);
            if (!m_bArmed) {
                return;
            }
            m_bArmed = false;
            m_bHolding = true;
        }
        m_Changed.notify_all();
        // Looked for in the log: nothing else tells that dlclose is under way.
        // A bounded wait, so that a cycle whose unload never comes still ends.
        size_t scanned = 0;
        bool unloading = false;
        const auto deadline = steady_clock::now() + kStepTimeout;
        while (!(unloading = CapturedLineContains("CPollingThread::Terminate entered", &scanned)) &&
               steady_clock::now() < deadline) {
            std::this_thread::sleep_for(milliseconds(1));
        }
        std::lock_guard<std::mutex> guard(m_Lock);
        m_bReleasedByUnload = unloading;
    }

    svcpsim::CSimServiceProcessor& m_ServiceProcessor;
    std::mutex m_Lock;
    std::condition_variable m_Changed;
    bool m_bArmed = false;
    bool m_bHolding = false;
    bool m_bReleasedByUnload = false;
};

class CCountingListener : public ISensorStateListener {
public:
    void OnSensorStateChange(unsigned long, unsigned long, unsigned long) override {
        m_nCalls.fetch_add(1);
    }
    unsigned Calls() const { return m_nCalls.load(); }

private:
    std::atomic<unsigned> m_nCalls{0};
};

int Fail(int cycle, const char* what) {
    std::fprintf(stderr, "cycle %d: %s\n", cycle, what);
    return 2;
}

int RunCycle(int cycle) {
    LogCaptureClear();
    TestMachine machine;
    machine.Install(false);  // the table only: the driver is the gated one
    auto driver = std::make_shared<CGatedDriver>(machine.ServiceProcessor());
    const svcp::DeviceRegistration registration =
        svcp::RegisterDevice(svcpsim::kSimInterfaceClass, svcpsim::SimDevicePath(0), driver);
    if (registration == 0) {
        return Fail(cycle, "the driver cannot be registered");
    }
    CCountingListener listener;
    bool delivered = false;
    bool unloaded = false;
    bool releasedByUnload = false;
    {
        LoadedLibrary library;
        if (library.InitialiseServiceDriver() != ServiceCode_Success) {
            return Fail(cycle, "start-up failed");
        }
        library.RegisterSensorStateListener(&listener);
        driver->Arm();
        if (!driver->WaitUntilHolding()) {
            return Fail(cycle, "no alert poll came to the gate");
        }
        // Below its critical threshold. Raised only once the one polling
        // thread is held at the gate, so no poll already under way can take
        // the alert: it waits for the held poll.
        machine.ServiceProcessor().SetReading(svcpsim::SensorKind::Fan, 0, 100);
        if (listener.Calls() != 0) {
            return Fail(cycle, "a delivery came before the unload");
        }
        unloaded = library.Unload();
        delivered = listener.Calls() != 0;
        releasedByUnload = driver->ReleasedByUnload();
    }
    svcp::RemoveDevice(registration);
    if (!releasedByUnload) {
        return Fail(cycle, "the gate was not opened by the unload");
    }
    if (!delivered) {
        return Fail(cycle, "the alert was not delivered during the unload");
    }
    if (!unloaded) {
        return Fail(cycle, "the library stayed loaded");
    }
    std::printf("cycle %d unloaded\n", cycle);
    std::fflush(stdout);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const int cycles = argc == 2 ? std::atoi(argv[1]) : 0;
    if (cycles <= 0 || cycles > 1000) {
        std::fprintf(stderr, "usage: unload_during_delivery_child CYCLES (1..1000)\n");
        return 3;
    }
    LogCaptureStart(4);
    try {
        for (int cycle = 1; cycle <= cycles; ++cycle) {
            if (const int status = RunCycle(cycle); status != 0) {
                return status;
            }
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 2;
    }
    return 0;
}
