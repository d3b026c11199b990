#include "MachinePlan.h"

#include <set>
#include <utility>

#include "SmbiosInventory.h"
#include "SteadyReading.h"
#include "sim/smbios/SmbiosTableBuilder.h"

namespace svcpsim {
namespace {

namespace smbios = svcp::sim;

constexpr uint8_t kStatusOk = 0x60;  // bits 5-7: 3, OK
constexpr uint8_t kLocationMotherboard = 0x07;
constexpr uint8_t kDeviceTypeFan = 0x03;

uint16_t WordOf(const std::optional<uint16_t>& value) {
    return value.value_or(smbios::kSmbiosUnknownWord);
}

Thresholds CriticalOf(const ThresholdWords& words) {
    Thresholds critical;
    if (words[kLowerCritical]) {
        critical.lowerCritical = *words[kLowerCritical];
    }
    if (words[kUpperCritical]) {
        critical.upperCritical = *words[kUpperCritical];
    }
    return critical;
}

// The sensor's own structure; its handle is the builder's last.
void AddSensorStructure(smbios::SmbiosTableBuilder& builder, const SensorDescription& sensor) {
    if (sensor.kind == SensorKind::Fan) {
        smbios::CoolingDevice fan;
        fan.deviceTypeAndStatus = kStatusOk | kDeviceTypeFan;
        fan.oemDefined = static_cast<uint32_t>(sensor.index);
        fan.nominalSpeed = WordOf(sensor.nominal);
        builder.AddCoolingDevice(fan);
        return;
    }
    smbios::Probe probe;
    probe.description = sensor.description;
    probe.locationAndStatus = kStatusOk | kLocationMotherboard;
    probe.maximumValue = WordOf(sensor.maximum);
    probe.minimumValue = WordOf(sensor.minimum);
    probe.resolution = WordOf(sensor.resolution);
    probe.accuracy = WordOf(sensor.accuracy);
    probe.oemDefined = static_cast<uint32_t>(sensor.index);
    probe.nominalValue = WordOf(sensor.nominal);
    if (sensor.kind == SensorKind::Voltage) {
        builder.AddVoltageProbe(probe);
    } else {
        builder.AddTemperatureProbe(probe);
    }
}

smbios::ManagementDevice DeviceOf(const ManagementDeviceDescription& device) {
    smbios::ManagementDevice built;
    built.description = device.description;
    built.deviceType = device.deviceType;
    built.address = device.address;
    built.addressType = device.addressType;
    return built;
}

MachinePlan PlanReplay(const MachineDescription& machine) {
    MachinePlan plan;
    plan.name = machine.name.empty() ? "replay of " + machine.smbiosTablePath : machine.name;
    plan.table = machine.smbiosTable;
    plan.seed = machine.seed;
    plan.repeat = machine.repeat;
    const SmbiosInventory inventory = ReadSmbiosInventory(plan.table);
    std::set<std::pair<SensorKind, size_t>> taken;
    for (const InventorySensor& sensor : inventory.sensors) {
        if (sensor.index >= MaxSensors(sensor.kind) ||
            !taken.emplace(sensor.kind, sensor.index).second) {
            continue;
        }
        SensorPlan planned;
        planned.kind = sensor.kind;
        planned.index = sensor.index;
        planned.description = sensor.description;
        planned.critical = CriticalOf(sensor.thresholds);
        planned.behaviour.base = SteadyReading(sensor.kind, sensor.nominal, sensor.minimum,
                                               sensor.maximum, sensor.thresholds);
        plan.sensors.push_back(std::move(planned));
    }
    for (const InventoryLed& led : inventory.leds) {
        LedPlan planned;
        planned.bitMap = led.bitMap;
        planned.description = led.description;
        planned.drive.mode = plan.leds.empty() ? LedDrive::Mode::On : LedDrive::Mode::Off;
        plan.leds.push_back(std::move(planned));
    }
    return plan;
}

}  // namespace

std::vector<uint8_t> BuildSmbiosTable(const MachineDescription& machine) {
    smbios::SmbiosTableBuilder builder;
    smbios::BiosInformation bios;
    bios.vendor = machine.bios.vendor;
    bios.version = machine.bios.version;
    bios.releaseDate = machine.bios.date;
    builder.AddBiosInformation(bios);
    builder.AddManagementDevice(DeviceOf(machine.serviceProcessor));
    const uint16_t chip = builder.LastHandle();
    for (const ManagementDeviceDescription& device : machine.otherDevices) {
        builder.AddManagementDevice(DeviceOf(device));
    }
    for (const SensorDescription& sensor : machine.sensors) {
        AddSensorStructure(builder, sensor);
        smbios::ManagementDeviceComponent component;
        component.description = sensor.description;
        component.managementDeviceHandle = chip;
        component.componentHandle = builder.LastHandle();
        bool anyThreshold = false;
        smbios::ManagementDeviceThreshold threshold;
        for (size_t i = 0; i < kThresholdCount; ++i) {
            threshold.thresholds[i] = WordOf(sensor.thresholds[i]);
            anyThreshold = anyThreshold || sensor.thresholds[i].has_value();
        }
        if (anyThreshold) {
            builder.AddThreshold(threshold);
            component.thresholdHandle = builder.LastHandle();
        }
        builder.AddComponent(component);
    }
    for (const LedDescription& led : machine.leds) {
        smbios::Led built;
        built.bitMap = led.bitMap;
        built.description = led.description;
        builder.AddLed(built);
    }
    return builder.AddEndOfTable().Build();
}

MachinePlan PlanMachine(const MachineDescription& machine) {
    if (machine.IsReplay()) {
        return PlanReplay(machine);
    }
    MachinePlan plan;
    plan.name = machine.name;
    plan.table = BuildSmbiosTable(machine);
    plan.hysteresis = machine.hysteresis;
    plan.seed = machine.seed;
    plan.repeat = machine.repeat;
    for (const SensorDescription& sensor : machine.sensors) {
        plan.sensors.push_back(SensorPlan{sensor.kind, sensor.index, sensor.description,
                                          CriticalOf(sensor.thresholds), sensor.behaviour});
    }
    for (const LedDescription& led : machine.leds) {
        plan.leds.push_back(LedPlan{led.bitMap, led.description, led.drive});
    }
    return plan;
}

}  // namespace svcpsim
