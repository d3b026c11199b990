// Planned misbehaviour of the simulated service processor: failed exchanges,
// delays, damaged answers and raw responses queued verbatim.
//
// Not thread-safe: CSimServiceProcessor keeps one under its lock.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>

#include "SimProtocol.h"

namespace svcpsim {

// What applies to one exchange.
struct ExchangeFaults {
    unsigned delayMilliseconds = 0;
    std::optional<uint32_t> failWith;  // the driver fails the call with it
    std::optional<RawResponse> raw;    // answer verbatim, nothing else applies
    bool corruptChecksum = false;      // checksum byte off by one
    std::optional<uint8_t> type;       // this type, checksum made right again
    int byteCountDelta = 0;            // N moved, clamped to 0..255
};

class CSimFaultPlan {
public:
    // Each plan covers the next `count` exchanges of any command and replaces
    // the earlier plan of its kind; count 0 cancels it.
    //
    // Delays and failures count every exchange whose request was accepted;
    // a delayed exchange may fail too (it fails after the delay).
    void DelayAnswers(unsigned count, unsigned milliseconds);
    void FailExchanges(unsigned count, uint32_t errorCode);
    // These count only the answers the simulator builds itself (not failed
    // exchanges, not raw responses).
    void CorruptChecksums(unsigned count);
    void AnswerWithType(unsigned count, uint8_t type);
    void AdjustByteCount(unsigned count, int delta);

    // Queued in order; each is used once, by the first exchange not failed
    // whose command matches (any command when `command` is empty).
    void QueueRawResponse(const RawResponse& raw, std::optional<uint8_t> command);
    size_t PendingRawResponses() const { return m_qRaw.size(); }

    void Clear();

    // Consumes what applies to the next exchange of `command`.
    ExchangeFaults TakeForExchange(uint8_t command);

private:
    template <class T>
    struct Countdown {
        unsigned count = 0;
        T value{};
        // The value for this exchange, if the plan still covers one.
        std::optional<T> Take() {
            if (count == 0) {
                return std::nullopt;
            }
            --count;
            return value;
        }
    };
    struct QueuedRaw {
        RawResponse raw;
        std::optional<uint8_t> command;
    };

    Countdown<unsigned> m_Delay;
    Countdown<uint32_t> m_Fail;
    Countdown<bool> m_Corrupt;
    Countdown<uint8_t> m_Type;
    Countdown<int> m_CountDelta;
    std::deque<QueuedRaw> m_qRaw;
};

}  // namespace svcpsim
