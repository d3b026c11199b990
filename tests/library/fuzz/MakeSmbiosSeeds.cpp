// Writes the builder-made seeds of the SMBIOS parser fuzzer's corpus:
//   smbios_fuzz_seeds <folder>
// Run it again after the builder learns new structures; the files are kept
// in tests/library/fuzz/corpus/smbios_parsers with the regression inputs.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "sim/smbios/SmbiosTableBuilder.h"
#include "support/SmbiosSamples.h"

using namespace svcp::sim;

namespace {

// A service processor's full inventory, the shape the library meets:
// components that join each sensor, one that names a missing sensor, one
// that names none, and a threshold handle that names nothing.
SmbiosTableBuilder Inventory() {
    using namespace smbios_sample;
    SmbiosTableBuilder builder;
    builder.AddBiosInformation(Bios())
        .AddManagementDevice(Device(kChip, "Orvane Telk Service Processor", 0x2B0))
        .AddVoltageProbe(VoltageProbe())
        .AddCoolingDevice(Fan())
        .AddTemperatureProbe(TemperatureProbe())
        .AddThreshold(Threshold(0x0050));
    const uint16_t sensors[] = {kVoltage, kFan, kTemperature, 0x0099, kSmbiosNoHandle};
    uint16_t handle = 0x0060;
    for (uint16_t sensor : sensors) {
        const uint16_t threshold = sensor == kTemperature ? 0x0077 : 0x0050;
        builder.AddComponent(Component(handle++, "CPU Fan", kChip, sensor, threshold));
    }
    return builder.AddLed({std::nullopt, 0x0001, "Power"}).AddLed({std::nullopt, 0x0004, ""});
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
