// Writes the builder-made seeds of the SMBIOS parser fuzzer's corpus:
//   smbios_fuzz_seeds <folder>
// Run it again after the builder learns new structures; the files are kept
// in tests/library/fuzz/corpus/smbios_parsers with the regression inputs.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "sim/smbios/SmbiosTableBuilder.h"

using namespace svcp::sim;

namespace {

// A service processor's full inventory, the shape the library meets.
SmbiosTableBuilder Inventory() {
    SmbiosTableBuilder builder;
    BiosInformation bios;
    bios.vendor = "Orvane";
    bios.version = "85.01.07";
    bios.releaseDate = "03/14/2011";
    ManagementDevice chip;
    chip.handle = 0x0030;
    chip.description = "Orvane Telk Service Processor";
    chip.address = 0x2B0;
    builder.AddBiosInformation(bios).AddManagementDevice(chip);
    Probe voltage;
    voltage.handle = 0x0040;
    voltage.description = "VCore";
    voltage.nominalValue = 0x04B0;
    CoolingDevice fan;
    fan.handle = 0x0041;
    fan.nominalSpeed = 0x0BB8;
    fan.oemDefined = 1;
    Probe temperature;
    temperature.handle = 0x0042;
    temperature.description = "CPU Temp";
    temperature.oemDefined = 2;
    ManagementDeviceThreshold threshold;
    threshold.handle = 0x0050;
    threshold.thresholds = {10, 20, 30, 40, 50, 60};
    builder.AddVoltageProbe(voltage)
        .AddCoolingDevice(fan)
        .AddTemperatureProbe(temperature)
        .AddThreshold(threshold);
    const uint16_t sensors[] = {0x0040, 0x0041, 0x0042, 0x0099, 0xFFFF};
    uint16_t handle = 0x0060;
    for (uint16_t sensor : sensors) {
        ManagementDeviceComponent component;
        component.handle = handle++;
        component.description = "CPU Fan";
        component.managementDeviceHandle = 0x0030;
        component.componentHandle = sensor;
        component.thresholdHandle = sensor == 0x0042 ? 0x0077 : 0x0050;
        builder.AddComponent(component);
    }
    Led power;
    power.bitMap = 0x0001;
    power.description = "Power";
    Led fault;
    fault.bitMap = 0x0004;
    builder.AddLed(power).AddLed(fault);
    return builder;
}

bool Write(const std::string& folder, const char* name, const std::vector<uint8_t>& bytes) {
    std::ofstream out(folder + "/" + name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    bool ok = Write(folder, "seed-inventory.bin", Inventory().AddEndOfTable().Build());
    ok = Write(folder, "seed-inventory-no-end.bin", Inventory().Build()) && ok;

    // Cut structures and broken string-sets at the end of the table.
    std::vector<uint8_t> cut = Inventory().AddEndOfTable().Build();
    cut.resize(cut.size() / 2);
    ok = Write(folder, "seed-inventory-cut.bin", cut) && ok;
    RawStructure open;
    open.type = 128;
    open.formatted = {0x02, 0x00, 0x01};
    open.strings = {"Disk"};
    open.end = StringSetEnd::kNoFinalNul;
    ok = Write(folder, "seed-open-strings.bin", Inventory().AddRaw(open).Build()) && ok;
    RawStructure zero;
    zero.type = 26;
    zero.length = 0;
    zero.formatted = {1, 2, 3, 4};
    ok = Write(folder, "seed-zero-length.bin", Inventory().AddRaw(zero).AddEndOfTable().Build()) &&
         ok;
    RawStructure shortThreshold;
    shortThreshold.type = 36;
    shortThreshold.handle = 0x0050;
    shortThreshold.formatted = {1, 0};
    shortThreshold.end = StringSetEnd::kNothing;
    ok =
        Write(folder, "seed-short-threshold.bin", Inventory().AddRaw(shortThreshold).Build()) && ok;
    return ok ? 0 : 1;
}
