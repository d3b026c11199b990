#include "sim/smbios/SmbiosTableBuilder.h"

#include <stdexcept>

namespace svcp::sim {

namespace {

constexpr size_t kHeaderSize = 4;

void PutWord(std::vector<uint8_t>& bytes, uint16_t value) {
    bytes.push_back(static_cast<uint8_t>(value & 0xFF));
    bytes.push_back(static_cast<uint8_t>(value >> 8));
}

void PutDword(std::vector<uint8_t>& bytes, uint32_t value) {
    PutWord(bytes, static_cast<uint16_t>(value & 0xFFFF));
    PutWord(bytes, static_cast<uint16_t>(value >> 16));
}

}  // namespace

uint8_t SmbiosTableBuilder::StringSet::Add(const std::string& text) {
    if (text.empty()) {
        return 0;
    }
    if (text.find('\0') != std::string::npos || m_vTexts.size() >= 255) {
        throw std::invalid_argument("SMBIOS string with a NUL byte, or more than 255 strings");
    }
    m_vTexts.push_back(text);
    return static_cast<uint8_t>(m_vTexts.size());
}

uint16_t SmbiosTableBuilder::TakeHandle(const std::optional<uint16_t>& handle) {
    const uint16_t taken = handle.has_value()
                               ? *handle
                               : (m_bAnyHandle ? static_cast<uint16_t>(m_wLastHandle + 1) : 0);
    m_wLastHandle = taken;
    m_bAnyHandle = true;
    return taken;
}

void SmbiosTableBuilder::AddStructure(uint8_t type, const std::optional<uint16_t>& handle,
                                      const std::vector<uint8_t>& formatted,
                                      const StringSet& strings) {
    RawStructure raw;
    raw.type = type;
    raw.handle = handle;
    raw.formatted = formatted;
    raw.strings = strings.Texts();
    AddRaw(raw);
}

SmbiosTableBuilder& SmbiosTableBuilder::AddRaw(const RawStructure& structure) {
    const size_t length =
        structure.length.has_value() ? *structure.length : kHeaderSize + structure.formatted.size();
    if (length > 0xFF) {
        throw std::invalid_argument("SMBIOS formatted area longer than 255 bytes");
    }
    m_vTable.push_back(structure.type);
    m_vTable.push_back(static_cast<uint8_t>(length));
    PutWord(m_vTable, TakeHandle(structure.handle));
    m_vTable.insert(m_vTable.end(), structure.formatted.begin(), structure.formatted.end());
    if (structure.end == StringSetEnd::kNothing) {
        return *this;
    }
    for (const std::string& text : structure.strings) {
        m_vTable.insert(m_vTable.end(), text.begin(), text.end());
        m_vTable.push_back(0);
    }
    if (structure.strings.empty()) {
        m_vTable.push_back(0);  // a set without strings is 00 00
    }
    if (structure.end == StringSetEnd::kTerminated) {
        m_vTable.push_back(0);
    }
    return *this;
}

SmbiosTableBuilder& SmbiosTableBuilder::AddBytes(const std::vector<uint8_t>& bytes) {
    m_vTable.insert(m_vTable.end(), bytes.begin(), bytes.end());
    return *this;
}

SmbiosTableBuilder& SmbiosTableBuilder::AddBiosInformation(const BiosInformation& bios) {
    StringSet strings;
    std::vector<uint8_t> f;  // from offset 0x04
    f.push_back(strings.Add(bios.vendor));
    f.push_back(strings.Add(bios.version));
    PutWord(f, bios.startingSegment);
    f.push_back(strings.Add(bios.releaseDate));
    f.push_back(bios.romSize);
    f.insert(f.end(), bios.characteristics.begin(), bios.characteristics.end());
    f.push_back(bios.extensionByte1);
    f.push_back(bios.extensionByte2);
    f.push_back(bios.biosMajorRelease);
    f.push_back(bios.biosMinorRelease);
    f.push_back(bios.firmwareMajorRelease);
    f.push_back(bios.firmwareMinorRelease);
    f.resize(bios.length > kHeaderSize ? bios.length - kHeaderSize : 0, 0);
    RawStructure raw;
    raw.type = 0;
    raw.handle = bios.handle;
    raw.formatted = f;
    raw.length = bios.length;
    raw.strings = strings.Texts();
    return AddRaw(raw);
}

namespace {

std::vector<uint8_t> ProbeBytes(const Probe& probe, uint8_t descriptionString) {
    std::vector<uint8_t> f;
    f.push_back(descriptionString);
    f.push_back(probe.locationAndStatus);
    PutWord(f, probe.maximumValue);
    PutWord(f, probe.minimumValue);
    PutWord(f, probe.resolution);
    PutWord(f, probe.tolerance);
    PutWord(f, probe.accuracy);
    PutDword(f, probe.oemDefined);
    if (probe.nominalValue.has_value()) {
        PutWord(f, *probe.nominalValue);
    }
    return f;
}

}  // namespace

SmbiosTableBuilder& SmbiosTableBuilder::AddVoltageProbe(const Probe& probe) {
    StringSet strings;
    const uint8_t description = strings.Add(probe.description);
    AddStructure(26, probe.handle, ProbeBytes(probe, description), strings);
    return *this;
}

SmbiosTableBuilder& SmbiosTableBuilder::AddTemperatureProbe(const Probe& probe) {
    StringSet strings;
    const uint8_t description = strings.Add(probe.description);
    AddStructure(28, probe.handle, ProbeBytes(probe, description), strings);
    return *this;
}

SmbiosTableBuilder& SmbiosTableBuilder::AddCoolingDevice(const CoolingDevice& device) {
    StringSet strings;
    std::vector<uint8_t> f;
    PutWord(f, device.temperatureProbeHandle);
    f.push_back(device.deviceTypeAndStatus);
    f.push_back(device.coolingUnitGroup);
    PutDword(f, device.oemDefined);
    if (device.nominalSpeed.has_value() || !device.description.empty()) {
        PutWord(f, device.nominalSpeed.value_or(kSmbiosUnknownWord));
    }
    if (!device.description.empty()) {
        f.push_back(strings.Add(device.description));
    }
    AddStructure(27, device.handle, f, strings);
    return *this;
}

SmbiosTableBuilder& SmbiosTableBuilder::AddManagementDevice(const ManagementDevice& device) {
    StringSet strings;
    std::vector<uint8_t> f;
    f.push_back(strings.Add(device.description));
    f.push_back(device.deviceType);
    PutDword(f, device.address);
    f.push_back(device.addressType);
    AddStructure(34, device.handle, f, strings);
    return *this;
}

SmbiosTableBuilder& SmbiosTableBuilder::AddComponent(const ManagementDeviceComponent& component) {
    StringSet strings;
    std::vector<uint8_t> f;
    f.push_back(strings.Add(component.description));
    PutWord(f, component.managementDeviceHandle);
    PutWord(f, component.componentHandle);
    PutWord(f, component.thresholdHandle);
    AddStructure(35, component.handle, f, strings);
    return *this;
}

SmbiosTableBuilder& SmbiosTableBuilder::AddThreshold(const ManagementDeviceThreshold& threshold) {
    std::vector<uint8_t> f;
    for (uint16_t value : threshold.thresholds) {
        PutWord(f, value);
    }
    AddStructure(36, threshold.handle, f, StringSet());
    return *this;
}

SmbiosTableBuilder& SmbiosTableBuilder::AddComponentWithThresholds(
    const std::string& description, uint16_t managementDeviceHandle, uint16_t componentHandle,
    const std::array<uint16_t, 6>& thresholds) {
    ManagementDeviceThreshold threshold;
    threshold.thresholds = thresholds;
    AddThreshold(threshold);
    ManagementDeviceComponent component;
    component.description = description;
    component.managementDeviceHandle = managementDeviceHandle;
    component.componentHandle = componentHandle;
    component.thresholdHandle = LastHandle();
    return AddComponent(component);
}

SmbiosTableBuilder& SmbiosTableBuilder::AddLed(const Led& led) {
    StringSet strings;
    std::vector<uint8_t> f;
    PutWord(f, led.bitMap);
    f.push_back(strings.Add(led.description));
    AddStructure(128, led.handle, f, strings);
    return *this;
}

SmbiosTableBuilder& SmbiosTableBuilder::AddEndOfTable(std::optional<uint16_t> handle) {
    AddStructure(127, handle, {}, StringSet());
    return *this;
}

}  // namespace svcp::sim
