// The LED map: LED entries keyed by their bit mask in the service processor's
// 16-bit LED state word.
//
// A std::map like the sensor maps, filled through its ordinary operations
// while the cache is open; its key set is fixed once the cache is locked.
//
// Thread-safety after locking: UpdateStates may run on any thread while others
// read the entries; each entry's flag is atomic. Two UpdateStates running at
// once leave each entry with the value of one of the two words.
#pragma once

#include <atomic>
#include <map>

#include "platform.h"
#include "svcproc/cache/InternalLed.h"

class CLedMap : public std::map<unsigned short, InternalLed> {
public:
    // One flag per bit of the LED state word: a larger map is never updated.
    static constexpr size_type kMaxLeds = 16;

    CLedMap();
    ~CLedMap();
    CLedMap(const CLedMap&) = delete;
    CLedMap& operator=(const CLedMap&) = delete;

    // Sets each entry's state: true when `states` has any bit of the entry's
    // mask set (a mask of 0 is never on). With more than kMaxLeds entries it
    // logs an internal error at level 1 and changes nothing.
    void UpdateStates(unsigned short states);

    // The tick of the last applied LED state report; the construction tick at
    // first. Store it after UpdateStates.
    std::atomic<DWORD> m_dwLastUpdate;
};
