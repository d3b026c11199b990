#include "svcproc/cache/LedMap.h"

#include "svcproc/logging/Log.h"

CLedMap::CLedMap() : m_dwLastUpdate(GetTickCount()) {
    LogQuick(kLogTrace, "CLedMap Constructed");
}

CLedMap::~CLedMap() {
    LogQuick(kLogTrace, "CLedMap destroyed");
}

void CLedMap::UpdateStates(unsigned short states) {
    if (size() > kMaxLeds) {
        LogQuick(kLogError, "CLedMap::UpdateStates - Internal Error - too many LEDs in Map");
        return;
    }
    for (value_type& entry : *this) {
        const bool on = (states & entry.second.m_Information.BitMap) != 0;
        entry.second.m_bState.store(on, std::memory_order_release);
    }
}
