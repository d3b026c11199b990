// A simulated machine at run time: its SMBIOS table and its service
// processor model, whose readings and LEDs follow the plan's behaviours as
// the scenario's time advances. Alerts come from the model's own threshold
// and hysteresis logic as the readings change.
//
// Time is whatever the caller says: a CSimulationClock advances it in real
// time; tests advance it by hand.
//
// Thread-safety: AdvanceTo may be called from any thread, calls are
// serialised; the service processor is thread-safe (SimServiceProcessor.h)
// and may be used by drivers concurrently with AdvanceTo. The plan and the
// table never change after construction.
#pragma once

#include <memory>
#include <mutex>
#include <random>
#include <vector>

#include "MachinePlan.h"
#include "SimServiceProcessor.h"

namespace svcpsim {

// A sensor whose alert state changed in one AdvanceTo.
struct SensorStateChange {
    const SensorPlan* sensor;  // into the machine's plan
    bool critical;
    int32_t reading;  // model units
};

class CSimulatedMachine {
public:
    // The model starts with every sensor at its value for time 0.
    explicit CSimulatedMachine(MachinePlan plan);
    CSimulatedMachine(const CSimulatedMachine&) = delete;
    CSimulatedMachine& operator=(const CSimulatedMachine&) = delete;

    const MachinePlan& Plan() const { return m_Plan; }
    const std::vector<uint8_t>& Table() const { return m_Plan.table; }
    const std::shared_ptr<CSimServiceProcessor>& ServiceProcessor() const {
        return m_pServiceProcessor;
    }

    // Sets every reading (clamped at 0) and the LED word for `seconds` since
    // the start (the scenario starts again every `repeat` seconds when the
    // plan has one); returns the sensors whose alert state changed, in plan
    // order.
    std::vector<SensorStateChange> AdvanceTo(double seconds);

    // The LED word the last AdvanceTo set.
    uint16_t GetLedWord() const;

private:
    const MachinePlan m_Plan;
    const std::shared_ptr<CSimServiceProcessor> m_pServiceProcessor;
    // Per LED driven by sensors: the plan indices of those sensors.
    std::vector<std::vector<size_t>> m_vLedSensors;
    mutable std::mutex m_Lock;  // guards what follows
    std::mt19937 m_Random;
    std::vector<bool> m_vCritical;  // per plan sensor, as last seen
    uint16_t m_wLeds = 0;
};

}  // namespace svcpsim
