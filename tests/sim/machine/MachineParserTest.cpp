// Machine descriptions: what a good file gives, and where a bad one is wrong.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <string>

#include <gtest/gtest.h>

#include "DefaultMachine.h"
#include "MachineParser.h"
#include "RegularFile.h"
#include "support/TempDirectory.h"

namespace svcpsim {
namespace {

// Lines joined with line ends; line n of the text is lines[n - 1].
std::string Text(std::initializer_list<const char*> lines) {
    std::string text;
    for (const char* line : lines) {
        text += std::string(line) + "\n";
    }
    return text;
}

std::string ErrorOf(const std::string& text) {
    MachineDescription machine;
    std::string error;
    EXPECT_FALSE(ParseMachineDescription(text, "m.json", "/nonexistent-dir", &machine, &error));
    return error;
}

TEST(RegularFile, ReadsUpToItsLimitAndNoFurther) {
    const std::string path = testing::TempDir() + "/regular-file-test.bin";
    std::ofstream(path, std::ios::binary) << "0123456789";
    std::string bytes;
    std::string problem;
    ASSERT_TRUE(ReadRegularFile(path, 10, &bytes, &problem)) << problem;
    EXPECT_EQ(bytes, "0123456789");
    EXPECT_FALSE(ReadRegularFile(path, 9, &bytes, &problem));
    EXPECT_EQ(problem, "larger than 9 bytes");
    std::remove(path.c_str());
}

TEST(MachineParser, ReadsValuesInTheirUnitsIntoTableUnits) {
    MachineDescription machine;
    std::string error;
    ASSERT_TRUE(ParseMachineDescription(DefaultMachineText(), "pos.json", "", &machine, &error))
        << error;
    ASSERT_EQ(machine.sensors.size(), 12u);
    const SensorDescription& v33 = machine.sensors[0];
    EXPECT_EQ(v33.kind, SensorKind::Voltage);
    EXPECT_EQ(v33.nominal, 3300);  // millivolts
    EXPECT_EQ(v33.maximum, 4080);
    EXPECT_EQ(v33.resolution, 160);  // tenths of a millivolt
    EXPECT_EQ(v33.accuracy, 150);    // hundredths of a percent
    EXPECT_EQ(v33.thresholds[kLowerNonCritical], 3135);
    EXPECT_EQ(v33.thresholds[kLowerNonRecoverable], std::nullopt);
    EXPECT_DOUBLE_EQ(v33.behaviour.base, 3300) << "the nominal value without a base";
    EXPECT_DOUBLE_EQ(v33.behaviour.noise, 10);

    const SensorDescription& chassis = machine.sensors[7];
    EXPECT_EQ(chassis.description, "Chassis Fan");
    EXPECT_EQ(chassis.nominal, 1800);
    ASSERT_EQ(chassis.behaviour.script.size(), 2u);
    EXPECT_DOUBLE_EQ(chassis.behaviour.script[0].ramp, 1.5);

    const SensorDescription& cpu = machine.sensors[8];
    EXPECT_EQ(cpu.kind, SensorKind::Temperature);
    EXPECT_EQ(cpu.nominal, 480);     // tenths of a degree
    EXPECT_EQ(cpu.resolution, 500);  // thousandths of a degree
    EXPECT_EQ(cpu.thresholds[kUpperCritical], 850);
    EXPECT_DOUBLE_EQ(cpu.behaviour.script[0].value, 920);

    EXPECT_EQ(machine.serviceProcessor.description, "Orvane Telk Service Processor");
    EXPECT_EQ(machine.serviceProcessor.address, 0x2B0u);
    ASSERT_EQ(machine.leds.size(), 4u);
    EXPECT_EQ(machine.leds[2].bitMap, 0x0004);
    EXPECT_EQ(machine.leds[2].drive.mode, LedDrive::Mode::Blink);
    EXPECT_EQ(machine.leds[1].drive.sensors, std::vector<std::string>{"*"});
}

TEST(MachineParser, DefaultsForWhatTheFileLeavesOut) {
    MachineDescription machine;
    std::string error;
    ASSERT_TRUE(ParseMachineDescription(
        Text({R"({"bios": {"version": "84"},)",
              R"( "sensors": [{"kind": "temperature", "index": 3, "description": "T",)",
              R"(              "thresholds": {"lowerCritical": 10, "upperCritical": 60}}]})"}),
        "m.json", "", &machine, &error))
        << error;
    EXPECT_EQ(machine.serviceProcessor.description, kServiceProcessorDescription);
    EXPECT_TRUE(machine.leds.empty());
    EXPECT_EQ(machine.sensors[0].nominal, std::nullopt);
    EXPECT_DOUBLE_EQ(machine.sensors[0].behaviour.base, 350) << "the middle of the thresholds";
}

TEST(MachineParser, TextThatIsNotJsonIsReportedAtItsLineAndColumn) {
    const std::string error = ErrorOf(Text({
        R"({)",
        R"(  "bios": {"version": "85"},)",
        R"(  "sensors": [)",
        R"(    {"kind": "fan" "index": 0})",
        R"(  ])",
        R"(})",
    }));
    EXPECT_EQ(error.rfind("m.json:4:26: not valid JSON: ", 0), 0u) << error;
    EXPECT_EQ(ErrorOf("").rfind("m.json:1:1: not valid JSON", 0), 0u) << ErrorOf("");
}

// What a bad case gives the reader: its text in a file, or something that
// is not a regular file at that path, or an oversize file.
enum class Input { Text, DevZero, Directory, Fifo, Oversize };

struct BadCase {
    const char* name;
    std::string text;
    const char* place;    // the message's start: "$:<line>: <pointer>: ", $ the file
    const char* problem;  // a part of the message
    Input input = Input::Text;
};

std::string Replaced(std::string pattern, const std::string& path) {
    const size_t dollar = pattern.find('$');
    return dollar == std::string::npos ? pattern : pattern.replace(dollar, 1, path);
}

// N levels of arrays, one opening bracket per line.
std::string Nested(size_t levels) {
    std::string text;
    for (size_t i = 0; i < levels; ++i) {
        text += "[\n";
    }
    return text + std::string(levels, ']');
}

// Each case goes through the file reader as the tools use it: refused with
// one line naming the place, nothing crashing (the suite also runs under
// ASan, where a deep recursion would overflow the stack).
class MachineParserBadFile : public testing::TestWithParam<BadCase> {
protected:
    void SetUp() override { ASSERT_FALSE(m_sDirectory.empty()); }

