// The SMBIOS table builder: exact bytes of each structure it writes, handle
// and string numbering, malformed shapes and the dmidecode dump.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/smbios/SmbiosDump.h"
#include "sim/smbios/SmbiosTableBuilder.h"
#include "support/SmbiosSamples.h"

namespace {

using namespace svcp::sim;
using Bytes = std::vector<uint8_t>;

// A formatted area followed by its string-set, each string and the set
// NUL-terminated.
Bytes WithStrings(Bytes bytes, std::initializer_list<std::string> strings) {
    for (const std::string& text : strings) {
        bytes.insert(bytes.end(), text.begin(), text.end());
        bytes.push_back(0);
    }
    bytes.push_back(0);
    return bytes;
}

TEST(SmbiosTableBuilder, WritesBiosInformationWithNumberedStrings) {
    BiosInformation bios = smbios_sample::FullBios();
    bios.vendor.clear();  // string number 0
    EXPECT_EQ(SmbiosTableBuilder().AddBiosInformation(bios).Build(),
              WithStrings({0x00, 0x18, 0x02, 0x01, 0x00, 0x01, 0x00, 0xE8, 0x02, 0x3F, 0x80, 0x98,
                           0x8B, 0x3F, 0x01, 0x02, 0x03, 0x04, 0x33, 0x07, 0x02, 0x05, 0x11, 0x22},
                          {"85.01.07", "03/14/2011"}));
    bios.length = 0x12;
    const Bytes shortOne = SmbiosTableBuilder().AddBiosInformation(bios).Build();
    EXPECT_EQ(shortOne.size(), 0x12u + 9 + 11 + 1);
    EXPECT_EQ(shortOne[1], 0x12);
    EXPECT_EQ(shortOne[0x12], '8');
}

TEST(SmbiosTableBuilder, WritesTheSensorStructuresAtTheirLengths) {
    Probe probe = smbios_sample::VoltageProbe();
    probe.nominalValue.reset();
    EXPECT_EQ(SmbiosTableBuilder().AddVoltageProbe(probe).Build(),
              WithStrings({26,   0x14, 0x40, 0x00, 1,    0x63, 0x98, 0x3A, 0x00, 0x00,
                           0x05, 0x00, 0x00, 0x80, 0xC8, 0x00, 0x05, 0x56, 0x34, 0x12},
                          {"VCore"}));
    const Bytes with =
        SmbiosTableBuilder().AddTemperatureProbe(smbios_sample::VoltageProbe()).Build();
    EXPECT_EQ(with[0], 28);
    EXPECT_EQ(with[1], 0x16);
    EXPECT_EQ(with[0x14], 0xB0);
    EXPECT_EQ(with[0x15], 0x04);

    CoolingDevice fan = smbios_sample::Fan();
    fan.nominalSpeed.reset();
    EXPECT_EQ(SmbiosTableBuilder().AddCoolingDevice(fan).Build(),
              (Bytes{27, 0x0C, 0x41, 0x00, 0x42, 0x00, 0x67, 2, 1, 0, 0, 0, 0, 0}));
    EXPECT_EQ(SmbiosTableBuilder().AddCoolingDevice(smbios_sample::Fan()).Build()[1], 0x0E);
    fan.description = "Fan";
    const Bytes described = SmbiosTableBuilder().AddCoolingDevice(fan).Build();
    EXPECT_EQ(described[1], 0x0F);
    EXPECT_EQ(described[0x0C], 0x00);
    EXPECT_EQ(described[0x0D], 0x80);
    EXPECT_EQ(described[0x0E], 1);
}

TEST(SmbiosTableBuilder, WritesDevicesComponentsThresholdsLedsAndTheEnd) {
    EXPECT_EQ(
        SmbiosTableBuilder()
            .AddManagementDevice(smbios_sample::Device(0x0030, "SP", 0x2B0))
            .AddComponent(smbios_sample::Component(0x0060, "", 0x0030, 0x0041, kSmbiosNoHandle))
            .AddThreshold(smbios_sample::Threshold(0x0050))
            .AddLed({0x0070, 0x0104, "Disk"})
            .AddEndOfTable(0xFEFF)
            .Build(),
        (Bytes{34, 0x0B, 0x30, 0x00, 1,    0x0B, 0xB0, 0x02, 0x00, 0x00, 0x04, 'S',  'P',
               0,  0,    35,   0x0B, 0x60, 0x00, 0,    0x30, 0x00, 0x41, 0x00, 0xFF, 0xFF,
               0,  0,    36,   0x10, 0x50, 0x00, 0x10, 0,    0x20, 0,    0x00, 0x80, 0x40,
               0,  0x50, 0,    0x60, 0,    0,    0,    128,  0x07, 0x70, 0x00, 0x04, 0x01,
               1,  'D',  'i',  's',  'k',  0,    0,    127,  0x04, 0xFF, 0xFE, 0,    0}));
}

TEST(SmbiosTableBuilder, AssignsHandlesAfterTheLastOne) {
    SmbiosTableBuilder builder;
    EXPECT_EQ(builder.LastHandle(), 0);
    builder.AddEndOfTable();
    EXPECT_EQ(builder.LastHandle(), 0x0000);
    builder.AddEndOfTable(0x0030);
    builder.AddLed(Led());
    EXPECT_EQ(builder.LastHandle(), 0x0031);
    const Bytes table = builder.Build();
    EXPECT_EQ(table[6 + 2], 0x30);
    EXPECT_EQ(table[12 + 2], 0x31);
}

TEST(SmbiosTableBuilder, WritesRawStructuresOfAnyShape) {
    RawStructure raw;
    raw.type = 0xC0;
    raw.handle = 0x1234;
    raw.formatted = {0xAA};
    raw.strings = {"a", "", "b"};
    EXPECT_EQ(SmbiosTableBuilder().AddRaw(raw).Build(),
              (Bytes{0xC0, 5, 0x34, 0x12, 0xAA, 'a', 0, 0, 'b', 0, 0}));
    raw.length = 0x40;
    raw.strings = {"a"};
    raw.end = StringSetEnd::kNoFinalNul;
    EXPECT_EQ(SmbiosTableBuilder().AddRaw(raw).Build(),
              (Bytes{0xC0, 0x40, 0x34, 0x12, 0xAA, 'a', 0}));
    raw.strings.clear();
    EXPECT_EQ(SmbiosTableBuilder().AddRaw(raw).Build(), (Bytes{0xC0, 0x40, 0x34, 0x12, 0xAA, 0}));
    raw.end = StringSetEnd::kNothing;
    EXPECT_EQ(SmbiosTableBuilder().AddRaw(raw).AddBytes({1, 2}).Build(),
              (Bytes{0xC0, 0x40, 0x34, 0x12, 0xAA, 1, 2}));
}

TEST(SmbiosTableBuilder, RefusesTextsItCannotWrite) {
    Led led;
    led.description = std::string("a\0b", 3);
    SmbiosTableBuilder builder;
    EXPECT_THROW(builder.AddLed(led), std::invalid_argument);
    RawStructure tooLong;
    tooLong.formatted.assign(252, 0);
    EXPECT_THROW(builder.AddRaw(tooLong), std::invalid_argument);
}

TEST(SmbiosDump, PutsAnSmbios3EntryPointBeforeTheTable) {
    const Bytes table = {127, 4, 0, 0, 0, 0};
    const Bytes dump = MakeSmbios3Dump(table);
    ASSERT_EQ(dump.size(), 0x20u + table.size());
    EXPECT_EQ(std::string(dump.begin(), dump.begin() + 5), "_SM3_");
    EXPECT_EQ(dump[0x06], 0x18);
    EXPECT_EQ(dump[0x07], 3);
    uint8_t sum = 0;
    for (size_t i = 0; i < 0x18; ++i) {
        sum = static_cast<uint8_t>(sum + dump[i]);
    }
    EXPECT_EQ(sum, 0);
    EXPECT_EQ(dump[0x0C], table.size());
    EXPECT_EQ(dump[0x10], 0x20);
    EXPECT_EQ(Bytes(dump.begin() + 0x20, dump.end()), table);
}

}  // namespace
