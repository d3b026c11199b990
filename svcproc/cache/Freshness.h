// When a kind's cached values must be read again from the service processor.
#pragma once

#include "platform.h"

// A kind refreshed less than this long ago is answered from the cache.
constexpr DWORD kCacheFreshnessMilliseconds = 500;

// True when `lastUpdate` lies kCacheFreshnessMilliseconds or more away from
// `now`, on either side: a stamp ahead of the tick (which the 32-bit tick
// counter's wrap-around produces) counts as stale too, so a wrapped counter
// never leaves data fresh for 49 days.
inline bool IsTickStale(DWORD lastUpdate, DWORD now) {
    const DWORD distance = now >= lastUpdate ? now - lastUpdate : lastUpdate - now;
    return distance >= kCacheFreshnessMilliseconds;
}
