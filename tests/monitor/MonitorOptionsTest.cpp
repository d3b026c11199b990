// The monitor's command line: what it accepts, at the edges of its ranges.
// (What it refuses is tested end to end, with the exit status.)
#include <clocale>
#include <cstdio>
#include <locale>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CommaLocale.h"
#include "run/MonitorOptions.h"
#include "monitor/ParsedOptions.h"

namespace {

TEST(MonitorOptions, AcceptsDecimalSecondsAtTheEdgesOfTheirRanges) {
    struct Row {
        std::vector<const char*> arguments;
        double interval;
        double duration;
    } rows[] = {
        {{"--interval", "0.05"}, 0.05, -1},
        {{"--interval=86400"}, 86400, -1},
        {{"--interval", "2.5", "--duration", "0.001"}, 2.5, 0.001},
        {{"--duration=315360000"}, 1, 315360000},
        {{"--interval", "1", "--interval", "3"}, 3, -1},  // the last one counts
    };
    for (const Row& row : rows) {
        MonitorOptions options;
        std::string error;
        ASSERT_TRUE(Parse(row.arguments, options, error)) << row.arguments[0] << ": " << error;
        EXPECT_EQ(options.intervalSeconds, row.interval) << row.arguments[0];
        EXPECT_EQ(options.durationSeconds, row.duration) << row.arguments[0];
    }
}

TEST(MonitorOptions, NumbersAreReadTheSameInAnyLocale) {
    if (!MakeCommaLocaleAvailable()) {
        GTEST_SKIP() << kCommaLocale << " is missing and localedef cannot make it";
    }
    const std::locale previous = std::locale::global(std::locale(kCommaLocale));
    char premise[16];
    std::snprintf(premise, sizeof premise, "%.1f", 3.3);
    ASSERT_STREQ(premise, "3,3");
    MonitorOptions options;
    std::string error;
    EXPECT_TRUE(Parse({"--interval", "0.5"}, options, error)) << error;
    EXPECT_EQ(options.intervalSeconds, 0.5);
    EXPECT_FALSE(Parse({"--interval", "0,5"}, options, error));
    EXPECT_TRUE(Parse({"--duration", "1.25"}, options, error)) << error;
    EXPECT_EQ(options.durationSeconds, 1.25);
    std::locale::global(previous);
    std::setlocale(LC_ALL, "C");
}

TEST(MonitorOptions, EveryOptionAndItsForms) {
    MonitorOptions options;
    std::string error;
    ASSERT_TRUE(Parse({"--watch", "--format=prometheus", "--output", "out.prom", "--color", "never",
                       "--log-level=0", "--log-file", "stderr", "--simulate=m.json"},
                      options, error))
        << error;
    EXPECT_EQ(options.mode, RunMode::Watch);
    EXPECT_EQ(options.format, OutputFormat::Prometheus);
    EXPECT_EQ(options.outputFile, "out.prom");
    EXPECT_EQ(options.color, ColorMode::Never);
    EXPECT_EQ(options.logLevel, 0);
    EXPECT_EQ(options.logFile, "stderr");
    EXPECT_TRUE(options.simulate);
    EXPECT_EQ(options.simulationFile, "m.json");

    MonitorOptions plain;
    ASSERT_TRUE(Parse({"--simulate", "--once"}, plain, error)) << error;
    EXPECT_TRUE(plain.simulate);
    EXPECT_EQ(plain.simulationFile, "") << "the built-in machine";
    EXPECT_EQ(plain.mode, RunMode::Once);
    EXPECT_EQ(plain.color, ColorMode::Auto);

    MonitorOptions asked;
    ASSERT_TRUE(Parse({"--version"}, asked, error));
    EXPECT_TRUE(asked.version);
    EXPECT_EQ(MonitorVersion().rfind("svcproc-monitor ", 0), 0u);
    ASSERT_TRUE(Parse({"-h"}, asked, error));
    EXPECT_TRUE(asked.help);
}

TEST(MonitorOptions, TheHelpTextListsEveryOptionAndExitStatus) {
    const std::string usage = MonitorUsage();
    for (const char* text :
         {"--once", "--watch", "--duration SECONDS", "--interval SECONDS", "--format FORMAT",
          "--output FILE", "--color WHEN", "--log-level N", "--log-file PATH", "--simulate[=FILE]",
          "--version", "NO_COLOR", "  64 ", "  74 ", "  2-6 "}) {
        EXPECT_NE(usage.find(text), std::string::npos) << text;
    }
}

}  // namespace
