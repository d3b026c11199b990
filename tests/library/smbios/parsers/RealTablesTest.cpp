// One real machine's SMBIOS table (tests/data/smbios), walked by the three
// parsers and compared, structure for structure, with dmidecode's decoding of
// the same bytes.
//
//   smbios_table_tests <data folder> <table file, relative to the folder>
//
// The folder's README.md gives each table's structure count ("walker n").
// Tables under malformed/ are broken: their walk must stop, with a level-1
// line, where the table breaks.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "ParserTestSupport.h"
#include "support/Dmidecode.h"
#include "svcproc/smbios/SMBiosChipData.h"
#include "svcproc/smbios/SMBiosLedData.h"
#include "svcproc/smbios/SMBiosSensorData.h"

namespace smbios_test {
namespace {

std::string g_dataFolder;
std::string g_tableName;

struct Structure {
    int type;
    unsigned handle;
    bool operator==(const Structure& other) const {
        return type == other.type && handle == other.handle;
    }
};

void PrintTo(const Structure& s, std::ostream* os) {
    char text[32];
    std::snprintf(text, sizeof(text), "{type %d, 0x%04X}", s.type, s.handle);
    *os << text;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// The "walker n" column of the table's row in README.md, or -1.
int ReadmeCount(const std::string& name) {
    std::ifstream in(g_dataFolder + "/README.md");
    const std::string start = "| " + name + " |";
    for (std::string line; std::getline(in, line);) {
        if (line.compare(0, start.size(), start) == 0) {
            int bytes = 0, count = -1;
            if (std::sscanf(line.c_str() + start.size(), " %d | %d |", &bytes, &count) == 2) {
                return count;
            }
        }
    }
    return -1;
}

// The structures dmidecode decodes, from its "Handle 0x%04X, DMI type %d,
// %d bytes" lines.
std::vector<Structure> Dmidecode(const std::vector<uint8_t>& table) {
    std::vector<Structure> structures;
    std::istringstream text(DmidecodeText(table));
    for (std::string line; std::getline(text, line);) {
        unsigned handle = 0;
        int type = 0, bytes = 0;
        if (std::sscanf(line.c_str(), "Handle 0x%X, DMI type %d, %d bytes", &handle, &type,
                        &bytes) == 3) {
            structures.push_back({type, handle});
        }
    }
    return structures;
}

// The structures a parser walked: the first one from its Type 0 record, the
// others from its header dumps.
std::vector<Structure> Walked(const CSMBiosData& parser, const std::string& dumpLine) {
    std::vector<Structure> structures = {
        {parser.GetBiosInformation().type, parser.GetBiosInformation().handle}};
    const std::vector<LogLine> lines = LogCaptured();
    for (size_t i = 0; i + 4 < lines.size(); ++i) {
        if (lines[i].text.compare(0, dumpLine.size(), dumpLine) != 0) {
            continue;
        }
        unsigned hexType = 0, handle = 0;
        int type = -1;
        EXPECT_EQ(lines[i + 1].text, "Header:");
        EXPECT_EQ(std::sscanf(lines[i + 2].text.c_str(), "  Type:   0x%x, (%d)", &hexType, &type),
                  2);
        EXPECT_EQ(static_cast<int>(hexType), type);
        EXPECT_EQ(std::sscanf(lines[i + 4].text.c_str(), "  Handle: 0x%x", &handle), 1);
        structures.push_back({type, handle});
    }
    return structures;
}

bool IsMalformed() {
    return g_tableName.compare(0, 10, "malformed/") == 0;
}

class RealTable : public ParserTest {
protected:
    void SetUp() override {
        ParserTest::SetUp();
        m_bytes = ReadFile(g_dataFolder + "/" + g_tableName);
        ASSERT_FALSE(m_bytes.empty()) << g_dataFolder << "/" << g_tableName;
        Table(m_bytes);
    }

    // The chip parser's walk, with its log kept for the test to read.
    std::vector<Structure> WalkWithChipData() {
        CSMBiosChipData chip;
        LogCaptureClear();
        chip.Initialise(&m_raw);
        return Walked(chip, "CSMBiosChipData::GetStructures - pTable=0x");
    }

    std::vector<uint8_t> m_bytes;
};

TEST_F(RealTable, WalksAsManyStructuresAsTheReadmeCounts) {
    const int expected = ReadmeCount(g_tableName);
    ASSERT_GT(expected, 0) << "no README row for " << g_tableName;
    EXPECT_EQ(WalkWithChipData().size(), static_cast<size_t>(expected));
}

TEST_F(RealTable, WalksTheStructuresDmidecodeDecodes) {
    const std::vector<Structure> decoded = Dmidecode(m_bytes);
    ASSERT_FALSE(decoded.empty()) << "dmidecode decoded nothing";
    EXPECT_EQ(WalkWithChipData(), decoded);
}

TEST_F(RealTable, WalkEndsWhereTheTableEnds) {
    const std::vector<Structure> walked = WalkWithChipData();
    const std::vector<LogLine> errors = LinesAt(1);
    const std::string pastEnd = "CSMBiosData::GetNextTable - Past end of SMBIOS, pCurrent=";
    if (IsMalformed()) {
        ASSERT_FALSE(errors.empty());
        EXPECT_EQ(errors[0].text.rfind("CSMBiosData::GetNextTable - Invalid structure length", 0),
                  0u)
            << errors[0].text;
    } else if (walked.back().type == 127) {
        EXPECT_TRUE(Logged(3, "CSMBiosData::GetNextTable - End Structure (127) found"));
        for (const LogLine& line : errors) {
            EXPECT_NE(line.text.rfind("CSMBiosData::", 0), 0u) << line.text;
        }
    } else {
        // No Type 127: the last structure ends at the end of the buffer.
        ASSERT_FALSE(errors.empty());
        EXPECT_EQ(errors[0].text, pastEnd + Hex8(End()));
    }
}

TEST_F(RealTable, EveryParserWalksTheSameStructures) {
    const std::vector<Structure> byChip = WalkWithChipData();

    CSMBiosChipData chip;
    chip.Initialise(&m_raw);
    const uint16_t chipHandle = chip.GetDevices().empty() ? 0 : chip.GetDevices()[0]->handle;
    {
        CSMBiosSensorData sensors(chipHandle);
        LogCaptureClear();
        sensors.Initialise(&m_raw);
        EXPECT_EQ(Walked(sensors, "CSMBiosSensorData::GetStructures - pTable=0x"), byChip);
        for (const SMBiosSensor* sensor : sensors.GetSensors()) {
            EXPECT_GE(sensor->kind, kSensorKindVoltage);
            EXPECT_LE(sensor->kind, kSensorKindTemperature);
        }
    }
    {
        CSMBiosLedData leds;
        LogCaptureClear();
        leds.Initialise(&m_raw);
        EXPECT_EQ(Walked(leds, "CSMBiosLedData::GetStructures - pTable=0x"), byChip);
    }
}

}  // namespace
}  // namespace smbios_test

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <data folder> <table file>\n", argv[0]);
        return 2;
    }
    smbios_test::g_dataFolder = argv[1];
    smbios_test::g_tableName = argv[2];
    return RUN_ALL_TESTS();
}