    // The path the case is read from.
    std::string Prepare(const BadCase& bad) const {
        const std::string path = m_sDirectory + "/m.json";
        switch (bad.input) {
            case Input::Text:
                std::ofstream(path, std::ios::binary) << bad.text;
                break;
            case Input::DevZero:
                return "/dev/zero";
            case Input::Directory:
                EXPECT_EQ(mkdir(path.c_str(), 0700), 0);
                break;
            case Input::Fifo:
                EXPECT_EQ(mkfifo(path.c_str(), 0600), 0);
                break;
            case Input::Oversize: {
                std::ofstream file(path, std::ios::binary);
                file << "{\"bios\": {\"version\": \"85\"}}";
                file << std::string(kMaxMachineFileSize, ' ');
                break;
            }
        }
        return path;
    }

    CTempDirectory m_Directory{"svcp-parser"};
    const std::string& m_sDirectory = m_Directory.Path();
};

TEST_P(MachineParserBadFile, NamesFileLineAndPointer) {
    const std::string path = Prepare(GetParam());
    MachineDescription machine;
    std::string error;
    ASSERT_FALSE(LoadMachineDescription(path, &machine, &error));
    EXPECT_EQ(error.rfind(Replaced(GetParam().place, path), 0), 0u) << error;
    EXPECT_NE(error.find(GetParam().problem), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << "one line";
    EXPECT_LT(error.size(), path.size() + 400) << "never the whole of a value";
}

const BadCase kBadCases[] = {
    {"NotAnObject", "[]\n", "$:1: /: ", "expected an object"},
    {"MissingBios", Text({"{", R"(  "name": "x")", "}"}), "$:1: /bios: ", "missing"},
    {"WrongVersion", Text({"{", R"(  "version": 2,)", R"(  "bios": {"version": "85"}})"}),
     "$:2: /version: ", "version 1"},
    {"UnknownMember",
     Text({R"({"bios": {"version": "85"},)", R"( "sensors": [{"kind": "fan", "index": 0,)",
           R"(   "description": "F",)", R"(   "treshold": {}}]})"}),
     "$:4: /sensors/0/treshold: ", "unknown member"},
    {"MissingDescription",
     Text({R"({"bios": {"version": "85"},)", R"( "sensors": [)",
           R"(   {"kind": "fan", "index": 0}]})"}),
     "$:3: /sensors/0/description: ", "missing"},
    {"WrongType",
     Text({R"({"bios": {"version": "85"},)", R"( "sensors": [{"kind": "fan",)",
           R"(   "index": "two", "description": "F"}]})"}),
     "$:3: /sensors/0/index: ", "expected a whole number"},
    {"UnknownKind",
     Text({R"({"bios": {"version": "85"},)",
           R"( "sensors": [{"kind": "fann", "index": 0, "description": "F"}]})"}),
     "$:2: /sensors/0/kind: ", "\"fann\""},
    {"OutOfRange",
     Text({R"({"bios": {"version": "85"}, "sensors": [)",
           R"(  {"kind": "voltage", "index": 0, "description": "V",)", R"(   "nominal": 40}]})"}),
     "$:3: /sensors/0/nominal: ", "from 0 to 32.767 V"},
    {"IndexBeyondAReport",
     Text({R"({"bios": {"version": "85"}, "sensors": [)",
           R"(  {"kind": "fan", "index": 29, "description": "F"}]})"}),
     "$:2: /sensors/0/index: ", "29 readings at most"},
    {"IndexTaken",
     Text({R"({"bios": {"version": "85"}, "sensors": [)",
           R"(  {"kind": "fan", "index": 1, "description": "A"},)",
           R"(  {"kind": "fan", "index": 1, "description": "B"}]})"}),
     "$:3: /sensors/1/index: ", "taken by /sensors/0"},
    {"FanWithLimits",
     Text({R"({"bios": {"version": "85"}, "sensors": [)",
           R"(  {"kind": "fan", "index": 0, "description": "F",)",
           R"(   "limits": {"max": 5000}}]})"}),
     "$:3: /sensors/0/limits: ", "Type 27"},
    {"ScriptOutOfOrder",
     Text({R"({"bios": {"version": "85"}, "sensors": [)",
           R"(  {"kind": "fan", "index": 0, "description": "F", "behaviour": {"script": [)",
           R"(    {"at": 5, "value": 100},)", R"(    {"at": 4, "value": 0}]}}]})"}),
     "$:4: /sensors/0/behaviour/script/1/at: ", "earlier than the step before it"},
    {"LedNamesNoSensor",
     Text({R"({"bios": {"version": "85"},)", R"( "leds": [{"bitMap": 1, "description": "Fault",)",
           R"(   "drive": {"whileCritical": ["*", "CPU Fan"]}}]})"}),
     "$:3: /leds/0/drive/whileCritical/1: ", "no sensor is described \"CPU Fan\""},
    {"LedWithoutBits",
     Text({R"({"bios": {"version": "85"},)", R"( "leds": [{"bitMap": "0x0000",)",
           R"(   "description": "L"}]})"}),
     "$:2: /leds/0/bitMap: ", "at least one bit"},
    {"BadHex",
     Text({R"({"bios": {"version": "85"},)", R"( "leds": [{"bitMap": "0x1G",)",
           R"(   "description": "L"}]})"}),
     "$:2: /leds/0/bitMap: ", "hexadecimal"},
    {"ReplayWithSensors", Text({R"({"smbiosTable": "t.bin",)", R"( "sensors": []})"}),
     "$:2: /sensors: ", "not allowed with \"smbiosTable\""},
    {"ReplayOfAMissingFile", Text({R"({"smbiosTable": "no-such-table.bin"})"}),
     "$:1: /smbiosTable: ", "no-such-table.bin: No such file or directory"},
    {"ReplayOfADevice", Text({R"({"smbiosTable": "/dev/zero"})"}),
     "$:1: /smbiosTable: ", "cannot read /dev/zero: not a regular file (a character device)"},
    {"ReplayOfADirectory", Text({R"({"smbiosTable": "/"})"}),
     "$:1: /smbiosTable: ", "cannot read /: not a regular file (a directory)"},
    {"LedBitMapTaken",
     Text({R"({"bios": {"version": "85"}, "leds": [)", R"(  {"bitMap": 4, "description": "A"},)",
           R"(  {"bitMap": "0x0004", "description": "B"}]})"}),
     "$:3: /leds/1/bitMap: ", "bit map 0x0004 is taken by /leds/0"},
    {"NameNotAString", Text({R"({"bios": {"version": "85"},)", R"( "name": {"first": "x"}})"}),
     "$:2: /name: ", "expected a string, not an object"},
    {"SensorsNotAnArray", Text({R"({"bios": {"version": "85"},)", R"( "sensors": {}})"}),
     "$:2: /sensors: ", "expected an array, not {}"},
    {"LongStringCut",
     Text({R"({"bios": {"version": "85"}, "sensors": [{"index": 0, "description": "F",)",
           R"( "kind": "fanfanfanfanfanfanfanfanfanfanfanfanfanfanfanfanfanfanfan"}]})"}),
     "$:2: /sensors/0/kind: ", "not \"fanfanfanfanfanfanfanfanfanfanfanfanf...\""},
    {"HugeUnknownKey",
     "{\"bios\": {\"version\": \"85\"},\n \"" + std::string(100000, 'k') + "\": 1}\n",
     "$:2: /kkkkkkkkkk", "unknown member"},
    {"DeepestAllowed",
     "{\"bios\": {\"version\": \"85\"},\n\"name\":\n" + Nested(kMaxDescriptionDepth - 1) + "}",
     "$:3: /name: ", "expected a string, not an array"},
    {"OneLevelTooDeep",
     "{\"bios\": {\"version\": \"85\"},\n\"name\":\n" + Nested(kMaxDescriptionDepth) + "}",
     "$:66: /name/0/0/0/", "nested more than 64 levels deep"},
    {"NestedTwentyThousandDeep",
     "{\"bios\": {\"version\": \"85\"},\n\"name\":\n" + Nested(20000) + "}", "$:66: /name/0/0/0/",
     "nested more than 64 levels deep"},
    {"DeepArrayOf400KB", std::string(200000, '[') + std::string(200000, ']'), "$:1: /0/0/0/",
     "nested more than 64 levels deep"},
    {"Oversize", "", "cannot read $: ", "larger than 4 MiB", Input::Oversize},
    {"DevZero", "", "cannot read $: ", "not a regular file (a character device)", Input::DevZero},
    {"Directory", "", "cannot read $: ", "not a regular file (a directory)", Input::Directory},
    {"Fifo", "", "cannot read $: ", "not a regular file (a FIFO)", Input::Fifo},
};

INSTANTIATE_TEST_SUITE_P(Cases, MachineParserBadFile, testing::ValuesIn(kBadCases),
                         [](const testing::TestParamInfo<BadCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(MachineParser, LoadsAFileRelativeToItsDirectory) {
    const std::string directory = testing::TempDir();
    const std::string table = directory + "/parser-test-table.bin";
    const std::string description = directory + "/parser-test-machine.json";
    std::ofstream(table, std::ios::binary) << "\x01\x02";
    std::ofstream(description) << R"({"smbiosTable": "parser-test-table.bin"})";
    MachineDescription machine;
    std::string error;
    ASSERT_TRUE(LoadMachineDescription(description, &machine, &error)) << error;
    EXPECT_TRUE(machine.IsReplay());
    EXPECT_EQ(machine.smbiosTable, (std::vector<uint8_t>{1, 2}));
    std::remove(table.c_str());
    std::remove(description.c_str());

    EXPECT_FALSE(LoadMachineDescription(description, &machine, &error));
    EXPECT_EQ(error.rfind("cannot read " + description, 0), 0u) << error;
}

}  // namespace
}  // namespace svcpsim
