// The link-status counters of the exchanges with the service processor: one
// set per exchange kind, moved only when an exchange is made, never by a read
// answered from the cache.
//
// Threads: any thread may count or take a snapshot at any time, without a
// lock. Within one kind a snapshot never shows more failures than tries, nor
// more consecutive failures than failures, nor HasResponded without the tick
// of that response.
#pragma once

#include <atomic>
#include <cstdint>

#include "svcproc/api/ServiceProcessorStatus.h"

class CExchangeCounters {
public:
    CExchangeCounters() = default;
    CExchangeCounters(const CExchangeCounters&) = delete;
    CExchangeCounters& operator=(const CExchangeCounters&) = delete;

    // An exchange of `kind` is about to be sent.
    void Tried(SVCP_EXCHANGE_KIND kind);
    // Its response was accepted at `tick` (GetTickCount).
    void Accepted(SVCP_EXCHANGE_KIND kind, uint32_t tick);
    // The driver call failed or the response was rejected.
    void Failed(SVCP_EXCHANGE_KIND kind);

    // The counts of `kind` now.
    void Snapshot(SVCP_EXCHANGE_KIND kind, CExchangeStatus& status) const;

private:
    struct Kind {
        std::atomic<uint64_t> tried{0};
        std::atomic<uint64_t> failed{0};
        std::atomic<uint32_t> consecutiveFailures{0};
        std::atomic<uint32_t> lastResponseTick{0};
        std::atomic<bool> hasResponded{false};
    };
    Kind m_aKinds[ExchangeKind_Count];
};
