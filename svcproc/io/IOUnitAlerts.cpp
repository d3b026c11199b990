// Alerts: the poll, the comparison of each kind's mask with the last one,
// the cache writes and the listener calls.
#include "svcproc/api/SensorHandle.h"
#include "svcproc/cache/DataCache.h"
#include "svcproc/io/IOUnitKinds.h"
#include "svcproc/io/SvcpProtocol.h"
#include "svcproc/logging/Log.h"

namespace {

enum STATE_CHANGE {
    StateChange_Unchanged = 0,
    StateChange_Asserted = 1,
    StateChange_Deasserted = 0xFFFF
};

constexpr size_t kAlertMaskOffset = 19;
constexpr size_t kAlertReadingsOffset = 21;
constexpr int kMaskBits = 16;

// A sensor's bit in the 16-bit masks; sensors 16 and up have none and never
// change state.
STATE_CHANGE Classify(int index, uint16_t newMask, uint16_t oldMask) {
    if (index >= kMaskBits) {
        return StateChange_Unchanged;
    }
    const uint16_t bit = static_cast<uint16_t>(1u << index);
    if ((newMask & bit) == (oldMask & bit)) {
        return StateChange_Unchanged;
    }
    return (newMask & bit) != 0 ? StateChange_Asserted : StateChange_Deasserted;
}

// The per-sensor trace lines, whole: composing prefix and name at run time
// would allocate on the polling thread for every sensor of every alert, even
// with the lines filtered out. Rows by kind, columns by change.
const char* const kTraceLines[3][3] = {
    {"ProcessVoltageAlerts - StateChange_Unchanged", "ProcessVoltageAlerts - StateChange_Asserted",
     "ProcessVoltageAlerts - StateChange_Deasserted"},
    {"ProcessFanAlerts - StateChange_Unchanged", "ProcessFanAlerts - StateChange_Asserted",
     "ProcessFanAlerts - StateChange_Deasserted"},
    {"ProcessTemperatureAlerts - StateChange_Unchanged",
     "ProcessTemperatureAlerts - StateChange_Asserted",
     "ProcessTemperatureAlerts - StateChange_Deasserted"},
};

void LogFormat(_LOG_LEVEL level, const char* format, int first, int second) {
    Log(level, format, first, second);
}

}  // namespace

void CIOUnit::PollAlerts() {
    SvcpPacket packet;
    m_Counters.Tried(ExchangeKind_AlertPoll);
    if (!Exchange(kSvcpPollAlerts, true, packet)) {
        m_Counters.Failed(ExchangeKind_AlertPoll);
        return;
    }
    // "No alert pending" is an answer too.
    if (packet.m_dwAlertFlag == 0) {
        m_Counters.Accepted(ExchangeKind_AlertPoll, GetTickCount());
        return;
    }
    if (packet.m_byResponseCount < 3 || !IsSvcpResponseValid(packet)) {
        LogQuick(kLogError, "CIOUnit::PollAlerts - Invalid Response Packet\n");
        m_Counters.Failed(ExchangeKind_AlertPoll);
        return;
    }
    if (ProcessAlerts(packet)) {
        m_Counters.Accepted(ExchangeKind_AlertPoll, GetTickCount());
    } else {
        m_Counters.Failed(ExchangeKind_AlertPoll);
    }
}

bool CIOUnit::ProcessAlerts(const SvcpPacket& packet) {
    switch (packet.m_byResponseType) {
        case kSvcpReadFans:
            return ProcessFanAlerts(packet);
        case kSvcpReadTemperatures:
            return ProcessTemperatureAlerts(packet);
        case kSvcpReadVoltages:
            return ProcessVoltageAlerts(packet);
        default:
            Log(kLogError, "CIOUnit::ProcessAlerts - Type 0x%02x not Valid",
                static_cast<unsigned>(packet.m_byResponseType));
            return false;
    }
}

