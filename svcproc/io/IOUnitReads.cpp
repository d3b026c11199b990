// Sensor and LED reads: answered from the cache, refreshing a kind with one
// exchange when its readings are 500 ms old or older.
#include "svcproc/api/SensorHandle.h"
#include "svcproc/cache/DataCache.h"
#include "svcproc/io/IOUnitKinds.h"
#include "svcproc/io/SvcpProtocol.h"
#include "svcproc/logging/Log.h"

namespace {

// The reads' own acceptance: a byte count of 3 to 64 and the response check.
bool IsReadResponseAcceptable(const SvcpPacket& packet) {
    return packet.m_byResponseCount >= 3 && packet.m_byResponseCount <= kSvcpMaxResponseCount &&
           IsSvcpResponseValid(packet);
}

// The log formats come from a table; their arguments are always int.
void LogFormat(_LOG_LEVEL level, const char* format, int first, int second) {
    Log(level, format, first, second);
}

}  // namespace

SERVICE_CODE CIOUnit::ReadSensor(unsigned long handle, CSensorReading& reading) {
    Log(kLogCall, "CIOUnit::ReadSensor(0x%08x,0x%08x)", static_cast<unsigned>(handle),
        LogAddress(&reading));
    switch (ServiceApi::HandleKind(handle)) {
        case HandleKind_Voltage:
            RefreshIfStale(SensorKind_Voltage);
            break;
        case HandleKind_Fan:
            RefreshIfStale(SensorKind_Fan);
            break;
        case HandleKind_Temperature:
            RefreshIfStale(SensorKind_Temperature);
            break;
        default:
            return ServiceCode_InvalidHandle;
    }
    LONG state = 0;
    LONG value = 0;
    const SERVICE_CODE result = m_pCache->GetSensorValues(handle, state, value);
    if (result != ServiceCode_Success) {
        return result;
    }
    reading.CurrentReading = static_cast<uint32_t>(value);
    reading.CurrentState = static_cast<uint32_t>(state);
    return ServiceCode_Success;
}

SERVICE_CODE CIOUnit::ReadLed(unsigned long handle, CLedReading& reading) {
    Log(kLogCall, "CIOUnit::ReadLed(0x%08x,0x%08x)", static_cast<unsigned>(handle),
        LogAddress(&reading));
    if (ServiceApi::HandleKind(handle) != HandleKind_Led) {
        return ServiceCode_InvalidHandle;
    }
    RefreshLedsIfStale();
    bool state = false;
    if (!m_pCache->GetLedState(handle, state)) {
        return ServiceCode_InvalidHandle;
    }
    reading.State = state ? 1 : 0;
    return ServiceCode_Success;
}

bool CIOUnit::IsStale(SENSOR_KIND kind) const {
    switch (kind) {
        case SensorKind_Voltage:
            return m_pCache->IsVoltageDataStale();
        case SensorKind_Fan:
            return m_pCache->IsFanDataStale();
        case SensorKind_Temperature:
            break;
    }
    return m_pCache->IsTemperatureDataStale();
}

void CIOUnit::RefreshIfStale(SENSOR_KIND kind) {
    if (IsStale(kind)) {
        RefreshStale(kind);
    }
}

void CIOUnit::RefreshStale(SENSOR_KIND kind) {
    // Callers that found the kind stale together queue here; the first one
    // refreshes it and the others find it fresh.
    std::lock_guard<std::mutex> refreshing(m_aRefreshLocks[kind]);
    if (IsStale(kind)) {
        ReadSensors(kind);
    }
}

void CIOUnit::RefreshLedsIfStale() {
    if (m_pCache->IsLedDataStale()) {
        RefreshStaleLeds();
    }
}

void CIOUnit::RefreshStaleLeds() {
    std::lock_guard<std::mutex> refreshing(m_aRefreshLocks[3]);
    if (m_pCache->IsLedDataStale()) {
        ReadLeds();
    }
}

void CIOUnit::ReadVoltages() {
    ReadSensors(SensorKind_Voltage);
}
void CIOUnit::ReadFans() {
    ReadSensors(SensorKind_Fan);
}
void CIOUnit::ReadTemperatures() {
    ReadSensors(SensorKind_Temperature);
}

