// Runs a simulated machine inside the monitor's process: its SMBIOS table is
// served to the library and its service processor answers through a driver.
#pragma once

#include <memory>
#include <string>

class SimulatedMachineRun {
public:
    SimulatedMachineRun();
    ~SimulatedMachineRun();
    // Starts the machine described by `file` (empty: the built-in machine).
    bool Start(const std::string& file, std::string& error);

private:
    struct State;
    std::unique_ptr<State> m_pState;
};
