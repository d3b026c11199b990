#include "SimServiceProcessor.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace svcpsim {

MachineSetup MachineSetup::Default() {
    MachineSetup setup;
    setup.voltages = {
        {12000, {10800, 13200}},       // +12 V
        {5000, {4500, 5500}},          // +5 V
        {3300, {2970, 3630}},          // +3.3 V
        {1200, {1000, 1400}},          // CPU core
        {5000, {4500, 5500}},          // +5 V standby
        {3000, {2600, std::nullopt}},  // battery
    };
    setup.fans = {
        {3200, {800, std::nullopt}},  // CPU
        {2400, {600, std::nullopt}},  // system
        {1800, {500, std::nullopt}},  // chassis
    };
    setup.temperatures = {
        {480, {std::nullopt, 950}},  // CPU, 48.0 degrees
        {360, {std::nullopt, 650}},  // system
        {250, {0, 450}},             // ambient
    };
    setup.leds = 0x0001;  // power
    return setup;
}

CSimServiceProcessor::CSimServiceProcessor(const MachineSetup& setup)
    : m_wLeds(setup.leds), m_dwPortBase(setup.portBase) {
    const std::vector<SensorSetup>* lists[kSensorKinds] = {&setup.voltages, &setup.fans,
                                                           &setup.temperatures};
    std::lock_guard<std::mutex> guard(m_Lock);
    for (SensorKind kind : kAllSensorKinds) {
        const std::vector<SensorSetup>& list = *lists[KindIndex(kind)];
        if (list.size() > MaxSensors(kind)) {
            throw std::invalid_argument("more sensors of a kind than one message can carry");
        }
        KindState& state = State(kind);
        state.hysteresis = DefaultHysteresis(kind);
        for (const SensorSetup& sensor : list) {
            state.sensors.push_back(Sensor{sensor.reading, sensor.thresholds, false});
        }
        Reevaluate(kind);
    }
}

// --- Sensors and alerts -------------------------------------------------------

void CSimServiceProcessor::Reevaluate(SensorKind kind) {
    KindState& state = State(kind);
    uint16_t mask = 0;
    for (size_t i = 0; i < state.sensors.size(); ++i) {
        Sensor& sensor = state.sensors[i];
        sensor.asserted =
            NextAssertion(sensor.asserted, sensor.reading, sensor.thresholds, state.hysteresis);
        if (sensor.asserted && i < kMaskedSensors) {
            mask = static_cast<uint16_t>(mask | (1u << i));
        }
    }
    if (mask == state.mask) {
        return;
    }
    state.mask = mask;
    if (m_qAlerts.size() == kMaxPendingAlerts) {
        m_qAlerts.pop_front();
        ++m_Counters.alertsDropped;
    }
    m_qAlerts.push_back(Alert{kind, mask, EncodeReadings(kind)});
    ++m_Counters.alertsQueued;
}

std::vector<uint8_t> CSimServiceProcessor::EncodeReadings(SensorKind kind) const {
    std::vector<uint8_t> bytes;
    for (const Sensor& sensor : State(kind).sensors) {
        const uint16_t raw = ToWire(kind, sensor.reading);
        if (WireWidth(kind) == 2) {
            AppendBE16(bytes, raw);
        } else {
            bytes.push_back(static_cast<uint8_t>(raw));
        }
    }
    return bytes;
}

template <typename Change>
bool CSimServiceProcessor::ChangeSensor(SensorKind kind, size_t index, Change change) {
    std::lock_guard<std::mutex> guard(m_Lock);
    KindState& state = State(kind);
    if (index >= state.sensors.size()) {
        return false;
    }
    change(state.sensors[index]);
    Reevaluate(kind);
    return true;
}

bool CSimServiceProcessor::SetReading(SensorKind kind, size_t index, int32_t value) {
    return ChangeSensor(kind, index, [value](Sensor& sensor) { sensor.reading = value; });
}

bool CSimServiceProcessor::SetThresholds(SensorKind kind, size_t index,
                                         const Thresholds& thresholds) {
    return ChangeSensor(kind, index,
                        [&thresholds](Sensor& sensor) { sensor.thresholds = thresholds; });
}

