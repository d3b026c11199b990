#include "simulation/Simulation.h"

#include "DefaultMachine.h"
#include "MachineParser.h"
#include "SimDevice.h"
#include "SimulatedMachine.h"
#include "SimulationClock.h"
#include "socket_devices.h"
#include "wmi_provider.h"

// Destroyed in reverse: the clock stops, the device goes (waiting for the
// driver's calls in progress), then the machine.
struct SimulatedMachineRun::State {
    std::unique_ptr<svcpsim::CSimulatedMachine> machine;
    std::unique_ptr<svcpsim::CSimDevice> device;
    std::unique_ptr<svcpsim::CSimulationClock> clock;
};

SimulatedMachineRun::SimulatedMachineRun() = default;
SimulatedMachineRun::~SimulatedMachineRun() = default;

bool SimulatedMachineRun::Start(const std::string& file, std::string& error) {
    if (m_pState) {
        error = "a simulated machine is already running";
        return false;
    }
    svcpsim::MachineDescription description;
    if (!svcpsim::LoadMachine(file, &description, &error)) {
        return false;
    }
    auto state = std::make_unique<State>();
    state->machine =
        std::make_unique<svcpsim::CSimulatedMachine>(svcpsim::PlanMachine(description));
    // This process's machine is the only one the library may find: the
    // devices and table of a simulator serving the device directory stay out.
    svcp::SetDeviceDirectory("");
    const std::vector<uint8_t>& table = state->machine->Table();
    SvcpWmiSetSmbiosTable(table.data(), table.size());
    state->device = std::make_unique<svcpsim::CSimDevice>(state->machine->ServiceProcessor());
    if (!state->device->IsRegistered()) {
        error = "the simulated service processor's device path is taken";
        return false;
    }
    svcpsim::CSimulatedMachine* machine = state->machine.get();
    state->clock = std::make_unique<svcpsim::CSimulationClock>(
        [machine](double seconds) { machine->AdvanceTo(seconds); });
    state->clock->Start();
    m_pState = std::move(state);
    return true;
}
