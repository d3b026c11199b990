// Builds without the simulated machine (Windows, where the real driver or
// the driver rig serves the service processor).
#include "simulation/Simulation.h"

struct SimulatedMachineRun::State {};

SimulatedMachineRun::SimulatedMachineRun() = default;
SimulatedMachineRun::~SimulatedMachineRun() = default;

bool SimulatedMachineRun::Start(const std::string&, std::string& error) {
    error = "this build has no simulated machine";
    return false;
}