void CSimServiceProcessor::SetHysteresis(SensorKind kind, int32_t margin) {
    std::lock_guard<std::mutex> guard(m_Lock);
    State(kind).hysteresis = margin;
    Reevaluate(kind);
}

void CSimServiceProcessor::SetLedState(uint16_t leds) {
    std::lock_guard<std::mutex> guard(m_Lock);
    m_wLeds = leds;
}

void CSimServiceProcessor::SetPortBase(uint32_t portBase) {
    std::lock_guard<std::mutex> guard(m_Lock);
    m_dwPortBase = portBase;
}

size_t CSimServiceProcessor::GetSensorCount(SensorKind kind) const {
    std::lock_guard<std::mutex> guard(m_Lock);
    return State(kind).sensors.size();
}

std::optional<int32_t> CSimServiceProcessor::GetReading(SensorKind kind, size_t index) const {
    std::lock_guard<std::mutex> guard(m_Lock);
    const KindState& state = State(kind);
    if (index >= state.sensors.size()) {
        return std::nullopt;
    }
    return state.sensors[index].reading;
}

bool CSimServiceProcessor::IsAsserted(SensorKind kind, size_t index) const {
    std::lock_guard<std::mutex> guard(m_Lock);
    const KindState& state = State(kind);
    return index < state.sensors.size() && state.sensors[index].asserted;
}

uint16_t CSimServiceProcessor::GetAlertMask(SensorKind kind) const {
    std::lock_guard<std::mutex> guard(m_Lock);
    return State(kind).mask;
}

size_t CSimServiceProcessor::GetPendingAlertCount() const {
    std::lock_guard<std::mutex> guard(m_Lock);
    return m_qAlerts.size();
}

void CSimServiceProcessor::ClearPendingAlerts() {
    std::lock_guard<std::mutex> guard(m_Lock);
    m_qAlerts.clear();
}

// --- Raw responses, faults, counters ------------------------------------------

void CSimServiceProcessor::QueueRawResponse(const RawResponse& raw,
                                            std::optional<uint8_t> command) {
    std::lock_guard<std::mutex> guard(m_Lock);
    m_Faults.QueueRawResponse(raw, command);
}

size_t CSimServiceProcessor::GetPendingRawResponseCount() const {
    std::lock_guard<std::mutex> guard(m_Lock);
    return m_Faults.PendingRawResponses();
}

void CSimServiceProcessor::FailExchanges(unsigned count, uint32_t errorCode) {
    std::lock_guard<std::mutex> guard(m_Lock);
    m_Faults.FailExchanges(count, errorCode);
}

void CSimServiceProcessor::CorruptChecksums(unsigned count) {
    std::lock_guard<std::mutex> guard(m_Lock);
    m_Faults.CorruptChecksums(count);
}

void CSimServiceProcessor::AnswerWithType(unsigned count, uint8_t type) {
    std::lock_guard<std::mutex> guard(m_Lock);
    m_Faults.AnswerWithType(count, type);
}

void CSimServiceProcessor::AdjustByteCount(unsigned count, int delta) {
    std::lock_guard<std::mutex> guard(m_Lock);
    m_Faults.AdjustByteCount(count, delta);
}

void CSimServiceProcessor::DelayAnswers(unsigned count, unsigned milliseconds) {
    std::lock_guard<std::mutex> guard(m_Lock);
    m_Faults.DelayAnswers(count, std::min(milliseconds, kMaxDelayMilliseconds));
}

void CSimServiceProcessor::ClearFaults() {
    std::lock_guard<std::mutex> guard(m_Lock);
    m_Faults.Clear();
}

SimCounters CSimServiceProcessor::GetCounters() const {
    std::lock_guard<std::mutex> guard(m_Lock);
    return m_Counters;
}

// --- The protocol -------------------------------------------------------------

