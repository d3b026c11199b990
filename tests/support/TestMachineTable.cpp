#include "TestMachineTable.h"

#include "sim/smbios/SmbiosTableBuilder.h"

using svcpsim::SensorKind;

TestMachineSpec TestMachineSpec::Default() {
    TestMachineSpec spec;
    const uint16_t u = 0x8000;
    spec.sensors = {
        // Listed out of index order on purpose: handles follow the indexes.
        {SensorKind::Voltage, 1, "+12V", 12000, {11400, 12600, 10800, 13200, u, u}, 12000, 0x0064},
        {SensorKind::Voltage, 0, "CPU Core", 1200, {u, u, 1000, 1400, 900, 0xFFFF}, u, 0x0005},
        {SensorKind::Fan, 0, "CPU Fan", 2400, {u, u, 500, u, u, u}, 2500},
        {SensorKind::Fan, 1, "Chassis Fan", 1980, {u, u, 400, u, u, u}, 2000},
        {SensorKind::Fan, 2, "PSU Fan", 3000, {u, u, 600, u, u, u}},
        {SensorKind::Temperature, 0, "CPU", 415, {u, 700, u, 850, u, 950}, 400, 0x0032},
        {SensorKind::Temperature, 1, "System", 300, {u, u, u, 600, u, u}, u, 0x03E8},
    };
    spec.leds = {{0x0001, "Power"}, {0x0002, "Fault"}, {0x0004, "Disk"}};
    spec.ledWord = 0x0005;
    return spec;
}

TestMachineSpec TestMachineSpec::Small() {
    TestMachineSpec spec;
    const uint16_t u = 0x8000;
    spec.withOtherDevice = false;
    spec.sensors = {
        {SensorKind::Voltage, 0, "+12V", 12000, {11400, 12600, 10800, 13200, u, u}},
        {SensorKind::Voltage, 1, "CPU Core", 1200, {u, u, 1000, 1400, u, u}},
        {SensorKind::Fan, 0, "CPU Fan", 2400, {u, u, 500, u, u, u}},
        {SensorKind::Fan, 1, "Chassis Fan", 1980, {u, u, 500, u, u, u}},
        {SensorKind::Temperature, 0, "CPU", 415, {u, u, u, 850, u, u}},
    };
    spec.leds = {{0x0001, "Power"}, {0x0002, "Fault"}, {0x0004, "Disk"}};
    spec.ledWord = 0x0005;
    return spec;
}

std::vector<uint8_t> BuildTestTable(const TestMachineSpec& spec) {
    using namespace svcp::sim;
    SmbiosTableBuilder builder;
    BiosInformation bios;
    bios.vendor = "Orvane";
    bios.version = spec.biosVersion;
    bios.releaseDate = "11/02/2026";
    builder.AddBiosInformation(bios);
    ManagementDevice other;
    other.description = "LM78-compatible monitor";
    if (spec.withOtherDevice) {
        builder.AddManagementDevice(other);
    }
    ManagementDevice device;
    device.description = spec.deviceDescription;
    device.address = 0x2B0;
    if (spec.withDevice) {
        builder.AddManagementDevice(device);
    }
    const uint16_t deviceHandle = builder.LastHandle();
    for (const TestSensor& sensor : spec.sensors) {
        if (sensor.kind == SensorKind::Fan) {
            CoolingDevice fan;
            fan.oemDefined = sensor.index;
            if (sensor.nominal != 0x8000) {
                fan.nominalSpeed = sensor.nominal;
            }
            builder.AddCoolingDevice(fan);
        } else {
            Probe probe;
            probe.description = sensor.description;
            probe.oemDefined = sensor.index;
            probe.resolution = sensor.resolution;
            probe.accuracy = 150;
            probe.maximumValue = sensor.kind == SensorKind::Voltage ? 15000 : 1270;
            probe.minimumValue = 0;
            if (sensor.nominal != 0x8000) {
                probe.nominalValue = sensor.nominal;
            }
            if (sensor.kind == SensorKind::Voltage) {
                builder.AddVoltageProbe(probe);
            } else {
                builder.AddTemperatureProbe(probe);
            }
        }
        // A fan's description comes from the component.
        builder.AddComponentWithThresholds(sensor.description,
                                           spec.withDevice ? deviceHandle : kSmbiosNoHandle,
                                           builder.LastHandle(), sensor.thresholds);
    }
    if (spec.withLeds) {
        for (const TestLed& led : spec.leds) {
            builder.AddLed({std::nullopt, led.bitMap, led.description});
        }
    }
    return builder.AddEndOfTable().Build();
}

svcpsim::MachineSetup BuildTestSetup(const TestMachineSpec& spec) {
    svcpsim::MachineSetup setup;
    setup.leds = spec.ledWord;
    for (SensorKind kind : svcpsim::kAllSensorKinds) {
        std::vector<svcpsim::SensorSetup>& list =
            kind == SensorKind::Voltage
                ? setup.voltages
                : (kind == SensorKind::Fan ? setup.fans : setup.temperatures);
        for (const TestSensor& sensor : spec.sensors) {
            if (sensor.kind != kind) {
                continue;
            }
            if (list.size() <= sensor.index) {
                list.resize(sensor.index + 1u);
            }
            svcpsim::SensorSetup& entry = list[sensor.index];
            entry.reading = sensor.reading;
            if (sensor.thresholds[2] != 0x8000) {
                entry.thresholds.lowerCritical = sensor.thresholds[2];
            }
            if (sensor.thresholds[3] != 0x8000) {
                entry.thresholds.upperCritical = sensor.thresholds[3];
            }
        }
    }
    return setup;
}
