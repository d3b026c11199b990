// The three sensor maps: voltage, fan and temperature entries, each keyed by
// the sensor's SmbiosIndex, the position of its value in the service
// processor's reports of that kind.
//
// A map is a std::map, filled through its ordinary operations (insert, find,
// count, size, ascending walk) while the cache is open; once the cache is
// locked its key set never changes again, so any thread may find and walk
// entries without protection.
//
// Thread-safety after locking: UpdateReading and UpdateState may run on the
// polling thread and on callers' threads at once, while any thread reads the
// entries (InternalSensor keeps each entry's pair in one atomic word).
// m_dwLastUpdate and m_wLastAlertBits are atomics; their writers are the I/O
// unit's refresh (any thread) and alert processing (polling thread only).
#pragma once

#include <atomic>
#include <map>

#include "platform.h"
#include "svcproc/cache/InternalSensor.h"

class CSensorMap : public std::map<unsigned short, InternalSensor> {
public:
    // Sets the entry's reading and keeps its state. An index that is not in
    // the map is logged at level 3 and ignored.
    void UpdateReading(unsigned short SmbiosIndex, LONG reading);
    // Sets the entry's state (1 asserted, 0 deasserted) and reading together.
    // An index that is not in the map is logged at level 3 and ignored.
    void UpdateState(unsigned short SmbiosIndex, LONG state, LONG reading);

    // The alert mask of the last accepted alert of this kind (bit i for index
    // i); 0 at construction. Read and written by alert processing only.
    std::atomic<WORD> m_wLastAlertBits;
    // The tick of the last applied reading report of this kind; the
    // construction tick at first. Store it after the report's updates.
    std::atomic<DWORD> m_dwLastUpdate;

    CSensorMap(const CSensorMap&) = delete;
    CSensorMap& operator=(const CSensorMap&) = delete;

protected:
    // `name` is the class name its trace lines begin with; `traceUpdateState`
    // says whether UpdateState writes an entry line.
    CSensorMap(const char* name, bool traceUpdateState);
    ~CSensorMap() = default;

private:
    const char* const m_pName;
    const bool m_bTraceUpdateState;
};

class CVoltageMap : public CSensorMap {
public:
    CVoltageMap();
    ~CVoltageMap();
};

class CFanMap : public CSensorMap {
public:
    CFanMap();
    ~CFanMap();
};

// Its UpdateState writes no entry line.
class CTemperatureMap : public CSensorMap {
public:
    CTemperatureMap();
    ~CTemperatureMap();
};
