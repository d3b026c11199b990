// The simulated service processor: its sensors, LEDs and alerts, the
// protocol it speaks through its driver, and the controls that tests and
// demonstrations use to steer it.
//
// Pure, portable C++: no platform calls, so that it can stand behind any
// driver. On this host SimDevice.h registers it as a device; elsewhere a relay
// can hand it the I/O-control requests the same way.
//
// Thread-safety: every member may be called from any thread at any time. One
// lock guards the state; it is never held while an exchange sleeps, so
// exchanges on several threads run concurrently and controls stay responsive.
//
// The protocol (SimProtocol.h has the packet):
//   - IoControl accepts only kIoctlRequestResponse with 96-byte input and
//     output buffers: another code fails with kErrorInvalidFunction, other
//     sizes or null buffers with kErrorInvalidParameter.
//   - A request must be well formed (length 2, checksum, byte count 3, an
//     alert-poll flag of 0 or 1, and 1 exactly for the alert poll): otherwise
//     kErrorInvalidParameter, as a driver that checks its input. A request for
//     another port base reaches no service processor: kErrorIoDevice. An
//     unknown command: kErrorNotSupported. None of these counts as an
//     exchange or consumes a fault.
//   - Answers (N = L + 1, L <= 63, checksum right):
//       0xA6 voltages      L = 2 + 2n, 16-bit big-endian tens of millivolts
//       0xA2 fans          L = 2 + 2n, 16-bit big-endian RPM
//       0xA4 temperatures  L = 2 + n, one byte of whole degrees each
//       0xED LEDs          L = 4, the 16-bit big-endian LED word
//       0xA1 alert poll    the oldest pending alert with the alert flag 1:
//                          type = the kind's read code, the 16-bit
//                          big-endian asserted mask, then every reading of
//                          the kind as in its read (L = 4 + 2n, or 4 + n for
//                          temperatures); with none pending, type 0xA1 and no
//                          data (L = 2) with the alert flag 0.
//
// Alerts: a sensor is asserted while its reading is beyond a critical
// threshold and deasserted once back inside by the kind's hysteresis
// (SimSensorRules.h). Each change of a kind's 16-bit mask (sensors 0..15)
// queues one alert carrying the new mask and the kind's readings at that
// moment. At most kMaxPendingAlerts wait; beyond that the oldest is dropped
// (each alert carries the whole mask, so the host loses no final state).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

#include "SimFaultPlan.h"
#include "SimProtocol.h"
#include "SimSensorRules.h"

namespace svcpsim {

struct SensorSetup {
    int32_t reading = 0;  // millivolts, RPM or tenths of a degree
    Thresholds thresholds;
};

struct MachineSetup {
    std::vector<SensorSetup> voltages;
    std::vector<SensorSetup> fans;
    std::vector<SensorSetup> temperatures;
    uint16_t leds = 0;
    uint32_t portBase = kDefaultPortBase;

    // A small point-of-sale machine: six voltages (+12 V, +5 V, +3.3 V,
    // CPU core, +5 V standby, battery), three fans, three temperatures, the
    // power LED on; every reading inside its thresholds.
    static MachineSetup Default();
};

struct SimCounters {
    std::array<uint32_t, 256> exchanges{};  // accepted requests, by command code
    uint32_t rejectedRequests = 0;          // bad request, wrong port base, unknown command
    uint32_t rejectedCalls = 0;             // wrong I/O-control code or buffer sizes
    uint32_t failedExchanges = 0;           // failed by FailExchanges
    uint32_t rawResponses = 0;              // raw responses sent
    uint32_t alertsQueued = 0;
    uint32_t alertsDelivered = 0;
    uint32_t alertsDropped = 0;
};

class CSimServiceProcessor {
public:
    static constexpr size_t kMaxPendingAlerts = 64;
    static constexpr unsigned kMaxDelayMilliseconds = 2000;

    // Throws std::invalid_argument when a kind has more than MaxSensors(kind)
    // sensors. Readings already beyond a threshold queue their alert at once.
    explicit CSimServiceProcessor(const MachineSetup& setup = MachineSetup::Default());
    CSimServiceProcessor(const CSimServiceProcessor&) = delete;
    CSimServiceProcessor& operator=(const CSimServiceProcessor&) = delete;

