// Machine descriptions: what a good file gives, and where a bad one is wrong.
#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <string>

#include <gtest/gtest.h>

#include "DefaultMachine.h"
#include "JsonLineIndex.h"
#include "MachineParser.h"

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

TEST(JsonLineIndex, GivesTheLineWhereEachValueStarts) {
    const std::string text = Text({
        R"({"a": {"b/c": 1,)",   // 1
        R"(  "d~e": [)",         // 2
        R"(    2,)",             // 3
        R"(    "x\"y",)",        // 4
        R"(    {"f": null}],)",  // 5
        R"(  "g": "multi)",      // 6: the string goes on
        R"(" },)",               // 7
        R"( "h": 3})",           // 8
    });
    // The string on lines 6-7 is not JSON (a raw line end); the index does
    // not judge, counts the line and goes on.
    const CJsonLineIndex index(text);
    EXPECT_EQ(index.LineOf(""), 1);
    EXPECT_EQ(index.LineOf("/a/b~1c"), 1);
    EXPECT_EQ(index.LineOf("/a/d~0e"), 2);
    EXPECT_EQ(index.LineOf("/a/d~0e/0"), 3);
    EXPECT_EQ(index.LineOf("/a/d~0e/1"), 4);
    EXPECT_EQ(index.LineOf("/a/d~0e/2/f"), 5);
    EXPECT_EQ(index.LineOf("/h"), 8);
    EXPECT_EQ(index.LineOf("/a/d~0e/2/missing"), 5) << "the nearest ancestor";
    EXPECT_EQ(index.LineOf("/nothing/below"), 1);
    EXPECT_EQ(CJsonLineIndex("").LineOf(""), 0);
}

TEST(JsonLineIndex, EscapedKeysAndNumbersAtLineEnds) {
    const std::string text = Text({
        R"({"\u0041\/": [1)",  // 1
        R"(, 2)",              // 2
        R"(]})",               // 3
    });
    const CJsonLineIndex index(text);
    EXPECT_EQ(index.LineOf("/A~1/0"), 1) << "a number ended by a line end stays on its line";
    EXPECT_EQ(index.LineOf("/A~1/1"), 2);
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

struct BadCase {
    const char* name;
    std::string text;
    const char* place;    // "m.json:<line>: <pointer>: "
    const char* problem;  // a part of the message
};

class MachineParserBadFile : public testing::TestWithParam<BadCase> {};

TEST_P(MachineParserBadFile, NamesFieldAndLine) {
    const std::string error = ErrorOf(GetParam().text);
    EXPECT_EQ(error.rfind(GetParam().place, 0), 0u) << error;
    EXPECT_NE(error.find(GetParam().problem), std::string::npos) << error;
}

const BadCase kBadCases[] = {
    {"NotAnObject", "[]\n", "m.json:1: /: ", "expected an object"},
    {"MissingBios", Text({"{", R"(  "name": "x")", "}"}), "m.json:1: /bios: ", "missing"},
    {"WrongVersion", Text({"{", R"(  "version": 2,)", R"(  "bios": {"version": "85"}})"}),
     "m.json:2: /version: ", "version 1"},
    {"UnknownMember",
     Text({R"({"bios": {"version": "85"},)", R"( "sensors": [{"kind": "fan", "index": 0,)",
           R"(   "description": "F",)", R"(   "treshold": {}}]})"}),
     "m.json:4: /sensors/0/treshold: ", "unknown member"},
    {"MissingDescription",
     Text({R"({"bios": {"version": "85"},)", R"( "sensors": [)",
           R"(   {"kind": "fan", "index": 0}]})"}),
     "m.json:3: /sensors/0/description: ", "missing"},
    {"WrongType",
     Text({R"({"bios": {"version": "85"},)", R"( "sensors": [{"kind": "fan",)",
           R"(   "index": "two", "description": "F"}]})"}),
     "m.json:3: /sensors/0/index: ", "expected a whole number"},
    {"UnknownKind",
     Text({R"({"bios": {"version": "85"},)",
           R"( "sensors": [{"kind": "fann", "index": 0, "description": "F"}]})"}),
     "m.json:2: /sensors/0/kind: ", "\"fann\""},
    {"OutOfRange",
     Text({R"({"bios": {"version": "85"}, "sensors": [)",
           R"(  {"kind": "voltage", "index": 0, "description": "V",)", R"(   "nominal": 40}]})"}),
     "m.json:3: /sensors/0/nominal: ", "from 0 to 32.767 V"},
    {"IndexBeyondAReport",
     Text({R"({"bios": {"version": "85"}, "sensors": [)",
           R"(  {"kind": "fan", "index": 29, "description": "F"}]})"}),
     "m.json:2: /sensors/0/index: ", "29 readings at most"},
    {"IndexTaken",
     Text({R"({"bios": {"version": "85"}, "sensors": [)",
           R"(  {"kind": "fan", "index": 1, "description": "A"},)",
           R"(  {"kind": "fan", "index": 1, "description": "B"}]})"}),
     "m.json:3: /sensors/1/index: ", "taken by /sensors/0"},
    {"FanWithLimits",
     Text({R"({"bios": {"version": "85"}, "sensors": [)",
           R"(  {"kind": "fan", "index": 0, "description": "F",)",
           R"(   "limits": {"max": 5000}}]})"}),
     "m.json:3: /sensors/0/limits: ", "Type 27"},
    {"ScriptOutOfOrder",
     Text({R"({"bios": {"version": "85"}, "sensors": [)",
           R"(  {"kind": "fan", "index": 0, "description": "F", "behaviour": {"script": [)",
           R"(    {"at": 5, "value": 100},)", R"(    {"at": 4, "value": 0}]}}]})"}),
     "m.json:4: /sensors/0/behaviour/script/1/at: ", "earlier than the step before it"},
    {"LedNamesNoSensor",
     Text({R"({"bios": {"version": "85"},)", R"( "leds": [{"bitMap": 1, "description": "Fault",)",
           R"(   "drive": {"whileCritical": ["*", "CPU Fan"]}}]})"}),
     "m.json:3: /leds/0/drive/whileCritical/1: ", "no sensor is described \"CPU Fan\""},
    {"LedWithoutBits",
     Text({R"({"bios": {"version": "85"},)", R"( "leds": [{"bitMap": "0x0000",)",
           R"(   "description": "L"}]})"}),
     "m.json:2: /leds/0/bitMap: ", "at least one bit"},
    {"BadHex",
     Text({R"({"bios": {"version": "85"},)", R"( "leds": [{"bitMap": "0x1G",)",
           R"(   "description": "L"}]})"}),
     "m.json:2: /leds/0/bitMap: ", "hexadecimal"},
    {"ReplayWithSensors", Text({R"({"smbiosTable": "t.bin",)", R"( "sensors": []})"}),
     "m.json:2: /sensors: ", "not allowed with \"smbiosTable\""},
    {"ReplayOfAMissingFile", Text({R"({"smbiosTable": "no-such-table.bin"})"}),
     "m.json:1: /smbiosTable: ", "cannot read /nonexistent-dir/no-such-table.bin"},
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
