// Fuzz target: arbitrary bytes as the raw SMBIOS table, through the three
// parsers as start-up uses them. Built for libFuzzer in the fuzz preset
// (clang) and, in every other configuration, for the corpus replay.
#include <cstddef>
#include <cstdint>

#include "LogControl.h"
#include "svcproc/smbios/RawSMBios.h"
#include "svcproc/smbios/SMBiosChipData.h"
#include "svcproc/smbios/SMBiosLedData.h"
#include "svcproc/smbios/SMBiosSensorData.h"

namespace {

// Reads every field a user of the records reads, so that a record built from
// bad memory shows up under the sanitizers.
volatile size_t g_sink;

void Touch(const std::string& text) {
    g_sink = g_sink + text.size() + (text.empty() ? 0 : text[0]);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The parsers log every field; nothing is formatted at level 0.
    LogSetLevel(0);
    LogSetFile("none");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CRawSMBios raw;
    raw.AssignForTesting(data, size);

    CSMBiosChipData chip;
    chip.Initialise(&raw);
    chip.Initialise(&raw);
    Touch(chip.GetBiosVersion());
    // Without a device, a chip handle from the input itself.
    uint16_t chipHandle =
        size >= 2 ? static_cast<uint16_t>(data[size - 2] | (data[size - 1] << 8)) : 0;
    for (const SMBiosManagementDevice* device : chip.GetDevices()) {
        Touch(device->description);
        g_sink = g_sink + device->address + device->addressType;
    }
    if (!chip.GetDevices().empty()) {
        chipHandle = chip.GetDevices()[0]->handle;
    }

    CSMBiosSensorData sensors(chipHandle);
    sensors.Initialise(&raw);
    sensors.Initialise(&raw);
    for (const SMBiosSensor* sensor : sensors.GetSensors()) {
        Touch(sensor->description);
        g_sink = g_sink + sensor->kind + sensor->oemDefined + sensor->probe.maximumValue +
                 sensor->probe.nominalValue + sensor->cooling.nominalSpeed + sensor->thresholds[5];
    }

    CSMBiosLedData leds;
    leds.Initialise(&raw);
    for (const SMBiosLed* led : leds.GetLeds()) {
        Touch(led->description);
        g_sink = g_sink + led->bitMap;
    }
    return 0;
}
