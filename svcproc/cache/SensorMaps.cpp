#include "svcproc/cache/SensorMaps.h"

#include "svcproc/logging/Log.h"

CSensorMap::CSensorMap(const char* name, bool traceUpdateState)
    : m_wLastAlertBits(0),
      m_dwLastUpdate(GetTickCount()),
      m_pName(name),
      m_bTraceUpdateState(traceUpdateState) {}

void CSensorMap::UpdateReading(unsigned short SmbiosIndex, LONG reading) {
    Log(kLogCall, "%s::UpdateReading(%d,%d)", m_pName, static_cast<int>(SmbiosIndex),
        static_cast<int>(reading));
    const iterator entry = find(SmbiosIndex);
    if (entry == end()) {
        Log(kLogTrace, "%s::UpdateReading - cannot find SmbiosIndex %d in Map", m_pName,
            static_cast<int>(SmbiosIndex));
        return;
    }
    entry->second.SetReading(reading);
}

void CSensorMap::UpdateState(unsigned short SmbiosIndex, LONG state, LONG reading) {
    if (m_bTraceUpdateState) {
        Log(kLogCall, "%s::UpdateState(%d,%d,%d)", m_pName, static_cast<int>(SmbiosIndex),
            static_cast<int>(state), static_cast<int>(reading));
    }
    const iterator entry = find(SmbiosIndex);
    if (entry == end()) {
        Log(kLogTrace, "%s::UpdateState - cannot find SmbiosIndex %d in Map", m_pName,
            static_cast<int>(SmbiosIndex));
        return;
    }
    entry->second.SetState(state, reading);
}

CVoltageMap::CVoltageMap() : CSensorMap("CVoltageMap", true) {
    LogQuick(kLogTrace, "CVoltageMap Constructed");
}

CVoltageMap::~CVoltageMap() {
    LogQuick(kLogTrace, "CVoltageMap Destroyed");
}

CFanMap::CFanMap() : CSensorMap("CFanMap", true) {
    LogQuick(kLogTrace, "CFanMap Constructed");
}

CFanMap::~CFanMap() {
    LogQuick(kLogTrace, "CFanMap Destroyed");
}

CTemperatureMap::CTemperatureMap() : CSensorMap("CTemperatureMap", false) {
    LogQuick(kLogTrace, "CTemperatureMap Constructed");
}

CTemperatureMap::~CTemperatureMap() {
    LogQuick(kLogTrace, "CTemperatureMap Destroyed");
}
