// How often each sensor's alert state changed while a listener was
// registered, and when it last did: what a reading taken at each scrape
// cannot show when a sensor asserts and clears between two of them.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>

struct SensorChange {
    uint64_t count = 0;  // alerts received, asserted and cleared alike
    // The wall-clock arrival of the latest; empty before the first.
    std::optional<std::chrono::system_clock::time_point> last;
};

// By sensor handle; a sensor without an entry has not changed.
using SensorChanges = std::map<unsigned long, SensorChange>;

// One alert as the listener received it.
struct SensorAlert {
    std::chrono::system_clock::time_point at;  // its arrival
    unsigned long handle = 0;
    bool asserted = false;
    int32_t raw = 0;  // the reading it carried, in the library's units
};
