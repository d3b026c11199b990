// Extension beside the nine functions of ServiceApi.h: the health of the link
// to the service processor. None of the nine depends on it, and calling it
// changes nothing they do, return or log.
//
// Why it exists: ReadSensor and ReadLed keep answering with the last values
// the library received when the service processor stops answering, and the
// alert states stay what the last accepted alert of each kind made them. The
// service processor reports only changes, so after an outage the alert states
// a caller sees may be out of date until the next alert of that kind arrives.
// This status tells a caller whether, and since when, that is happening.
#pragma once

#include <cstdint>

#include "svcproc/api/ServiceCode.h"
#include "svcproc/api/svcproc_export.h"

// The exchanges the library makes with the service processor.
enum SVCP_EXCHANGE_KIND {
    ExchangeKind_Voltages = 0,
    ExchangeKind_Fans = 1,
    ExchangeKind_Temperatures = 2,
    ExchangeKind_Leds = 3,
    ExchangeKind_AlertPoll = 4,
    ExchangeKind_Count = 5
};

// Counts of one exchange kind since start-up.
struct CExchangeStatus {
    // Exchanges tried.
    uint64_t Tried;
    // Tried exchanges that failed: the driver call failed, or the response
    // was rejected (malformed, wrong type, or an alert that could not be
    // used).
    uint64_t Failed;
    // Failures since the last accepted response; 0 while the service
    // processor answers.
    uint32_t ConsecutiveFailures;
    // GetTickCount() at the last accepted response; meaningful only when
    // HasResponded. Compare with CServiceProcessorStatus::CurrentTick by
    // unsigned difference, which survives the tick's wrap-around.
    uint32_t LastResponseTick;
    // An accepted response of this kind has arrived since start-up.
    bool HasResponded;
};

// A consistent-enough picture of the link: each counter is read atomically,
// the set of them is not taken under one lock. Within one kind, Failed never
// exceeds Tried and ConsecutiveFailures never exceeds Failed. A plain record
// with nothing out of line: the library exports no member of it.
class CServiceProcessorStatus {
public:
    CExchangeStatus Exchanges[ExchangeKind_Count];
    // The polling thread exists and has been told to poll.
    bool PollingThreadRunning;
    // GetTickCount() when the status was taken.
    uint32_t CurrentTick;
};

namespace ServiceApi {

// Fills `status`. 0, or 1 before a successful InitialiseServiceDriver (the
// record is then left as it was). Takes no lock that a read waits for and
// makes no exchange. The counters move only when an exchange is made: a read
// answered from the cache (its kind refreshed less than 500 ms ago) counts
// nothing, and the alert poll counts one exchange every 100 ms. Writes its
// entry and exit lines at level 4, as the nine functions do.
SVCPROC_EXPORT SERVICE_CODE GetServiceProcessorStatus(CServiceProcessorStatus& status);

}  // namespace ServiceApi
