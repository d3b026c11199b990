// A structure whose fields, as its store operation reads them, would run past
// the end of the table: stored when they just fit, otherwise not stored and
// the walk ends there with the level-1 past-end line.
#include <gtest/gtest.h>

#include <memory>

#include "ParserTestSupport.h"
#include "svcproc/smbios/SMBiosChipData.h"
#include "svcproc/smbios/SMBiosLedData.h"
#include "svcproc/smbios/SMBiosSensorData.h"

namespace smbios_test {
namespace {

using svcp::sim::RawStructure;
using svcp::sim::SmbiosTableBuilder;
using svcp::sim::StringSetEnd;

struct Case {
    uint8_t type;
    size_t extent;        // bytes the store operation reads
    const char* heading;  // logged when it stores
};

const Case kCases[] = {
    {26, 0x16, "CSMBiosSensorData::StoreType26"}, {27, 0x0E, "CSMBiosSensorData::StoreType27"},
    {28, 0x16, "CSMBiosSensorData::StoreType28"}, {34, 0x0B, "CSMBiosChipData::StoreType34"},
    {35, 0x0B, "CSMBiosSensorData::StoreType35"}, {36, 0x10, "CSMBiosSensorData::StoreType36"},
    {128, 0x07, "CSMBiosLedData::StoreType128"},
};

std::unique_ptr<CSMBiosData> ParserFor(uint8_t type) {
    if (type == 34) {
        return std::make_unique<CSMBiosChipData>();
    }
    if (type == 128) {
        return std::make_unique<CSMBiosLedData>();
    }
    return std::make_unique<CSMBiosSensorData>(0x0030);
}

// The Type 0 structure, then one of `type` whose `available` bytes end the
// table. Its length byte claims the full extent and no strings.
std::vector<uint8_t> TableEndingIn(uint8_t type, size_t extent, size_t available) {
    RawStructure last;
    last.type = type;
    last.handle = 0x0077;
    last.length = static_cast<uint8_t>(extent);
    last.formatted.assign(available - 4, 0x11);
    last.end = StringSetEnd::kNothing;
    return SmbiosTableBuilder().AddBiosInformation(Bios()).AddRaw(last).Build();
}

class TruncatedStructure : public ParserTest {};

TEST_F(TruncatedStructure, IsStoredWhenItsFieldsJustFit) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.heading);
        std::unique_ptr<CSMBiosData> parser = ParserFor(c.type);
        parser->Initialise(Table(TableEndingIn(c.type, c.extent, c.extent)));
        EXPECT_TRUE(Logged(3, c.heading));
        EXPECT_FALSE(Logged("CSMBiosData::GetNextTable - Past end of SMBIOS, pCurrent=" +
                            Hex8(End() - c.extent)));
    }
}

TEST_F(TruncatedStructure, IsNotStoredWhenOneByteIsMissing) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.heading);
        std::unique_ptr<CSMBiosData> parser = ParserFor(c.type);
        EXPECT_FALSE(parser->Initialise(Table(TableEndingIn(c.type, c.extent, c.extent - 1))));
        const uint8_t* last = End() - (c.extent - 1);
        EXPECT_TRUE(Logged(3, "  Handle: 0x0077"));
        EXPECT_FALSE(Logged(3, c.heading));
        ASSERT_FALSE(LinesAt(1).empty());
        EXPECT_EQ(LinesAt(1)[0].text,
                  "CSMBiosData::GetNextTable - Past end of SMBIOS, pCurrent=" + Hex8(last));
    }
}

TEST_F(TruncatedStructure, OfAnotherParsersTypeIsSkippedAsUsual) {
    // A cut Type 26 is nothing to the LED parser: the walk ends silently.
    CSMBiosLedData leds;
    EXPECT_FALSE(leds.Initialise(Table(TableEndingIn(26, 0x16, 0x08))));
    EXPECT_EQ(
        LinesAt(1),
        (std::vector<LogLine>{{1, "CSMBiosLedData::Initialise - No Type 128 devices found"}}));
}

}  // namespace
}  // namespace smbios_test
