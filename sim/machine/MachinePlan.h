// What the simulator runs: the SMBIOS table it serves and the sensors and
// LEDs its service processor answers for, made either from a described
// machine (the table written by the SMBIOS builder from the same
// description, so inventory and live values agree) or from a replayed table
// (the table unchanged, the sensors and LEDs read out of it).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "MachineDescription.h"

namespace svcpsim {

struct SensorPlan {
    SensorKind kind = SensorKind::Voltage;
    size_t index = 0;
    std::string description;
    Thresholds critical;  // what the model asserts on
    Behaviour behaviour;
};

struct LedPlan {
    uint16_t bitMap = 0;
    std::string description;
    LedDrive drive;
};

struct MachinePlan {
    std::string name;
    std::vector<uint8_t> table;
    std::vector<SensorPlan> sensors;  // at most one per kind and index
    std::vector<LedPlan> leds;
    std::array<std::optional<int32_t>, kSensorKinds> hysteresis;
    uint32_t seed = 1;
    double repeat = 0;
};

// The SMBIOS table of a described machine: Type 0; Type 34 for the service
// processor, then the other management devices; for each sensor its Type
// 26, 27 or 28 structure (OEM dword = its index), its Type 36 thresholds
// when any is known and the Type 35 component that ties them to the service
// processor (carrying the description, which is where a fan's comes from);
// a Type 128 per LED; Type 127. Handles are numbered from 0 in that order.
std::vector<uint8_t> BuildSmbiosTable(const MachineDescription& machine);

// A replayed machine's sensors are those the table gives the service
// processor's management device, with a steady reading each (SteadyReading)
// and no noise; sensors whose index a report cannot carry, and a second
// sensor at a taken index, are left out (the library keeps only the first
// too). Every Type 128 LED is kept; the first is on, the others off.
MachinePlan PlanMachine(const MachineDescription& machine);

}  // namespace svcpsim
