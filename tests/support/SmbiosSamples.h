// Sample SMBIOS structures for the table builder, written once for the
// parser, builder, allocation and fuzz-seed tests: the BIOS, the service
// processor's management device, its voltage probe, fan and temperature
// probe, thresholds, components and LEDs. The values' bytes differ from one
// another, so a test sees the order and width of every field it reads.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "sim/smbios/SmbiosTableBuilder.h"

namespace smbios_sample {

constexpr uint16_t kChip = 0x0030;
constexpr uint16_t kVoltage = 0x0040;
constexpr uint16_t kFan = 0x0041;
constexpr uint16_t kTemperature = 0x0042;

// A Type 0 structure with three strings, the usual first structure.
inline svcp::sim::BiosInformation Bios() {
    svcp::sim::BiosInformation bios;
    bios.handle = 0x0000;
    bios.vendor = "Orvane";
    bios.version = "85.01.07";
    bios.releaseDate = "03/14/2011";
    return bios;
}

// The same with every byte of its formatted area set.
inline svcp::sim::BiosInformation FullBios() {
    const std::array<uint8_t, 8> characteristics = {0x80, 0x98, 0x8B, 0x3F, 0x01, 0x02, 0x03, 0x04};
    // Handle, strings, starting segment, ROM size, characteristics, the two
    // extension bytes, BIOS and firmware releases, length.
    return {0x0102, "Orvane", "85.01.07", "03/14/2011", 0xE800, 0x3F, characteristics,
            0x33,   0x07,     0x02,       0x05,         0x11,   0x22, 0x18};
}

// A management device of the kind and address type the service processor's
// firmware gives its own (0x0B, I/O port 0x04).
inline svcp::sim::ManagementDevice Device(uint16_t handle, const std::string& description,
                                          uint32_t address) {
    return {handle, description, 0x0B, address, 0x04};
}

// Every field set; with a nominal value (0x16 bytes).
inline svcp::sim::Probe VoltageProbe() {
    // Handle, description, location and status, maximum, minimum,
    // resolution, tolerance, accuracy, OEM dword, nominal value.
    return {kVoltage, "VCore", 0x63, 0x3A98, 0x0000, 0x0005, 0x8000, 0x00C8, 0x12345605, 0x04B0};
}

// No nominal value: 0x14 bytes.
inline svcp::sim::Probe TemperatureProbe() {
    const uint16_t unknown = svcp::sim::kSmbiosUnknownWord;
    return {kTemperature, "CPU Temp", 0,       0x03E8,     unknown,
            unknown,      unknown,    unknown, 0x00000002, std::nullopt};
}

// Cooled by the temperature probe's zone; with a nominal speed (0x0E bytes).
inline svcp::sim::CoolingDevice Fan() {
    // Handle, temperature probe, type and status, unit group, OEM dword,
    // nominal speed, description.
    return {kFan, kTemperature, 0x67, 0x02, 0x00000001, 0x0BB8, ""};
}

// Lower and upper non-critical, upper critical and both non-recoverable
// set; lower critical unknown.
inline svcp::sim::ManagementDeviceThreshold Threshold(uint16_t handle) {
    return {handle, {0x0010, 0x0020, 0x8000, 0x0040, 0x0050, 0x0060}};
}

inline svcp::sim::ManagementDeviceComponent Component(uint16_t handle,
                                                      const std::string& description, uint16_t chip,
                                                      uint16_t sensor, uint16_t threshold) {
    return {handle, description, chip, sensor, threshold};
}

}  // namespace smbios_sample