bool CIOUnit::ProcessVoltageAlerts(const SvcpPacket& packet) {
    return ProcessSensorAlerts(SensorKind_Voltage, packet);
}
bool CIOUnit::ProcessFanAlerts(const SvcpPacket& packet) {
    return ProcessSensorAlerts(SensorKind_Fan, packet);
}
bool CIOUnit::ProcessTemperatureAlerts(const SvcpPacket& packet) {
    return ProcessSensorAlerts(SensorKind_Temperature, packet);
}

bool CIOUnit::ProcessSensorAlerts(SENSOR_KIND kind, const SvcpPacket& packet) {
    const KindRules& rules = RulesOf(kind);
    CSensorMap& map = MapOf(kind);
    const int length = packet.m_byResponseLength;
    const int count = packet.m_byResponseCount;  // 5..64 after the check
    // A message shorter than its type, mask and checksum names no sensor
    // count at all; -1 never matches what is collected.
    const int expected = length < 4 ? -1 : (rules.wide ? (length - 4) / 2 : length - 4);
    if (expected != static_cast<int>(map.size())) {
        LogFormat(kLogTrace, rules.alertCountLine, expected, static_cast<int>(map.size()));
    }
    const int collected = count <= 5 ? 0 : (rules.wide ? (count - 4) / 2 : count - 5);
    if (collected != expected) {
        LogFormat(kLogError, rules.collectedLine, collected, expected);
        return false;
    }

    uint16_t newMask = 0;
    SvcpReadBE16(packet, kAlertMaskOffset, &newMask);
    const uint16_t oldMask = map.m_wLastAlertBits.load();
    map.m_wLastAlertBits.store(newMask);

    const char* const* traceLines = kTraceLines[kind];
    auto fire = [&](unsigned short index, unsigned long state, unsigned long reading) {
        switch (kind) {
            case SensorKind_Voltage:
                FireVoltageStateChange(index, state, reading);
                break;
            case SensorKind_Fan:
                FireFanStateChange(index, state, reading);
                break;
            case SensorKind_Temperature:
                FireTemperatureStateChange(index, state, reading);
                break;
        }
    };
    for (int i = 0; i < expected; ++i) {
        uint16_t raw = 0;
        if (rules.wide) {
            SvcpReadBE16(packet, kAlertReadingsOffset + 2 * static_cast<size_t>(i), &raw);
        } else {
            uint8_t byte = 0;
            SvcpReadByte(packet, kAlertReadingsOffset + static_cast<size_t>(i), &byte);
            raw = byte;
        }
        const unsigned short index = static_cast<unsigned short>(i);
        // The cache keeps the units of the reads; listeners get the raw value.
        const LONG cached = static_cast<LONG>(raw) * rules.scale;
        switch (Classify(i, newMask, oldMask)) {
            case StateChange_Unchanged:
                LogQuick(kLogCall, traceLines[0]);
                map.UpdateReading(index, cached);
                break;
            case StateChange_Asserted:
                LogQuick(kLogCall, traceLines[1]);
                map.UpdateState(index, 1, cached);
                fire(index, 1, raw);
                break;
            case StateChange_Deasserted:
                LogQuick(kLogCall, traceLines[2]);
                map.UpdateState(index, 0, cached);
                fire(index, 0, raw);
                break;
        }
    }
    return true;
}

void CIOUnit::FireVoltageStateChange(unsigned short SmbiosIndex, unsigned long state,
                                     unsigned long reading) {
    m_Listeners.Deliver(ServiceApi::MakeHandle(HandleKind_Voltage, SmbiosIndex), state, reading,
                        RulesOf(SensorKind_Voltage).invalidListenerLine);
}

void CIOUnit::FireFanStateChange(unsigned short SmbiosIndex, unsigned long state,
                                 unsigned long reading) {
    m_Listeners.Deliver(ServiceApi::MakeHandle(HandleKind_Fan, SmbiosIndex), state, reading,
                        RulesOf(SensorKind_Fan).invalidListenerLine);
}

void CIOUnit::FireTemperatureStateChange(unsigned short SmbiosIndex, unsigned long state,
                                         unsigned long reading) {
    m_Listeners.Deliver(ServiceApi::MakeHandle(HandleKind_Temperature, SmbiosIndex), state, reading,
                        RulesOf(SensorKind_Temperature).invalidListenerLine);
}
