// The sensor selection (globs, kinds, renames) and --config.file: its errors
// named by line and column, its bounds, and the command line winning.
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "../SnapshotSamples.h"
#include "config/ConfigFile.h"

namespace {

TEST(SensorSelection, Globs) {
    const std::pair<const char*, const char*> matches[] = {
        {"CPU*", "CPU Fan 1"},  {"*Fan?", "CPU Fan1"},  {"[+-]12 V", "-12 V"},
        {"Fan [1-3]", "Fan 2"}, {"\\*Spare", "*Spare"}, {"*a*b*c", "xaxbxbxc"},
        {"T?mp", "T°mp"},  // one character, two bytes
    };
    const std::pair<const char*, const char*> misses[] = {
        {"CPU*", "A CPU"},      {"*Fan?", "CPU Fan"},  {"[!+]12 V", "+12 V"},
        {"Fan [1-3]", "Fan 4"}, {"\\*Spare", "Spare"}, {"a", "ab"},
    };
    std::string error;
    for (const auto& [glob, text] : matches) {
        EXPECT_TRUE(ValidGlob(glob, error) && GlobMatches(glob, text)) << glob << " " << text;
    }
    for (const auto& [glob, text] : misses) {
        EXPECT_FALSE(GlobMatches(glob, text)) << glob << " " << text;
    }
    for (const char* bad : {"", "Fan [1-3", "trailing\\", "[!"}) {
        EXPECT_FALSE(ValidGlob(bad, error)) << bad;
    }
}

// Filters and renames through every format are tested end to end; here the
// kind-and-glob rule and the rename that would make two entries look alike.
TEST(SensorSelection, RulesAndRefusedRenames) {
    Snapshot snapshot;
    snapshot.sensors = {Sensor(0x20000, L"CPU Fan", 19, 0, 3000),
                        Sensor(0x30000, L"CPU Temperature", 2, -1, 480)};
    snapshot.leds = {Led(0x40000, 0, 1, L"Power", 1)};
    SensorSelection selection;
    selection.include = {{"CPU*", "temperature"}, {"Power", ""}};
    selection.rename = {{{"", "led"}, "CPU Temperature"}};
    std::vector<std::string> refused;
    ApplySelection(selection, snapshot, &refused);
    ASSERT_EQ(snapshot.sensors.size(), 1u);
    EXPECT_EQ(snapshot.sensors[0].handle, 0x30000u);
    ASSERT_EQ(snapshot.leds.size(), 1u);
    EXPECT_EQ(snapshot.leds[0].information.Description, L"Power") << "not renamed";
    EXPECT_EQ(refused.size(), 1u);
}

std::string Error(const std::string& text) {
    MonitorConfig config;
    std::string error;
    EXPECT_FALSE(ParseMonitorConfig(text, "m.yaml", config, error)) << text;
    return error;
}

TEST(ConfigFile, RefusalsNameTheLineAndColumn) {
    EXPECT_EQ(Error("sensors:\n  exclude: [{descripton: x}]\n"),
              "m.yaml:2:14: unknown key 'descripton'");
    EXPECT_EQ(Error("sensors:\n  include:\n    - {kind: fans}\n"),
              "m.yaml:3:14: kind: expected voltage, fan, temperature or led, not 'fans'");
    EXPECT_EQ(Error("sensors:\n  exclude: [{description: 'Fan [1'}]\n").substr(0, 12),
              "m.yaml:2:27:");
    EXPECT_EQ(Error("sensors:\n  rename:\n    - {description: A, to: X}\n"
                    "    - {kind: fan, to: X}\n"),
              "m.yaml:4:7: rename: 'X' is already the name of another rename");
    EXPECT_EQ(Error("help: true\n"), "m.yaml:1:1: 'help' cannot be given in a file");
    EXPECT_EQ(Error("interval: 2\ninterval: 3\n"), "m.yaml:2:1: 'interval' is given twice");
    EXPECT_EQ(Error("interval: [2, 3]\n"), "m.yaml:1:11: interval: expected a single value");
    EXPECT_EQ(Error("a: [1,\n").substr(0, 9), "m.yaml:2:");
}

TEST(ConfigFile, TheCommandLineWins) {
    MonitorConfig config;
    std::string error;
    ASSERT_TRUE(
        ParseMonitorConfig("interval: 2\nlisten: ['9723', '9724']\nlog-level: 3\n"
                           "sensors:\n  include: [{kind: fan}]\n  exclude: [{kind: led}]\n"
                           "  rename: [{description: CPU Fan, to: P}]\n",
                           "m.yaml", config, error))
        << error;
    const char* const argv[] = {
        "svcproc-monitor", "--config.file", "m.yaml", "--web.listen-address", "9800",
        "--interval=5",    "--include",     "CPU*"};
    MonitorOptions options;
    ASSERT_TRUE(ParseMonitorOptions(8, argv, options, error)) << error;
    ASSERT_TRUE(ApplyMonitorConfig(config, 8, argv, options, error)) << error;
    EXPECT_EQ(options.intervalSeconds, 5);
    EXPECT_EQ(options.listen, std::vector<std::string>{"9800"}) << "the alias counts as given";
    EXPECT_EQ(options.logLevel, 3) << "what the command line leaves to the file";
    ASSERT_EQ(options.selection.include.size(), 1u);
    EXPECT_EQ(options.selection.include[0].description, "CPU*");
    ASSERT_EQ(options.selection.exclude.size(), 1u);
    EXPECT_EQ(options.selection.exclude[0].kind, "led");
    ASSERT_EQ(options.selection.rename.size(), 1u);

    ASSERT_TRUE(ParseMonitorConfig("interval: 0.001\n", "m.yaml", config, error));
    EXPECT_FALSE(ApplyMonitorConfig(config, 3, argv, options, error));
    EXPECT_EQ(error.rfind("m.yaml:1:1: interval: ", 0), 0u) << error;
}

TEST(ConfigFile, OnlyRegularFilesWithinTheBound) {
    MonitorConfig config;
    std::string error;
    EXPECT_FALSE(LoadMonitorConfig(testing::TempDir(), config, error));
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
    const std::string big = testing::TempDir() + "/big.yaml";
    std::ofstream(big) << "# " << std::string(kMaxConfigFileBytes, 'x') << "\n";
    EXPECT_FALSE(LoadMonitorConfig(big, config, error));
    EXPECT_NE(error.find("larger than"), std::string::npos) << error;
    std::filesystem::resize_file(big, kMaxConfigFileBytes - 10);
    EXPECT_TRUE(LoadMonitorConfig(big, config, error)) << error;
}

}  // namespace
