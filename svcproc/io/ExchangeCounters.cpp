#include "svcproc/io/ExchangeCounters.h"

// Each later step of an exchange's count is a release that the snapshot's
// acquire of it pairs with, so that what the snapshot reads after it is at
// least as new: failures after tries, the streak after failures, the tick
// before HasResponded.

void CExchangeCounters::Tried(SVCP_EXCHANGE_KIND kind) {
    m_aKinds[kind].tried.fetch_add(1, std::memory_order_relaxed);
}

void CExchangeCounters::Accepted(SVCP_EXCHANGE_KIND kind, uint32_t tick) {
    Kind& counts = m_aKinds[kind];
    counts.lastResponseTick.store(tick, std::memory_order_relaxed);
    counts.hasResponded.store(true, std::memory_order_release);
    counts.consecutiveFailures.store(0, std::memory_order_relaxed);
}

void CExchangeCounters::Failed(SVCP_EXCHANGE_KIND kind) {
    Kind& counts = m_aKinds[kind];
    counts.failed.fetch_add(1, std::memory_order_release);
    counts.consecutiveFailures.fetch_add(1, std::memory_order_release);
}

void CExchangeCounters::Snapshot(SVCP_EXCHANGE_KIND kind, CExchangeStatus& status) const {
    const Kind& counts = m_aKinds[kind];
    status.HasResponded = counts.hasResponded.load(std::memory_order_acquire);
    status.LastResponseTick = counts.lastResponseTick.load(std::memory_order_relaxed);
    status.ConsecutiveFailures = counts.consecutiveFailures.load(std::memory_order_acquire);
    status.Failed = counts.failed.load(std::memory_order_acquire);
    status.Tried = counts.tried.load(std::memory_order_relaxed);
}