uint32_t CSimServiceProcessor::IoControl(uint32_t code, const void* input, size_t inputSize,
                                         void* output, size_t outputSize, size_t* bytesReturned) {
    if (code != kIoctlRequestResponse || input == nullptr || output == nullptr ||
        inputSize != kPacketSize || outputSize != kPacketSize || bytesReturned == nullptr) {
        std::lock_guard<std::mutex> guard(m_Lock);
        ++m_Counters.rejectedCalls;
        return code != kIoctlRequestResponse ? kErrorInvalidFunction : kErrorInvalidParameter;
    }
    Packet packet;
    std::memcpy(packet.data(), input, kPacketSize);
    const uint32_t result = Exchange(packet);
    if (result == 0) {
        std::memcpy(output, packet.data(), kPacketSize);
        *bytesReturned = kPacketSize;
    }
    return result;
}

uint32_t CSimServiceProcessor::CheckRequest(const Request& request, uint32_t portBase) {
    switch (request.command) {
        case kCommandReadVoltages:
        case kCommandReadFans:
        case kCommandReadTemperatures:
        case kCommandReadLeds:
        case kCommandPollAlerts:
            break;
        default:
            return kErrorNotSupported;
    }
    if (request.alertPoll != (request.command == kCommandPollAlerts)) {
        return kErrorInvalidParameter;
    }
    if (request.portBase != portBase) {
        return kErrorIoDevice;
    }
    return 0;
}

uint32_t CSimServiceProcessor::Exchange(Packet& packet) {
    Request request;
    ExchangeFaults faults;
    {
        std::lock_guard<std::mutex> guard(m_Lock);
        uint32_t refusal = kErrorInvalidParameter;
        if (DecodeRequest(packet, &request) == RequestError::None) {
            refusal = CheckRequest(request, m_dwPortBase);
        }
        if (refusal != 0) {
            ++m_Counters.rejectedRequests;
            return refusal;
        }
        ++m_Counters.exchanges[request.command];
        faults = m_Faults.TakeForExchange(request.command);
        if (faults.failWith) {
            ++m_Counters.failedExchanges;
        }
    }
    if (faults.delayMilliseconds != 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(faults.delayMilliseconds));
    }
    if (faults.failWith) {
        return *faults.failWith;
    }

    std::lock_guard<std::mutex> guard(m_Lock);
    if (faults.raw) {
        WriteRawResponse(packet, *faults.raw);
        ++m_Counters.rawResponses;
        return 0;
    }
    Answer(request.command, packet);
    const size_t length = packet[kOffsetResponse];
    if (faults.type) {
        packet[kOffsetResponseType] = *faults.type;
        packet[kOffsetResponse + length] = ChecksumOf(&packet[kOffsetResponseType], length - 1);
    }
    if (faults.corruptChecksum) {
        ++packet[kOffsetResponse + length];
    }
    if (faults.byteCountDelta != 0) {
        const int count = packet[kOffsetResponseCount] + faults.byteCountDelta;
        packet[kOffsetResponseCount] = static_cast<uint8_t>(std::clamp(count, 0, 255));
    }
    return 0;
}

void CSimServiceProcessor::Answer(uint8_t command, Packet& packet) {
    std::vector<uint8_t> data;
    switch (command) {
        case kCommandReadVoltages:
            EncodeResponse(packet, command, EncodeReadings(SensorKind::Voltage), false);
            return;
        case kCommandReadFans:
            EncodeResponse(packet, command, EncodeReadings(SensorKind::Fan), false);
            return;
        case kCommandReadTemperatures:
            EncodeResponse(packet, command, EncodeReadings(SensorKind::Temperature), false);
            return;
        case kCommandReadLeds:
            AppendBE16(data, m_wLeds);
            EncodeResponse(packet, command, data, false);
            return;
        default:  // the alert poll
            break;
    }
    if (m_qAlerts.empty()) {
        EncodeResponse(packet, kCommandPollAlerts, data, false);
        return;
    }
    const Alert& alert = m_qAlerts.front();
    AppendBE16(data, alert.mask);
    data.insert(data.end(), alert.readings.begin(), alert.readings.end());
    EncodeResponse(packet, WireType(alert.kind), data, true);
    m_qAlerts.pop_front();
    ++m_Counters.alertsDelivered;
}

}  // namespace svcpsim
