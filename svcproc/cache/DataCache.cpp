#include "svcproc/cache/DataCache.h"

#include <utility>

#include "svcproc/api/SensorHandle.h"
#include "svcproc/cache/Freshness.h"
#include "svcproc/logging/Log.h"

namespace {

template <typename Map, typename Information>
void AddEntry(Map& map, bool locked, const Information& information, unsigned short SmbiosIndex,
              const char* lockedLine, const wchar_t* insertedFormat, const wchar_t* refusedFormat) {
    if (locked) {
        LogQuick(kLogError, lockedLine);
        return;
    }
    // Unique: an index already present keeps its first entry.
    if (map.try_emplace(SmbiosIndex, information).second) {
        WLog(kLogTrace, insertedFormat, information.Description.c_str(),
             static_cast<unsigned>(SmbiosIndex));
    } else {
        WLog(kLogError, refusedFormat, information.Description.c_str(),
             static_cast<unsigned>(SmbiosIndex));
    }
}

void LogNotFound(const char* operation, unsigned short key) {
    Log(kLogError, "CDataCache::%s - Handle 0x%04x not found", operation,
        static_cast<unsigned>(key));
}

// The entry named by the handle's low 16 bits, or null after the operation's
// not-found line.
template <typename Map>
const typename Map::mapped_type* FindEntry(const Map& map, unsigned long handle,
                                           const char* operation) {
    const unsigned short key = ServiceApi::HandleIndex(handle);
    const typename Map::const_iterator entry = map.find(key);
    if (entry == map.end()) {
        LogNotFound(operation, key);
        return nullptr;
    }
    return &entry->second;
}

template <typename Entry>
bool CopyEntry(const Entry* entry, Entry& out) {
    if (entry == nullptr) {
        return false;
    }
    out = *entry;
    return true;
}

// Hands a finished copy over to the caller's record without allocating: the
// records have no move operations, so member by member. Every member must be
// here.
void SwapInformation(CSensorInformation& a, CSensorInformation& b) noexcept {
    using std::swap;
    swap(a.Accuracy, b.Accuracy);
    swap(a.BaseUnits, b.BaseUnits);
    a.Description.swap(b.Description);
    swap(a.Hysteresis, b.Hysteresis);
    swap(a.IsLinear, b.IsLinear);
    swap(a.LowerThresholdCritical, b.LowerThresholdCritical);
    swap(a.LowerThresholdFatal, b.LowerThresholdFatal);
    swap(a.LowerThresholdNonCritical, b.LowerThresholdNonCritical);
    swap(a.MaxReadable, b.MaxReadable);
    swap(a.MinReadable, b.MinReadable);
    swap(a.NominalReading, b.NominalReading);
    a.OtherSensorTypeDescription.swap(b.OtherSensorTypeDescription);
    a.PossibleStates.swap(b.PossibleStates);
    swap(a.RateUnits, b.RateUnits);
    swap(a.Resolution, b.Resolution);
    swap(a.SensorType, b.SensorType);
    swap(a.UnitModifier, b.UnitModifier);
    swap(a.UpperThresholdCritical, b.UpperThresholdCritical);
    swap(a.UpperThresholdFatal, b.UpperThresholdFatal);
    swap(a.UpperThresholdNonCritical, b.UpperThresholdNonCritical);
}

void SwapInformation(CLedInformation& a, CLedInformation& b) noexcept {
    using std::swap;
    swap(a.Kind, b.Kind);
    a.Description.swap(b.Description);
    swap(a.BitMap, b.BitMap);
}

// True when assigning `from` to `to` allocates nothing: a string assigned
// within its capacity, and a vector assigned from one of its own length,
// reuse the storage they have. That is the case whenever a caller asks again
// into the same record.
bool Fits(const std::wstring& from, const std::wstring& to) {
    return from.size() <= to.capacity();
}

bool AssignsInPlace(const CSensorInformation& from, const CSensorInformation& to) {
    if (!Fits(from.Description, to.Description) ||
        !Fits(from.OtherSensorTypeDescription, to.OtherSensorTypeDescription) ||
        from.PossibleStates.size() != to.PossibleStates.size()) {
        return false;
    }
    for (size_t i = 0; i < from.PossibleStates.size(); ++i) {
        if (!Fits(from.PossibleStates[i], to.PossibleStates[i])) {
            return false;
        }
    }
    return true;
}

bool AssignsInPlace(const CLedInformation& from, const CLedInformation& to) {
    return Fits(from.Description, to.Description);
}

// An allocation that fails while copying (std::bad_alloc, turned into a
// refusal by the exported layer) must leave the caller's record as it was,
// never half overwritten: assigned in place when that cannot allocate,
// otherwise copied first and then swapped in.
template <typename Entry, typename Information>
bool CopyInformation(const Entry* entry, Information& out) {
    if (entry == nullptr) {
        return false;
    }
    if (AssignsInPlace(entry->m_Information, out)) {
        out = entry->m_Information;
        return true;
    }
    Information copy(entry->m_Information);
    SwapInformation(out, copy);
    return true;
}

template <typename Map>
void AppendHandles(const Map& map, HANDLE_KIND kind, std::list<unsigned long>& handles) {
    for (const typename Map::value_type& entry : map) {
        handles.push_back(ServiceApi::MakeHandle(kind, entry.first));
    }
}

}  // namespace

