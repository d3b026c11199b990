#include "SimFaultPlan.h"

namespace svcpsim {

void CSimFaultPlan::DelayAnswers(unsigned count, unsigned milliseconds) {
    m_Delay = {count, milliseconds};
}

void CSimFaultPlan::FailExchanges(unsigned count, uint32_t errorCode) {
    m_Fail = {count, errorCode};
}

void CSimFaultPlan::CorruptChecksums(unsigned count) {
    m_Corrupt = {count, true};
}

void CSimFaultPlan::AnswerWithType(unsigned count, uint8_t type) {
    m_Type = {count, type};
}

void CSimFaultPlan::AdjustByteCount(unsigned count, int delta) {
    m_CountDelta = {count, delta};
}

void CSimFaultPlan::QueueRawResponse(const RawResponse& raw, std::optional<uint8_t> command) {
    m_qRaw.push_back(QueuedRaw{raw, command});
}

void CSimFaultPlan::Clear() {
    *this = CSimFaultPlan();
}

ExchangeFaults CSimFaultPlan::TakeForExchange(uint8_t command) {
    ExchangeFaults faults;
    faults.delayMilliseconds = m_Delay.Take().value_or(0);
    faults.failWith = m_Fail.Take();
    if (faults.failWith) {
        return faults;
    }
    for (auto it = m_qRaw.begin(); it != m_qRaw.end(); ++it) {
        if (!it->command || *it->command == command) {
            faults.raw = it->raw;
            m_qRaw.erase(it);
            return faults;
        }
    }
    faults.corruptChecksum = m_Corrupt.Take().value_or(false);
    faults.type = m_Type.Take();
    faults.byteCountDelta = m_CountDelta.Take().value_or(0);
    return faults;
}

}  // namespace svcpsim
