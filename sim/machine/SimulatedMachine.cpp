#include "SimulatedMachine.h"

#include <algorithm>
#include <cmath>

#include "Behaviour.h"

namespace svcpsim {
namespace {

// The model's setup: each kind's sensors up to its highest index; indices
// the plan leaves out read 0 and never alert.
MachineSetup SetupOf(const MachinePlan& plan) {
    MachineSetup setup;
    std::vector<SensorSetup>* lists[kSensorKinds] = {&setup.voltages, &setup.fans,
                                                     &setup.temperatures};
    for (const SensorPlan& sensor : plan.sensors) {
        std::vector<SensorSetup>& list = *lists[KindIndex(sensor.kind)];
        if (list.size() <= sensor.index) {
            list.resize(sensor.index + 1);
        }
        list[sensor.index].thresholds = sensor.critical;
        list[sensor.index].reading =
            static_cast<int32_t>(std::lround(std::max(0.0, sensor.behaviour.base)));
    }
    return setup;
}

}  // namespace

CSimulatedMachine::CSimulatedMachine(MachinePlan plan)
    : m_Plan(std::move(plan)),
      m_pServiceProcessor(std::make_shared<CSimServiceProcessor>(SetupOf(m_Plan))),
      m_Random(m_Plan.seed),
      m_vCritical(m_Plan.sensors.size(), false) {
    for (SensorKind kind : kAllSensorKinds) {
        if (const auto& margin = m_Plan.hysteresis[KindIndex(kind)]) {
            m_pServiceProcessor->SetHysteresis(kind, *margin);
        }
    }
    for (const LedPlan& led : m_Plan.leds) {
        std::vector<size_t> sensors;
        for (const std::string& name : led.drive.sensors) {
            for (size_t i = 0; i < m_Plan.sensors.size(); ++i) {
                if (name == "*" || name == m_Plan.sensors[i].description) {
                    sensors.push_back(i);
                }
            }
        }
        m_vLedSensors.push_back(std::move(sensors));
    }
    AdvanceTo(0);
}

std::vector<SensorStateChange> CSimulatedMachine::AdvanceTo(double seconds) {
    std::lock_guard<std::mutex> guard(m_Lock);
    const double scenario =
        m_Plan.repeat > 0 ? std::fmod(std::max(0.0, seconds), m_Plan.repeat) : seconds;
    std::vector<int32_t> readings;
    for (const SensorPlan& sensor : m_Plan.sensors) {
        double value = ScriptedValue(sensor.behaviour, scenario);
        if (sensor.behaviour.noise > 0) {
            std::uniform_real_distribution<double> noise(-sensor.behaviour.noise,
                                                         sensor.behaviour.noise);
            value += noise(m_Random);
        }
        readings.push_back(static_cast<int32_t>(std::lround(std::max(0.0, value))));
        m_pServiceProcessor->SetReading(sensor.kind, sensor.index, readings.back());
    }
    std::vector<SensorStateChange> changes;
    for (size_t i = 0; i < m_Plan.sensors.size(); ++i) {
        const SensorPlan& sensor = m_Plan.sensors[i];
        const bool critical = m_pServiceProcessor->IsAsserted(sensor.kind, sensor.index);
        if (critical != m_vCritical[i]) {
            m_vCritical[i] = critical;
            changes.push_back(SensorStateChange{&sensor, critical, readings[i]});
        }
    }
    uint16_t leds = 0;
    for (size_t i = 0; i < m_Plan.leds.size(); ++i) {
        const LedPlan& led = m_Plan.leds[i];
        bool on = false;
        switch (led.drive.mode) {
            case LedDrive::Mode::Off:
                break;
            case LedDrive::Mode::On:
                on = true;
                break;
            case LedDrive::Mode::Blink:
                on = std::fmod(std::max(0.0, seconds), led.drive.period) < led.drive.period / 2;
                break;
            case LedDrive::Mode::WhileCritical:
                for (size_t sensor : m_vLedSensors[i]) {
                    on = on || m_vCritical[sensor];
                }
                break;
        }
        if (on) {
            leds = static_cast<uint16_t>(leds | led.bitMap);
        }
    }
    m_wLeds = leds;
    m_pServiceProcessor->SetLedState(leds);
    return changes;
}

uint16_t CSimulatedMachine::GetLedWord() const {
    std::lock_guard<std::mutex> guard(m_Lock);
    return m_wLeds;
}

}  // namespace svcpsim
