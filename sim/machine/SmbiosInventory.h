// A small reader of raw SMBIOS structure tables: what a table gives the
// service processor's management device (its sensors with their thresholds)
// and the LEDs. The simulator uses it to replay a real machine's table and
// its tests to read back tables it built; it follows the library's walk
// (the first structure taken as Type 0, each structure ended by the first
// double NUL after its formatted area, the walk ended by Type 127 or by the
// end of the buffer) but shares no code with it.
//
// Every read stays inside the table, whatever its bytes. A structure too
// short for the fields read from it is skipped. Pure function, thread-safe.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "MachineDescription.h"

namespace svcpsim {

struct InventoryDevice {
    uint16_t handle = 0;
    std::string description;
    uint8_t deviceType = 0;
    uint32_t address = 0;
    uint8_t addressType = 0;
};

// A sensor of the service processor; words as in the table (std::nullopt for
// 0x8000, or a field the structure lacks).
struct InventorySensor {
    SensorKind kind = SensorKind::Voltage;
    uint16_t handle = 0;
    size_t index = 0;         // the OEM dword's low byte
    std::string description;  // a fan's from its Type 35 component
    std::optional<uint16_t> minimum;
    std::optional<uint16_t> maximum;
    std::optional<uint16_t> resolution;
    std::optional<uint16_t> accuracy;
    std::optional<uint16_t> nominal;
    ThresholdWords thresholds;
};

struct InventoryLed {
    uint16_t bitMap = 0;
    std::string description;
};

struct SmbiosInventory {
    std::string biosVersion;
    std::vector<InventoryDevice> devices;  // every Type 34, in table order
    // The first device described exactly as asked.
    std::optional<InventoryDevice> serviceProcessor;
    // Its sensors in the order of their Type 35 components (a sensor named
    // by two components appears twice).
    std::vector<InventorySensor> sensors;
    std::vector<InventoryLed> leds;  // every Type 128, in table order
};

SmbiosInventory ReadSmbiosInventory(
    const std::vector<uint8_t>& table,
    const std::string& serviceProcessorDescription = kServiceProcessorDescription);

}  // namespace svcpsim