void CIOUnit::ReadSensors(SENSOR_KIND kind) {
    const KindRules& rules = RulesOf(kind);
    const SVCP_EXCHANGE_KIND exchange = ExchangeOf(kind);
    LogQuick(kLogCall, rules.readLine);
    SvcpPacket packet;
    m_Counters.Tried(exchange);
    if (!Exchange(rules.command, false, packet) || !IsReadResponseAcceptable(packet)) {
        m_Counters.Failed(exchange);
        return;
    }
    bool accepted = false;
    switch (kind) {
        case SensorKind_Voltage:
            accepted = UpdateVoltages(packet);
            break;
        case SensorKind_Fan:
            accepted = UpdateFans(packet);
            break;
        case SensorKind_Temperature:
            accepted = UpdateTemperatures(packet);
            break;
    }
    if (accepted) {
        m_Counters.Accepted(exchange, GetTickCount());
    } else {
        m_Counters.Failed(exchange);
    }
}

bool CIOUnit::UpdateVoltages(const SvcpPacket& packet) {
    return UpdateSensors(SensorKind_Voltage, packet);
}
bool CIOUnit::UpdateFans(const SvcpPacket& packet) {
    return UpdateSensors(SensorKind_Fan, packet);
}
bool CIOUnit::UpdateTemperatures(const SvcpPacket& packet) {
    return UpdateSensors(SensorKind_Temperature, packet);
}

bool CIOUnit::UpdateSensors(SENSOR_KIND kind, const SvcpPacket& packet) {
    const KindRules& rules = RulesOf(kind);
    if (packet.m_byResponseType != rules.command) {
        Log(kLogError, rules.wrongTypeLine, static_cast<unsigned>(packet.m_byResponseType));
        return false;
    }
    CSensorMap& map = MapOf(kind);
    const int length = packet.m_byResponseLength;  // 2..63 after the check
    const int count = packet.m_byResponseCount;    // 3..64 after the check
    if (rules.readCountLine != nullptr && (length - 2) / 2 != static_cast<int>(map.size())) {
        LogFormat(kLogTrace, rules.readCountLine, (length - 2) / 2, static_cast<int>(map.size()));
    }
    // The number of readings comes from the byte count; every one of them lies
    // inside the packet's response area.
    const int readings = rules.wide ? (count - 2) / 2 : count - 3;
    for (int i = 0; i < readings; ++i) {
        uint16_t raw = 0;
        if (rules.wide) {
            SvcpReadBE16(packet, kSvcpResponseDataOffset + 2 * static_cast<size_t>(i), &raw);
        } else {
            uint8_t byte = 0;
            SvcpReadByte(packet, kSvcpResponseDataOffset + static_cast<size_t>(i), &byte);
            raw = byte;
        }
        // In full: a voltage of 655.35 V keeps every digit.
        map.UpdateReading(static_cast<unsigned short>(i), static_cast<LONG>(raw) * rules.scale);
    }
    map.m_dwLastUpdate.store(GetTickCount());
    return true;
}

void CIOUnit::ReadLeds() {
    LogQuick(kLogCall, "CIOUnit::ReadLeds");
    SvcpPacket packet;
    m_Counters.Tried(ExchangeKind_Leds);
    if (!Exchange(kSvcpReadLeds, false, packet) || !IsReadResponseAcceptable(packet) ||
        !UpdateLeds(packet)) {
        m_Counters.Failed(ExchangeKind_Leds);
        return;
    }
    m_Counters.Accepted(ExchangeKind_Leds, GetTickCount());
}

bool CIOUnit::UpdateLeds(const SvcpPacket& packet) {
    if (packet.m_byResponseType != kSvcpReadLeds) {
        Log(kLogError, "CIOUnit::UpdateLeds - Type 0x%02x not LED",
            static_cast<unsigned>(packet.m_byResponseType));
        return false;
    }
    if (packet.m_byResponseLength != 4 && packet.m_byResponseCount != 5) {
        Log(kLogTrace,
            "CIOUnit::UpdateLeds - Count/Length 0x%02x/0x%02x not correct for read LED state",
            static_cast<unsigned>(packet.m_byResponseLength),
            static_cast<unsigned>(packet.m_byResponseCount));
    }
    uint16_t states = 0;
    SvcpReadBE16(packet, kSvcpResponseDataOffset, &states);
    m_pCache->m_LedMap.UpdateStates(states);
    m_pCache->m_LedMap.m_dwLastUpdate.store(GetTickCount());
    return true;
}
