// One sensor entry of the cache: its current alert state and reading, and its
// description.
//
// Thread-safety: the state and the reading live together in one lock-free
// 64-bit atomic word, so every reader gets a pair written by one update, never
// a half-written value or a state of one update with the reading of another,
// and reading costs one load without any shared write. The maps' updates
// (CSensorMap) are the only writers of a shared entry. m_Information is written
// only while the entry is created and is read-only while the entry sits in a
// map; copies of it are plain reads.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform.h"
#include "svcproc/api/SensorRecords.h"

class InternalSensor {
public:
    // State 0, reading 0, default information.
    InternalSensor();
    // State 0, reading 0 and a copy of `information`.
    explicit InternalSensor(const CSensorInformation& information);
    // Copies the information and one consistent (state, reading) pair.
    InternalSensor(const InternalSensor& other);
    InternalSensor& operator=(const InternalSensor& other);
    ~InternalSensor() = default;

    // 1 while the sensor's alert is asserted, 0 while it is not.
    LONG State() const { return StateOf(LoadValues()); }
    // The last reading, in the units its writer delivered it.
    LONG Reading() const { return ReadingOf(LoadValues()); }
    // Both values of one update, read in one load.
    void GetValues(LONG& state, LONG& reading) const {
        const uint64_t values = LoadValues();
        state = StateOf(values);
        reading = ReadingOf(values);
    }

    // True when this fan must be left out of the handle listing: on the BIOS
    // family 84 (CPOSSystem::IsBios84) the fan described exactly "Chassis
    // Fan" is not listed. The entry itself stays usable by its handle.
    bool IsExcludedChassisFan() const;

    CSensorInformation m_Information;

private:
    friend class CSensorMap;

    // Writers, called by the sensor maps only. Any number of threads may call
    // them at once: SetReading keeps whatever state the entry holds at the
    // moment it writes (a concurrent SetState is never undone).
    void SetReading(LONG reading);
    void SetState(LONG state, LONG reading);

    uint64_t LoadValues() const { return m_Values.load(std::memory_order_acquire); }
    static uint64_t Pack(LONG state, LONG reading);
    static LONG StateOf(uint64_t values) {
        return static_cast<LONG>(static_cast<uint32_t>(values >> 32));
    }
    static LONG ReadingOf(uint64_t values) {
        return static_cast<LONG>(static_cast<uint32_t>(values));
    }

    // State in the high 32 bits, reading in the low 32 bits.
    std::atomic<uint64_t> m_Values;

    static_assert(std::atomic<uint64_t>::is_always_lock_free,
                  "the sensor values must be one lock-free word on every target");
};
