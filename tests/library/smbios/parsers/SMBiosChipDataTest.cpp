// Management devices (Type 34) and the chip parser's life cycle.
#include <gtest/gtest.h>

#include "ParserTestSupport.h"
#include "svcproc/smbios/SMBiosChipData.h"

namespace smbios_test {
namespace {

using smbios_sample::Device;
using svcp::sim::SmbiosTableBuilder;

class ChipData : public ParserTest {
protected:
    // A table of the BIOS information and one management device named
    // `description`.
    CRawSMBios* OneDevice(const char* description) {
        return Table(SmbiosTableBuilder()
                         .AddBiosInformation(Bios())
                         .AddManagementDevice(Device(0x0031, description, 0))
                         .Build());
    }
};

TEST_F(ChipData, ListsEveryManagementDeviceInTableOrder) {
    // Table order, not handle order.
    std::vector<uint8_t> bytes = SmbiosTableBuilder()
                                     .AddBiosInformation(Bios())
                                     .AddManagementDevice(Device(0x0031, "Service", 0x12345678))
                                     .AddManagementDevice(Device(0x0030, "Other", 0x2B0))
                                     .AddEndOfTable()
                                     .Build();
    CSMBiosChipData chip;
    LogCaptureClear();
    ASSERT_TRUE(chip.Initialise(Table(bytes)));
    const std::vector<SMBiosManagementDevice*>& devices = chip.GetDevices();
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0]->type, 34);
    EXPECT_EQ(devices[0]->length, 0x0B);
    EXPECT_EQ(devices[0]->handle, 0x0031);
    EXPECT_EQ(devices[0]->descriptionString, 1);
    EXPECT_EQ(devices[0]->deviceType, 0x0B);
    EXPECT_EQ(devices[0]->address, 0x12345678u);
    EXPECT_EQ(devices[0]->addressType, 0x04);
    EXPECT_EQ(devices[0]->description, "Service");
    EXPECT_EQ(devices[1]->handle, 0x0030);
    EXPECT_EQ(devices[1]->description, "Other");

    EXPECT_EQ(After("CSMBiosChipData::StoreType34", 4),
              (std::vector<std::string>{"  Description: Service", "  Device Type: 0x0b",
                                        "  Address:     0x12345678", "  AddressType: 0x04"}));
    EXPECT_TRUE(Logged(3, "CSMBiosChipData::Initialise - Initialised Ok - #device(s)=2"));
    EXPECT_TRUE(Logged(3, "CSMBiosChipData::GetStructures - pTable=" + Hex(Bytes() + 0x18 + 28)));
}

TEST_F(ChipData, DeviceWithoutDescriptionStringHasAnEmptyOne) {
    CSMBiosChipData chip;
    ASSERT_TRUE(chip.Initialise(OneDevice("")));
    EXPECT_EQ(chip.GetDevices()[0]->descriptionString, 0);
    EXPECT_EQ(chip.GetDevices()[0]->description, "");
}

TEST_F(ChipData, FailsWithoutDevicesAndParsesAfreshNextTime) {
    CSMBiosChipData chip;
    EXPECT_FALSE(chip.Initialise(Table(SmbiosTableBuilder()
                                           .AddManagementDevice(Device(0x0031, "first", 0))
                                           .AddEndOfTable()
                                           .Build())));
    EXPECT_TRUE(chip.GetDevices().empty());
    EXPECT_TRUE(Logged(1, "CSMBiosChipData::Initialise - No Type 34 devices found"));

    EXPECT_TRUE(chip.Initialise(OneDevice("second")));
    ASSERT_EQ(chip.GetDevices().size(), 1u);
    EXPECT_EQ(chip.GetDevices()[0]->description, "second");
    EXPECT_EQ(chip.GetBiosVersion(), "85.01.07");
}

TEST_F(ChipData, SecondInitialiseAfterSuccessReadsNothing) {
    CSMBiosChipData chip;
    ASSERT_TRUE(chip.Initialise(OneDevice("kept")));
    const SMBiosManagementDevice* kept = chip.GetDevices()[0];
    CRawSMBios other;
    other.AssignForTesting(nullptr, 0);
    LogCaptureClear();
    EXPECT_TRUE(chip.Initialise(&other));
    EXPECT_EQ(Lines(),
              (std::vector<LogLine>{{3, "CSMBiosChipData::Initialise - Already initialised"}}));
    ASSERT_EQ(chip.GetDevices().size(), 1u);
    EXPECT_EQ(chip.GetDevices()[0], kept);
    EXPECT_EQ(kept->description, "kept");
}

TEST_F(ChipData, LogsItsLifeAroundTheBase) {
    { CSMBiosChipData chip; }
    EXPECT_EQ(Lines(), (std::vector<LogLine>{{3, "CSMBiosData Constructed"},
                                             {3, "CSMBiosChipData Constructed"},
                                             {3, "CSMBiosChipData Destroyed"},
                                             {3, "CSMBiosData Destroyed"}}));
}

}  // namespace
}  // namespace smbios_test
