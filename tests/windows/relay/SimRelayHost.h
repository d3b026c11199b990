// The user-mode half of the relay driver (tests/windows/driver): answers the
// library's I/O-control exchanges with the simulated service processor,
// running in the test process, so that tests steer it (readings, alerts,
// faults) as they do on Linux.
//
// Thread-safety: Start, Stop and the destructor are called by the owning
// thread. The relay thread calls the service processor's IoControl, which is
// thread-safe; tests call its controls from any thread meanwhile. Exchanges
// are answered one at a time, in arrival order.
#pragma once

#include <atomic>
#include <memory>
#include <thread>

#include "SimServiceProcessor.h"
#include "platform.h"

namespace svcpsim {

class CSimRelayHost {
public:
    explicit CSimRelayHost(std::shared_ptr<CSimServiceProcessor> serviceProcessor);
    // Stops the relay.
    ~CSimRelayHost();
    CSimRelayHost(const CSimRelayHost&) = delete;
    CSimRelayHost& operator=(const CSimRelayHost&) = delete;

    // Opens the control device, attaches as the host and starts answering.
    // False, with GetLastError set, when the driver is absent or another
    // host stays attached for 5 s.
    bool Start();
    // Detaches: exchanges in progress or arriving afterwards fail with
    // ERROR_DEVICE_NOT_CONNECTED. Returns when the relay thread has ended.
    void Stop();

    // Exchanges answered or failed on the service processor's behalf.
    unsigned GetExchangeCount() const { return m_nExchanges.load(); }

    // Enables or disables an interface instance of the driver (0 or 1).
    // Takes effect for the next SetupAPI enumeration.
    static bool SetInterface(unsigned instance, bool enabled);

private:
    void Relay();

    std::shared_ptr<CSimServiceProcessor> m_pServiceProcessor;
    HANDLE m_hControl = INVALID_HANDLE_VALUE;
    std::thread m_Thread;
    std::atomic<unsigned> m_nExchanges{0};
};

}  // namespace svcpsim
