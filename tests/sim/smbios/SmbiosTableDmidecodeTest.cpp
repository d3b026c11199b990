// dmidecode reads a built table as the builder meant it: an independent
// check of the builder's layouts (POSIX hosts, where dmidecode runs).
#include <gtest/gtest.h>

#include <string>

#include "sim/smbios/SmbiosTableBuilder.h"
#include "support/Dmidecode.h"

namespace {

using namespace svcp::sim;

TEST(SmbiosTableBuilder, BuildsTablesDmidecodeReads) {
    BiosInformation bios;
    bios.vendor = "Orvane";
    bios.version = "85.01.07";
    ManagementDevice device;
    device.handle = 0x0030;
    device.description = "Orvane Telk Service Processor";
    Probe probe;
    probe.description = "VCore";
    probe.nominalValue = 1200;
    CoolingDevice fan;
    fan.nominalSpeed = 3000;
    ManagementDeviceComponent component;
    component.description = "CPU Fan";
    component.managementDeviceHandle = 0x0030;
    component.componentHandle = 0x0032;
    const std::string text =
        smbios_test::DmidecodeText(SmbiosTableBuilder()
                                       .AddBiosInformation(bios)
                                       .AddManagementDevice(device)
                                       .AddVoltageProbe(probe)
                                       .AddCoolingDevice(fan)
                                       .AddComponent(component)
                                       .AddThreshold(ManagementDeviceThreshold())
                                       .AddEndOfTable()
                                       .Build());
    for (const char* expected : {
             "Handle 0x0000, DMI type 0, 24 bytes",
             "\tVendor: Orvane",
             "\tVersion: 85.01.07",
             "Handle 0x0030, DMI type 34, 11 bytes",
             "\tDescription: Orvane Telk Service Processor",
             "Handle 0x0031, DMI type 26, 22 bytes",
             "\tDescription: VCore",
             "\tNominal Value: 1.200 V",
             "Handle 0x0032, DMI type 27, 14 bytes",
             "\tNominal Speed: 3000 rpm",
             "Handle 0x0033, DMI type 35, 11 bytes",
             "\tComponent Handle: 0x0032",
             "Handle 0x0034, DMI type 36, 16 bytes",
             "Handle 0x0035, DMI type 127, 4 bytes",
         }) {
        EXPECT_NE(text.find(std::string(expected) + "\n"), std::string::npos) << expected << "\n"
                                                                              << text;
    }
}

}  // namespace
