#include "SmbiosInventory.h"

namespace svcpsim {
namespace {

constexpr uint16_t kUnknownWord = 0x8000;
constexpr uint16_t kNoHandle = 0xFFFF;

// One structure: its formatted area and its string-set, both inside the
// table.
struct Structure {
    const uint8_t* bytes;
    size_t length;  // formatted area
    const uint8_t* strings;
    const uint8_t* stringsEnd;  // the set's final NUL

    uint8_t Type() const { return bytes[0]; }
    uint16_t Handle() const { return Word(2); }
    uint8_t Byte(size_t offset) const { return bytes[offset]; }
    uint16_t Word(size_t offset) const {
        return static_cast<uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
    }
    uint32_t Dword(size_t offset) const {
        return static_cast<uint32_t>(Word(offset)) | static_cast<uint32_t>(Word(offset + 2)) << 16;
    }
    std::optional<uint16_t> KnownWord(size_t offset) const {
        const uint16_t value = Word(offset);
        return value == kUnknownWord ? std::nullopt : std::optional<uint16_t>(value);
    }
    // String `number` (1-based; 0 and missing ones are empty).
    std::string String(uint8_t number) const {
        const uint8_t* at = strings;
        for (uint8_t n = 1; number != 0 && at < stringsEnd; ++n) {
            const uint8_t* end = at;
            while (end < stringsEnd && *end != 0) {
                ++end;
            }
            if (n == number) {
                return std::string(at, end);
            }
            at = end + 1;
        }
        return std::string();
    }
};

// The walk: every structure whose header and formatted area lie inside the
// table, up to and including Type 127.
std::vector<Structure> Walk(const std::vector<uint8_t>& table) {
    std::vector<Structure> structures;
    const uint8_t* const end = table.data() + table.size();
    const uint8_t* at = table.data();
    while (table.size() >= 4 && at <= end - 4) {
        const size_t length = at[1];
        if (length < 4 || static_cast<size_t>(end - at) < length) {
            break;
        }
        // The string-set ends at the first double NUL.
        const uint8_t* scan = at + length;
        while (scan + 1 < end && !(scan[0] == 0 && scan[1] == 0)) {
            ++scan;
        }
        if (scan + 1 >= end) {
            break;
        }
        structures.push_back(Structure{at, length, at + length, scan + 1});
        if (at[0] == 127) {
            break;
        }
        at = scan + 2;
    }
    return structures;
}

const Structure* FindByHandle(const std::vector<const Structure*>& list, uint16_t handle) {
    for (const Structure* structure : list) {
        if (structure->Handle() == handle) {
            return structure;
        }
    }
    return nullptr;
}

InventorySensor ReadSensor(const Structure& s) {
    InventorySensor sensor;
    sensor.handle = s.Handle();
    if (s.Type() == 27) {
        sensor.kind = SensorKind::Fan;
        sensor.index = s.Byte(0x08);
        if (s.length > 0x0D) {
            sensor.nominal = s.KnownWord(0x0C);
        }
        return sensor;
    }
    sensor.kind = s.Type() == 26 ? SensorKind::Voltage : SensorKind::Temperature;
    sensor.description = s.String(s.Byte(0x04));
    sensor.maximum = s.KnownWord(0x06);
    sensor.minimum = s.KnownWord(0x08);
    sensor.resolution = s.KnownWord(0x0A);
    sensor.accuracy = s.KnownWord(0x0E);
    sensor.index = s.Byte(0x10);
    if (s.length > 0x15) {
        sensor.nominal = s.KnownWord(0x14);
    }
    return sensor;
}

// The length a structure of `type` needs before its fields are read; 0 for
// the types the inventory does not read.
size_t MinimumLength(uint8_t type) {
    switch (type) {
        case 26:
        case 28:
            return 0x14;
        case 27:
            return 0x0C;
        case 34:
        case 35:
            return 0x0B;
        case 36:
            return 0x10;
        case 128:
            return 0x07;
        default:
            return 0;
    }
}

}  // namespace

SmbiosInventory ReadSmbiosInventory(const std::vector<uint8_t>& table,
                                    const std::string& serviceProcessorDescription) {
    SmbiosInventory inventory;
    const std::vector<Structure> structures = Walk(table);
    if (structures.empty()) {
        return inventory;
    }
    // The first structure is the BIOS information, whatever its type byte.
    if (structures[0].length > 0x05) {
        inventory.biosVersion = structures[0].String(structures[0].Byte(0x05));
    }
    std::vector<const Structure*> sensors;
    std::vector<const Structure*> components;
    std::vector<const Structure*> thresholds;
    for (size_t i = 1; i < structures.size(); ++i) {
        const Structure& s = structures[i];
        // Shorter structures than the library reads are left out, as it does.
        const size_t needed = MinimumLength(s.Type());
        if (needed == 0 || s.length < needed) {
            continue;
        }
        switch (s.Type()) {
            case 26:
            case 27:
            case 28:
                sensors.push_back(&s);
                break;
            case 34:
                inventory.devices.push_back(InventoryDevice{
                    s.Handle(), s.String(s.Byte(0x04)), s.Byte(0x05), s.Dword(0x06), s.Byte(0x0A)});
                break;
            case 35:
                components.push_back(&s);
                break;
            case 36:
                thresholds.push_back(&s);
                break;
            case 128:
                inventory.leds.push_back(InventoryLed{s.Word(0x04), s.String(s.Byte(0x06))});
                break;
            default:
                break;
        }
    }
    for (const InventoryDevice& device : inventory.devices) {
        if (device.description == serviceProcessorDescription) {
            inventory.serviceProcessor = device;
            break;
        }
    }
    if (!inventory.serviceProcessor) {
        return inventory;
    }
    const uint16_t chip = inventory.serviceProcessor->handle;
    for (const Structure* component : components) {
        const uint16_t device = component->Word(0x05);
        const uint16_t sensorHandle = component->Word(0x07);
        if (device == kNoHandle || device != chip || sensorHandle == kNoHandle) {
            continue;
        }
        const Structure* found = FindByHandle(sensors, sensorHandle);
        if (found == nullptr) {
            continue;
        }
        InventorySensor sensor = ReadSensor(*found);
        if (sensor.kind == SensorKind::Fan) {
            sensor.description = component->String(component->Byte(0x04));
        }
        const uint16_t thresholdHandle = component->Word(0x09);
        const Structure* limits =
            thresholdHandle == kNoHandle ? nullptr : FindByHandle(thresholds, thresholdHandle);
        if (limits != nullptr) {
            for (size_t i = 0; i < kThresholdCount; ++i) {
                sensor.thresholds[i] = limits->KnownWord(0x04 + 2 * i);
            }
        }
        inventory.sensors.push_back(std::move(sensor));
    }
    return inventory;
}

}  // namespace svcpsim