CDataCache::CDataCache() : m_bLocked(false) {
    LogQuick(kLogTrace, "CDataCache Constructed");
}

// The maps go after this line, in reverse order: LED, temperature, fan, voltage.
CDataCache::~CDataCache() {
    LogQuick(kLogTrace, "CDataCache Destroyed");
}

void CDataCache::AddVoltage(const CSensorInformation& information, unsigned short SmbiosIndex) {
    AddEntry(m_VoltageMap, m_bLocked, information, SmbiosIndex,
             "CDataCache::AddVoltage - Map already locked",
             L"CDataCache::AddVoltage - Inserted InternalSensor=%s with SmbiosIndex=%i",
             L"CDataCache::AddVoltage - Insert InternalSensor=%s with SmbiosIndex=%i failed");
}

void CDataCache::AddFan(const CSensorInformation& information, unsigned short SmbiosIndex) {
    AddEntry(m_FanMap, m_bLocked, information, SmbiosIndex,
             "CDataCache::AddFan - Map already locked",
             L"CDataCache::AddFan - Inserted InternalSensor=%swith SmbiosIndex=%i",
             L"CDataCache::AddFan - Insert InternalSensor=%s with SmbiosIndex=%i failed");
}

void CDataCache::AddTemperature(const CSensorInformation& information, unsigned short SmbiosIndex) {
    AddEntry(m_TemperatureMap, m_bLocked, information, SmbiosIndex,
             "CDataCache::AddTemperature - Map already locked",
             L"CDataCache::AddTemperature - Inserted InternalSensor=%s with SmbiosIndex=%i",
             L"CDataCache::AddTemperature - Insert InternalSensor=%s with SmbiosIndex=%i failed");
}

void CDataCache::AddLed(const CLedInformation& information, unsigned short SmbiosIndex) {
    AddEntry(m_LedMap, m_bLocked, information, SmbiosIndex,
             "CDataCache::AddLed - Map already locked",
             L"CDataCache::AddLed - Inserted InternalLed=%s with SmbiosIndex=%i",
             L"CDataCache::AddLed - Insert InternalLed=%s with SmbiosIndex=%i failed");
}

