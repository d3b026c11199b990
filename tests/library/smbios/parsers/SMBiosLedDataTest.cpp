// LEDs from the OEM Type 128 structures.
#include <gtest/gtest.h>

#include "ParserTestSupport.h"
#include "svcproc/smbios/SMBiosLedData.h"

namespace smbios_test {
namespace {

using svcp::sim::Led;
using svcp::sim::RawStructure;
using svcp::sim::SmbiosTableBuilder;

Led MakeLed(uint16_t bitMap, const char* description) {
    Led led;
    led.bitMap = bitMap;
    led.description = description;
    return led;
}

class LedData : public ParserTest {};

TEST_F(LedData, ListsEveryLedInTableOrder) {
    CSMBiosLedData leds;
    ASSERT_TRUE(leds.Initialise(Table(SmbiosTableBuilder()
                                          .AddBiosInformation(Bios())
                                          .AddLed(MakeLed(0x0001, "Power"))
                                          .AddLed(MakeLed(0x0100, "Disk"))
                                          .AddLed(MakeLed(0x0001, ""))
                                          .AddEndOfTable()
                                          .Build())));
    const std::vector<SMBiosLed*>& records = leds.GetLeds();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0]->type, 128);
    EXPECT_EQ(records[0]->length, 7);
    EXPECT_EQ(records[0]->handle, 1);
    EXPECT_EQ(records[0]->description, "Power");
    EXPECT_EQ(records[1]->bitMap, 0x0100);
    EXPECT_EQ(records[1]->description, "Disk");
    // The same bit map twice: both are records; the cache decides.
    EXPECT_EQ(records[2]->bitMap, 0x0001);
    EXPECT_EQ(records[2]->descriptionString, 0);
    EXPECT_EQ(records[2]->description, "");
    EXPECT_TRUE(Logged(3, "CSMBiosLedData::Initialise - Initialised Ok - #LED(s)=3"));
}

TEST_F(LedData, BitMapIsALittleEndianWord) {
    RawStructure led;
    led.type = 128;
    led.handle = 0x0070;
    led.formatted = {0x04, 0x00, 0x01};
    led.strings = {"Status"};
    CSMBiosLedData leds;
    ASSERT_TRUE(leds.Initialise(
        Table(SmbiosTableBuilder().AddBiosInformation(Bios()).AddRaw(led).Build())));
    EXPECT_EQ(leds.GetLeds()[0]->bitMap, 0x0004);
    EXPECT_EQ(After("CSMBiosLedData::StoreType128", 2),
              (std::vector<std::string>{"  Description: Status", "  BitMap: 0x0004"}));
    EXPECT_TRUE(Logged(3, "CSMBiosLedData::GetStructures - pTable=" + Hex(Bytes() + 0x18 + 28)));
}

TEST_F(LedData, FailsWithoutLedsAndThenReadsAgain) {
    CSMBiosLedData leds;
    EXPECT_FALSE(leds.Initialise(
        Table(SmbiosTableBuilder().AddBiosInformation(Bios()).AddEndOfTable().Build())));
    EXPECT_EQ(
        LinesAt(1),
        (std::vector<LogLine>{{1, "CSMBiosLedData::Initialise - No Type 128 devices found"}}));
    ASSERT_TRUE(leds.Initialise(Table(
        SmbiosTableBuilder().AddBiosInformation(Bios()).AddLed(MakeLed(2, "Fault")).Build())));
    const SMBiosLed* kept = leds.GetLeds()[0];
    LogCaptureClear();
    EXPECT_TRUE(leds.Initialise(nullptr));
    EXPECT_EQ(Lines(),
              (std::vector<LogLine>{{3, "CSMBiosLedData::Initialise - Already initialised"}}));
    ASSERT_EQ(leds.GetLeds().size(), 1u);
    EXPECT_EQ(leds.GetLeds()[0], kept);
}

TEST_F(LedData, LogsItsLifeAroundTheBase) {
    { CSMBiosLedData leds; }
    EXPECT_EQ(Lines(), (std::vector<LogLine>{{3, "CSMBiosData Constructed"},
                                             {3, "CSMBiosLedData Constructed"},
                                             {3, "CSMBiosLedData Destroyed"},
                                             {3, "CSMBiosData Destroyed"}}));
}

}  // namespace
}  // namespace smbios_test
