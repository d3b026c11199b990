// The walk over the structure table, the string lookup and the Type 0 record,
// with the guards that keep every read inside the buffer.
#include <gtest/gtest.h>

#include "ParserTestSupport.h"
#include "svcproc/smbios/SMBiosChipData.h"
#include "svcproc/smbios/SMBiosData.h"

namespace smbios_test {
namespace {

using svcp::sim::RawStructure;
using svcp::sim::SmbiosTableBuilder;
using svcp::sim::StringSetEnd;

// The base's protected operations, reachable from the tests.
class Walker : public CSMBiosData {
public:
    bool Initialise(CRawSMBios* raw) override {
        AssignTable(raw);
        return true;
    }
    using CSMBiosData::GetNextTable;
    using CSMBiosData::GetSMBiosString;
    using CSMBiosData::GetStructureString;
    using CSMBiosData::StoreType00;
};

RawStructure Raw(uint8_t type, uint16_t handle, std::vector<uint8_t> formatted,
                 std::vector<std::string> strings = {}) {
    RawStructure raw;
    raw.type = type;
    raw.handle = handle;
    raw.formatted = std::move(formatted);
    raw.strings = std::move(strings);
    return raw;
}

class Walk : public ParserTest {};

TEST_F(Walk, ReturnsTheEndStructureWithItsDumpThenEnds) {
    CRawSMBios* raw =
        Table(SmbiosTableBuilder().AddBiosInformation(Bios()).AddEndOfTable(0x0042).Build());
    const uint8_t* end127 =
        Bytes() + 0x18 + sizeof("Orvane") + sizeof("85.01.07") + sizeof("03/14/2011") + 1;
    CSMBiosChipData chip;
    LogCaptureClear();
    EXPECT_FALSE(chip.Initialise(raw));
    const std::vector<LogLine> expected = {
        {3, "CSMBiosChipData::GetStructures - pTable=" + Hex(end127)},
        {3, "Header:"},
        {3, "  Type:   0x7f, (127)"},
        {3, "  Length: 0x04"},
        {3, "  Handle: 0x0042"},
        {3, "CSMBiosData::GetNextTable - End Structure (127) found"},
        {1, "CSMBiosChipData::Initialise - No Type 34 devices found"},
    };
    const std::vector<LogLine> lines = Lines();
    ASSERT_GE(lines.size(), expected.size());
    EXPECT_EQ(std::vector<LogLine>(lines.end() - expected.size(), lines.end()), expected);
}

TEST_F(Walk, WithoutEndStructureDispatchesTheLastOneThenStopsPastTheBuffer) {
    svcp::sim::ManagementDevice first, last;
    first.handle = 0x0010;
    last.handle = 0x0011;
    last.description = "last";
    CRawSMBios* raw = Table(SmbiosTableBuilder()
                                .AddBiosInformation(Bios())
                                .AddManagementDevice(first)
                                .AddManagementDevice(last)
                                .Build());
    CSMBiosChipData chip;
    EXPECT_TRUE(chip.Initialise(raw));
    ASSERT_EQ(chip.GetDevices().size(), 2u);
    EXPECT_EQ(chip.GetDevices()[1]->description, "last");
    EXPECT_EQ(LinesAt(1),
              (std::vector<LogLine>{
                  {1, "CSMBiosData::GetNextTable - Past end of SMBIOS, pCurrent=" + Hex8(End())}}));
}

TEST_F(Walk, NextStructureWhoseHeaderWouldPassTheEndIsNotReturned) {
    // Three bytes after the last structure: not room for a header.
    svcp::sim::ManagementDevice device;
    CRawSMBios* raw = Table(SmbiosTableBuilder()
                                .AddBiosInformation(Bios())
                                .AddManagementDevice(device)
                                .AddBytes({0x22, 0x0B, 0x00})
                                .Build());
    CSMBiosChipData chip;
    EXPECT_TRUE(chip.Initialise(raw));
    EXPECT_EQ(chip.GetDevices().size(), 1u);
    EXPECT_EQ(
        LinesAt(1),
        (std::vector<LogLine>{
            {1, "CSMBiosData::GetNextTable - Past end of SMBIOS, pCurrent=" + Hex8(End() - 3)}}));
}

TEST_F(Walk, StringSetWithoutDoubleNulEndsTheWalkSilently) {
    RawStructure open = Raw(34, 0x0020, {1, 0, 0, 0, 0, 0, 0}, {"open"});
    open.end = StringSetEnd::kNoFinalNul;
    CRawSMBios* raw = Table(SmbiosTableBuilder().AddBiosInformation(Bios()).AddRaw(open).Build());
    CSMBiosChipData chip;
    EXPECT_TRUE(chip.Initialise(raw));
    ASSERT_EQ(chip.GetDevices().size(), 1u);
    EXPECT_EQ(chip.GetDevices()[0]->description, "open");
    EXPECT_TRUE(LinesAt(1).empty());
}

TEST_F(Walk, NextStructureFollowsTheDoubleNulAfterTheFormattedArea) {
    // Zeros inside the formatted area do not end the structure.
    Walker walker;
    walker.Initialise(Table(SmbiosTableBuilder()
                                .AddBiosInformation(Bios())
                                .AddRaw(Raw(0x90, 1, {0, 0, 0, 0}))
                                .AddRaw(Raw(0x91, 2, {0, 0}, {"abc", "def"}))
                                .AddEndOfTable()
                                .Build()));
    const uint8_t* first = Bytes();
    const uint8_t* noStrings = walker.GetNextTable(first);
    ASSERT_EQ(noStrings, first + 0x18 + 7 + 9 + 11 + 1);
    const uint8_t* twoStrings = walker.GetNextTable(noStrings);
    ASSERT_EQ(twoStrings, noStrings + 8 + 2);
    const uint8_t* end = walker.GetNextTable(twoStrings);
    ASSERT_EQ(end, twoStrings + 6 + 8 + 1);
    EXPECT_EQ(end[0], 127);
    EXPECT_EQ(walker.GetNextTable(end), nullptr);
}

TEST_F(Walk, DumpsTheWholeHandleAndNeverDispatchesTheFirstStructure) {
    svcp::sim::ManagementDevice device;
    device.handle = 0x1234;
    CRawSMBios* raw =
        Table(SmbiosTableBuilder().AddManagementDevice(device).AddManagementDevice(device).Build());
    CSMBiosChipData chip;
    EXPECT_TRUE(chip.Initialise(raw));
    EXPECT_EQ(chip.GetDevices().size(), 1u);
    EXPECT_TRUE(Logged("  Handle: 0x1234"));
    EXPECT_TRUE(Logged("  Type:   0x22, (34)"));
}

TEST_F(Walk, StopsAtAStructureShorterThanItsHeader) {
    // The broken structure is neither dumped nor dispatched.
    svcp::sim::ManagementDevice device;
    RawStructure broken = Raw(34, 0x0099, {1, 0, 0, 0, 0, 0, 0}, {"x"});
    broken.length = 0;
    CRawSMBios* raw = Table(SmbiosTableBuilder()
                                .AddBiosInformation(Bios())
                                .AddManagementDevice(device)
                                .AddRaw(broken)
                                .AddManagementDevice(device)
                                .AddEndOfTable()
                                .Build());
    const uint8_t* brokenAt = Bytes() + 0x18 + 28 + 11 + 2;
    ASSERT_EQ(brokenAt[3], 0x00);
    ASSERT_EQ(brokenAt[2], 0x99);
    CSMBiosChipData chip;
    EXPECT_TRUE(chip.Initialise(raw));
    EXPECT_EQ(chip.GetDevices().size(), 1u);
    EXPECT_FALSE(Logged("  Handle: 0x0099"));
    EXPECT_EQ(LinesAt(1),
              (std::vector<LogLine>{{1,
                                     "CSMBiosData::GetNextTable - Invalid structure length 0x00, "
                                     "pCurrent=" +
                                         Hex8(brokenAt)}}));
}

TEST_F(Walk, StopsAtAFirstStructureShorterThanItsHeader) {
    CRawSMBios* raw = Table({0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x22, 0x0B, 0x01, 0x00});
    Walker walker;
    walker.Initialise(raw);
    EXPECT_EQ(walker.GetNextTable(Bytes()), nullptr);
    EXPECT_EQ(LinesAt(1),
              (std::vector<LogLine>{{1,
                                     "CSMBiosData::GetNextTable - Invalid structure length 0x02, "
                                     "pCurrent=" +
                                         Hex8(Bytes())}}));
}

TEST_F(Walk, WithoutTableLogsTheNullBufferAndFindsNothing) {
    CSMBiosChipData fromEmpty;
    EXPECT_FALSE(fromEmpty.Initialise(Table({})));
    CSMBiosChipData fromNothing;
    EXPECT_FALSE(fromNothing.Initialise(nullptr));
    const std::vector<LogLine> expected = {
        {1, "CSMBiosData::GetNextTable - m_pRawBytes==NULL"},
        {1, "CSMBiosChipData::Initialise - No Type 34 devices found"},
        {1, "CSMBiosData::GetNextTable - m_pRawBytes==NULL"},
        {1, "CSMBiosChipData::Initialise - No Type 34 devices found"},
    };
    EXPECT_EQ(LinesAt(1), expected);
    EXPECT_EQ(fromNothing.GetBiosInformation().length, 0);
    EXPECT_EQ(fromNothing.GetBiosVersion(), "");
}

TEST_F(Walk, TableShorterThanAHeaderEndsPastTheEnd) {
    CRawSMBios* raw = Table({0x00, 0x18, 0x34});
    CSMBiosChipData chip;
    EXPECT_FALSE(chip.Initialise(raw));
    EXPECT_EQ(LinesAt(1)[0].text,
              "CSMBiosData::GetNextTable - Past end of SMBIOS, pCurrent=" + Hex8(Bytes()));
    EXPECT_EQ(chip.GetBiosInformation().handle, 0x0034);
}

class Strings : public ParserTest {};

TEST_F(Strings, AreNumberedFromOneWithinTheirSet) {
    Walker walker;
    walker.Initialise(Table(
        SmbiosTableBuilder().AddRaw(Raw(0x90, 1, {}, {"abc", "def"})).AddEndOfTable().Build()));
    const uint8_t* set = Bytes() + 4;
    EXPECT_EQ(walker.GetSMBiosString(set, 0), "");
    EXPECT_EQ(walker.GetSMBiosString(set, 1), "abc");
    EXPECT_EQ(walker.GetSMBiosString(set, 2), "def");
    // Beyond the count: the set's end is not crossed into the next structure.
    EXPECT_EQ(walker.GetSMBiosString(set, 3), "");
    EXPECT_EQ(walker.GetSMBiosString(set, 255), "");
    EXPECT_EQ(walker.GetStructureString(Bytes(), 2), "def");
}

TEST_F(Strings, OfAStructureWithoutStringsAreEmpty) {
    Walker walker;
    walker.Initialise(Table(
        SmbiosTableBuilder().AddRaw(Raw(0x90, 1, {})).AddRaw(Raw(0x91, 2, {}, {"next"})).Build()));
    EXPECT_EQ(walker.GetStructureString(Bytes(), 1), "");
}

TEST_F(Strings, NotTerminatedInsideTheBufferAreEmpty) {
    RawStructure open = Raw(0x90, 1, {}, {"whole", "cut"});
    open.end = StringSetEnd::kNoFinalNul;
    std::vector<uint8_t> bytes = SmbiosTableBuilder().AddRaw(open).Build();
    bytes.pop_back();  // "cut" loses its NUL
    Walker walker;
    walker.Initialise(Table(bytes));
    EXPECT_EQ(walker.GetStructureString(Bytes(), 1), "whole");
    EXPECT_EQ(walker.GetStructureString(Bytes(), 2), "");
    EXPECT_EQ(walker.GetStructureString(Bytes(), 3), "");
}

TEST_F(Strings, OfASetBeyondTheBufferAreEmpty) {
    // The length byte puts the string-set past the end of the table.
    Walker walker;
    walker.Initialise(Table({0x90, 0x40, 0x01, 0x00, 'a', 0x00, 0x00}));
    EXPECT_EQ(walker.GetStructureString(Bytes(), 1), "");
    EXPECT_EQ(walker.GetSMBiosString(End(), 1), "");
}

class Type00 : public ParserTest {};

TEST_F(Type00, FillsTheRecordAndLogsItInOrder) {
    CRawSMBios* raw = Table(
        SmbiosTableBuilder().AddBiosInformation(smbios_sample::FullBios()).AddEndOfTable().Build());
    CSMBiosChipData chip;
    chip.Initialise(raw);

    const SMBiosBiosInformation& info = chip.GetBiosInformation();
    EXPECT_EQ(info.type, 0);
    EXPECT_EQ(info.length, 0x18);
    EXPECT_EQ(info.handle, 0x0102);
    EXPECT_EQ(info.vendorString, 1);
    EXPECT_EQ(info.versionString, 2);
    EXPECT_EQ(info.releaseDateString, 3);
    EXPECT_EQ(info.startingSegment, 0xE800);
    EXPECT_EQ(info.characteristics[7], 0x04);
    EXPECT_EQ(info.firmwareMinorRelease, 0x22);
    EXPECT_EQ(info.vendor, "Orvane");
    EXPECT_EQ(info.releaseDate, "03/14/2011");
    EXPECT_EQ(chip.GetBiosVersion(), "85.01.07");

    const std::vector<std::string> expected = {
        "  BIOS Vendor:            Orvane",     "  BIOS Version:           85.01.07",
        "  BIOS Release Date:      03/14/2011", "  BIOS Start Seg:         0xe800",
        "  BIOS ROM Size:          0x3f",       "  BIOS Characteristics:   0x80",
        "                          0x98",       "                          0x8b",
        "                          0x3f",       "                          0x01",
        "                          0x02",       "                          0x03",
        "                          0x04",       "  Extension Byte 1:       0x33",
        "  Extension Byte 2:       0x07",       "  BIOS Major Release:     0x02",
        "  BIOS Minor Release:     0x05",       "  Firmware Major Release: 0x11",
        "  Firmware Minor Release: 0x22",
    };
    EXPECT_EQ(After("CSMBiosChipData::StoreType00", 19), expected);
    EXPECT_TRUE(Logged(3, "CSMBiosChipData::StoreType00"));
}

TEST_F(Type00, ShortStructureLendsItsStringsToTheLaterFields) {
    svcp::sim::BiosInformation bios = Bios();
    bios.length = 0x14;  // no release bytes: they come from the string-set
    Walker walker;
    walker.Initialise(Table(SmbiosTableBuilder().AddBiosInformation(bios).AddEndOfTable().Build()));
    walker.StoreType00(Bytes());
    EXPECT_EQ(walker.GetBiosInformation().biosMajorRelease, 'O');
    EXPECT_EQ(walker.GetBiosInformation().firmwareMinorRelease, 'a');
    EXPECT_EQ(walker.GetBiosVersion(), "85.01.07");
}

TEST_F(Type00, TableShorterThanTheStructureReadsZerosBeyondIt) {
    const std::vector<uint8_t> bytes = {0x00, 0x18, 0x05, 0x00, 0x01, 0x02, 0x00, 0xF0, 0x03, 0x07};
    Walker walker;
    walker.Initialise(Table(bytes));
    walker.StoreType00(Bytes());
    const SMBiosBiosInformation& info = walker.GetBiosInformation();
    EXPECT_EQ(info.handle, 0x0005);
    EXPECT_EQ(info.startingSegment, 0xF000);
    EXPECT_EQ(info.romSize, 0x07);
    EXPECT_EQ(info.characteristics[0], 0);
    EXPECT_EQ(info.firmwareMinorRelease, 0);
    EXPECT_EQ(info.vendor, "");
    EXPECT_EQ(info.version, "");
    EXPECT_EQ(info.releaseDate, "");
    EXPECT_EQ(walker.GetNextTable(Bytes()), nullptr);
    EXPECT_TRUE(LinesAt(1).empty());
}

}  // namespace
}  // namespace smbios_test
