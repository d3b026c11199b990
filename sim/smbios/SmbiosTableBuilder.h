// SmbiosTableBuilder: writes raw SMBIOS structure tables, the bytes that
// Windows serves as SMBiosData (no entry point in front), from typed
// descriptions of the structures the library reads, and from raw structures
// of any type and shape, malformed ones included.
//
//   SmbiosTableBuilder builder;
//   BiosInformation bios;
//   bios.version = "85.01";
//   ManagementDevice chip;
//   chip.handle = 0x30;
//   chip.description = "Service Processor";
//   Probe vcore;
//   vcore.description = "CPU Core";
//   builder.AddBiosInformation(bios).AddManagementDevice(chip).AddVoltageProbe(vcore);
//   ManagementDeviceComponent link;
//   link.managementDeviceHandle = 0x30;
//   link.componentHandle = builder.LastHandle();  // 0x31, assigned
//   std::vector<uint8_t> table = builder.AddComponent(link).AddEndOfTable().Build();
//
// Structures are written in the order they are added. Nothing is added
// implicitly: a table without AddEndOfTable() has no Type 127.
//
// Handles: a description whose `handle` is empty gets one assigned, the
// handle of the structure added before it plus one (0 for the first).
// LastHandle() tells the handle of the structure added last.
//
// Strings: each non-empty text of a description becomes the next string of
// its structure's string-set and its string number is written; an empty text
// is string number 0. Texts must not contain NUL bytes.
//
// Not thread-safe; one builder per thread. Independent of the library.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace svcp::sim {

constexpr uint16_t kSmbiosUnknownWord = 0x8000;
constexpr uint16_t kSmbiosNoHandle = 0xFFFF;

// Type 0. `length` sets the formatted area: the 24 bytes below are cut or
// zero-padded to it (0x12 is SMBIOS 2.3's length, 0x18 that of 2.4 and later).
struct BiosInformation {
    std::optional<uint16_t> handle;
    std::string vendor;
    std::string version;
    std::string releaseDate;
    uint16_t startingSegment = 0xF000;
    uint8_t romSize = 0;
    std::array<uint8_t, 8> characteristics = {};
    uint8_t extensionByte1 = 0;
    uint8_t extensionByte2 = 0;
    uint8_t biosMajorRelease = 0xFF;
    uint8_t biosMinorRelease = 0xFF;
    uint8_t firmwareMajorRelease = 0xFF;
    uint8_t firmwareMinorRelease = 0xFF;
    uint8_t length = 0x18;
};

// Types 26 (voltage) and 28 (temperature). Without `nominalValue` the
// structure is 0x14 bytes long, with it 0x16.
struct Probe {
    std::optional<uint16_t> handle;
    std::string description;
    uint8_t locationAndStatus = 0;
    uint16_t maximumValue = kSmbiosUnknownWord;
    uint16_t minimumValue = kSmbiosUnknownWord;
    uint16_t resolution = kSmbiosUnknownWord;
    uint16_t tolerance = kSmbiosUnknownWord;
    uint16_t accuracy = kSmbiosUnknownWord;
    uint32_t oemDefined = 0;
    std::optional<uint16_t> nominalValue;
};

// Type 27. Without `nominalSpeed` and `description` the structure is 0x0C
// bytes long; with `nominalSpeed` 0x0E; with a description (SMBIOS 2.7) 0x0F,
// the speed then unknown unless given.
struct CoolingDevice {
    std::optional<uint16_t> handle;
    uint16_t temperatureProbeHandle = kSmbiosNoHandle;
    uint8_t deviceTypeAndStatus = 0;
    uint8_t coolingUnitGroup = 0;
    uint32_t oemDefined = 0;
    std::optional<uint16_t> nominalSpeed;
    std::string description;
};

// Type 34, 11 bytes.
struct ManagementDevice {
    std::optional<uint16_t> handle;
    std::string description;
    uint8_t deviceType = 0x01;  // other
    uint32_t address = 0;
    uint8_t addressType = 0x01;  // other
};

// Type 35, 11 bytes.
struct ManagementDeviceComponent {
    std::optional<uint16_t> handle;
    std::string description;
    uint16_t managementDeviceHandle = kSmbiosNoHandle;
    uint16_t componentHandle = kSmbiosNoHandle;
    uint16_t thresholdHandle = kSmbiosNoHandle;
};