SERVICE_CODE CDataCache::EnumerateSensorHandles(std::list<unsigned long>& handles) const {
    // Collected apart and spliced on at the end, so an allocation failure
    // leaves the caller's list as it was.
    std::list<unsigned long> found;
    AppendHandles(m_VoltageMap, HandleKind_Voltage, found);
    for (const CFanMap::value_type& entry : m_FanMap) {
        if (entry.second.IsExcludedChassisFan()) {
            WLog(kLogTrace, L"CDataCache::EnumerateSensorHandles - Skipping enum of=%s",
                 entry.second.m_Information.Description.c_str());
            continue;
        }
        found.push_back(ServiceApi::MakeHandle(HandleKind_Fan, entry.first));
    }
    AppendHandles(m_TemperatureMap, HandleKind_Temperature, found);
    handles.splice(handles.end(), found);
    return ServiceCode_Success;
}

SERVICE_CODE CDataCache::EnumerateLedHandles(std::list<unsigned long>& handles) const {
    std::list<unsigned long> found;
    AppendHandles(m_LedMap, HandleKind_Led, found);
    handles.splice(handles.end(), found);
    return ServiceCode_Success;
}

const InternalSensor* CDataCache::FindSensor(unsigned long handle) const {
    switch (ServiceApi::HandleKind(handle)) {
        case HandleKind_Voltage:
            return FindEntry(m_VoltageMap, handle, "GetVoltage");
        case HandleKind_Fan:
            return FindEntry(m_FanMap, handle, "GetFan");
        case HandleKind_Temperature:
            return FindEntry(m_TemperatureMap, handle, "GetTemperature");
        default:
            return nullptr;
    }
}

SERVICE_CODE CDataCache::GetSensor(unsigned long handle, InternalSensor& sensor) const {
    return CopyEntry(FindSensor(handle), sensor) ? ServiceCode_Success : ServiceCode_InvalidHandle;
}

SERVICE_CODE CDataCache::GetSensorValues(unsigned long handle, LONG& state, LONG& reading) const {
    const InternalSensor* sensor = FindSensor(handle);
    if (sensor == nullptr) {
        return ServiceCode_InvalidHandle;
    }
    sensor->GetValues(state, reading);
    return ServiceCode_Success;
}

bool CDataCache::GetLedState(unsigned long handle, bool& state) const {
    const InternalLed* led = FindEntry(m_LedMap, handle, "GetLed");
    if (led == nullptr) {
        return false;
    }
    state = led->m_bState.load(std::memory_order_acquire);
    return true;
}

bool CDataCache::GetVoltage(unsigned long handle, InternalSensor& sensor) const {
    return CopyEntry(FindEntry(m_VoltageMap, handle, "GetVoltage"), sensor);
}

bool CDataCache::GetFan(unsigned long handle, InternalSensor& sensor) const {
    return CopyEntry(FindEntry(m_FanMap, handle, "GetFan"), sensor);
}

bool CDataCache::GetTemperature(unsigned long handle, InternalSensor& sensor) const {
    return CopyEntry(FindEntry(m_TemperatureMap, handle, "GetTemperature"), sensor);
}

bool CDataCache::GetLed(unsigned long handle, InternalLed& led) const {
    return CopyEntry(FindEntry(m_LedMap, handle, "GetLed"), led);
}

bool CDataCache::GetVoltageInfo(unsigned long handle, CSensorInformation& information) const {
    return CopyInformation(FindEntry(m_VoltageMap, handle, "GetVoltageInfo"), information);
}

bool CDataCache::GetFanInfo(unsigned long handle, CSensorInformation& information) const {
    return CopyInformation(FindEntry(m_FanMap, handle, "GetFanInfo"), information);
}

bool CDataCache::GetTemperatureInfo(unsigned long handle, CSensorInformation& information) const {
    return CopyInformation(FindEntry(m_TemperatureMap, handle, "GetTemperatureInfo"), information);
}

bool CDataCache::GetLedInfo(unsigned long handle, CLedInformation& information) const {
    return CopyInformation(FindEntry(m_LedMap, handle, "GetLedInfo"), information);
}
