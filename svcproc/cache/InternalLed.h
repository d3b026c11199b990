// One LED entry of the cache: its current on/off state and its description.
//
// Thread-safety: m_bState is an atomic flag, written by CLedMap::UpdateStates
// and read by any thread. m_Information is written only while the entry is
// created and is read-only while the entry sits in a map.
#pragma once

#include <atomic>

#include "svcproc/api/SensorRecords.h"

class InternalLed {
public:
    // State false, default information.
    InternalLed();
    // State false and a copy of `information`.
    explicit InternalLed(const CLedInformation& information);
    // Copies the information and the state as it is at the moment.
    InternalLed(const InternalLed& other);
    InternalLed& operator=(const InternalLed& other);
    ~InternalLed() = default;

    // True when the LED's bit mask had a bit in common with the last LED
    // state word applied.
    std::atomic<bool> m_bState;
    // Its BitMap is the mask UpdateStates tests, and the entry's key.
    CLedInformation m_Information;
};