// Type 36, 16 bytes: lower non-critical, upper non-critical, lower critical,
// upper critical, lower non-recoverable, upper non-recoverable.
struct ManagementDeviceThreshold {
    std::optional<uint16_t> handle;
    std::array<uint16_t, 6> thresholds = {kSmbiosUnknownWord, kSmbiosUnknownWord,
                                          kSmbiosUnknownWord, kSmbiosUnknownWord,
                                          kSmbiosUnknownWord, kSmbiosUnknownWord};
};

// Type 128 (OEM): one LED, 7 bytes: bit map at 0x04, description at 0x06.
struct Led {
    std::optional<uint16_t> handle;
    uint16_t bitMap = 0;
    std::string description;
};

// How a raw structure's string-set ends.
enum class StringSetEnd {
    kTerminated,  // every string NUL-terminated, then the final NUL (00 00 when no strings)
    kNoFinalNul,  // every string NUL-terminated, no final NUL (a lone 00 when no strings)
    kNothing,     // nothing at all after the formatted area
};

// Any structure: the 4-byte header, then `formatted` (the bytes after the
// header) and the string-set. `length` is the length byte written, by
// default 4 + formatted.size(); it need not agree with the bytes.
struct RawStructure {
    uint8_t type = 0;
    std::optional<uint16_t> handle;
    std::vector<uint8_t> formatted;
    std::optional<uint8_t> length;
    std::vector<std::string> strings;  // written as given, empty ones too
    StringSetEnd end = StringSetEnd::kTerminated;
};

class SmbiosTableBuilder {
public:
    SmbiosTableBuilder& AddBiosInformation(const BiosInformation& bios);
    SmbiosTableBuilder& AddVoltageProbe(const Probe& probe);
    SmbiosTableBuilder& AddCoolingDevice(const CoolingDevice& device);
    SmbiosTableBuilder& AddTemperatureProbe(const Probe& probe);
    SmbiosTableBuilder& AddManagementDevice(const ManagementDevice& device);
    SmbiosTableBuilder& AddComponent(const ManagementDeviceComponent& component);
    SmbiosTableBuilder& AddThreshold(const ManagementDeviceThreshold& threshold);
    SmbiosTableBuilder& AddLed(const Led& led);
    // A Type 36 with `thresholds`, then a Type 35 that links `componentHandle`
    // to `managementDeviceHandle` and to that threshold: how a sensor is
    // usually tied to its service processor. Leaves LastHandle() at the 35.
    SmbiosTableBuilder& AddComponentWithThresholds(const std::string& description,
                                                   uint16_t managementDeviceHandle,
                                                   uint16_t componentHandle,
                                                   const std::array<uint16_t, 6>& thresholds);
    // Type 127, 4 bytes, no strings.
    SmbiosTableBuilder& AddEndOfTable(std::optional<uint16_t> handle = std::nullopt);
    SmbiosTableBuilder& AddRaw(const RawStructure& structure);
    // Bytes appended as they are (no handle is taken).
    SmbiosTableBuilder& AddBytes(const std::vector<uint8_t>& bytes);

    // The handle of the structure added last (0 before any).
    uint16_t LastHandle() const { return m_wLastHandle; }
    // The table so far; the builder can go on adding after it.
    std::vector<uint8_t> Build() const { return m_vTable; }

private:
    // The structure's strings, numbered as they are added.
    class StringSet {
    public:
        // The number of `text` in the set, 0 for an empty text.
        uint8_t Add(const std::string& text);
        const std::vector<std::string>& Texts() const { return m_vTexts; }

    private:
        std::vector<std::string> m_vTexts;
    };

    uint16_t TakeHandle(const std::optional<uint16_t>& handle);
    // Writes a well-formed structure: header, `formatted`, terminated strings.
    void AddStructure(uint8_t type, const std::optional<uint16_t>& handle,
                      const std::vector<uint8_t>& formatted, const StringSet& strings);

    std::vector<uint8_t> m_vTable;
    uint16_t m_wLastHandle = 0;
    bool m_bAnyHandle = false;
};

}  // namespace svcp::sim