    // --- The driver's side ------------------------------------------------
    // One I/O-control request as a driver receives it. Input and output may be
    // one buffer (buffered I/O). Returns 0 with *bytesReturned = 96, or a
    // Win32 error code with nothing written. May sleep (DelayAnswers).
    uint32_t IoControl(uint32_t code, const void* input, size_t inputSize, void* output,
                       size_t outputSize, size_t* bytesReturned);
    // One exchange in place: the request in `packet`, the answer written into
    // it. Returns 0 or a Win32 error code (the packet is then unchanged).
    uint32_t Exchange(Packet& packet);

    // --- State --------------------------------------------------------------
    // False for an index outside the kind. Each change re-evaluates the kind
    // and may queue an alert.
    bool SetReading(SensorKind kind, size_t index, int32_t value);
    bool SetThresholds(SensorKind kind, size_t index, const Thresholds& thresholds);
    void SetHysteresis(SensorKind kind, int32_t margin);
    void SetLedState(uint16_t leds);
    // The port base requests must carry.
    void SetPortBase(uint32_t portBase);

    size_t GetSensorCount(SensorKind kind) const;
    std::optional<int32_t> GetReading(SensorKind kind, size_t index) const;
    bool IsAsserted(SensorKind kind, size_t index) const;
    uint16_t GetAlertMask(SensorKind kind) const;
    size_t GetPendingAlertCount() const;
    void ClearPendingAlerts();

    // --- Raw responses and faults (CSimFaultPlan has the rules) -------------
    // Sent verbatim by the next exchange of `command` (of any command when
    // empty), in queue order, instead of the simulator's own answer.
    void QueueRawResponse(const RawResponse& raw, std::optional<uint8_t> command = std::nullopt);
    size_t GetPendingRawResponseCount() const;
    // The next `count` accepted exchanges fail with the Win32 `errorCode`.
    void FailExchanges(unsigned count, uint32_t errorCode);
    // The next `count` answers get a checksum that is off by one.
    void CorruptChecksums(unsigned count);
    // The next `count` answers carry `type` instead of their own (checksum
    // right).
    void AnswerWithType(unsigned count, uint8_t type);
    // The next `count` answers report a byte count moved by `delta` (negative:
    // short, positive: long), clamped to 0..255.
    void AdjustByteCount(unsigned count, int delta);
    // The next `count` accepted exchanges sleep `milliseconds` (at most
    // kMaxDelayMilliseconds) before answering, without holding the lock.
    void DelayAnswers(unsigned count, unsigned milliseconds);
    void ClearFaults();  // plans and raw responses

    SimCounters GetCounters() const;

private:
    struct Sensor {
        int32_t reading = 0;
        Thresholds thresholds;
        bool asserted = false;
    };
    struct KindState {
        std::vector<Sensor> sensors;
        int32_t hysteresis = 0;
        uint16_t mask = 0;
    };
    struct Alert {
        SensorKind kind;
        uint16_t mask;
        std::vector<uint8_t> readings;  // wire encoding
    };

    // REQUIRES: m_Lock held.
    KindState& State(SensorKind kind) { return m_aKinds[KindIndex(kind)]; }
    const KindState& State(SensorKind kind) const { return m_aKinds[KindIndex(kind)]; }
    void Reevaluate(SensorKind kind);
    // `change` applied to sensor `index` of `kind`, then its state judged
    // again; false when there is no such sensor. Takes m_Lock.
    template <typename Change>
    bool ChangeSensor(SensorKind kind, size_t index, Change change);
    std::vector<uint8_t> EncodeReadings(SensorKind kind) const;
    // The simulator's own answer to an accepted command.
    void Answer(uint8_t command, Packet& packet);
    static uint32_t CheckRequest(const Request& request, uint32_t portBase);

    mutable std::mutex m_Lock;
    std::array<KindState, kSensorKinds> m_aKinds;
    uint16_t m_wLeds = 0;
    uint32_t m_dwPortBase = kDefaultPortBase;
    std::deque<Alert> m_qAlerts;
    CSimFaultPlan m_Faults;
    SimCounters m_Counters;
};

}  // namespace svcpsim
