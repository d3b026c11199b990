// The machine-readable formats under a locale that writes 3,3 for 3.3: the
// process's C and C++ locales both set to de_DE.UTF-8, as a German machine
// with LC_ALL set would have them after the monitor's setlocale(LC_ALL, "").
// Prometheus output must still pass promtool (where it is installed) and a
// parser of the text exposition format; JSON must still parse.
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <locale>
#include <map>
#include <regex>
#include <sstream>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "CommaLocale.h"
#include "SnapshotSamples.h"
#include "render/Formats.h"
#include "support/PrometheusText.h"

namespace {

using ::testing::HasSubstr;

class CommaDecimalLocale : public testing::Test {
protected:
    void SetUp() override {
        if (!MakeCommaLocaleAvailable()) {
            GTEST_SKIP() << kCommaLocale
                         << " is missing and localedef cannot make it: install the package "
                            "`locales` (scripts/install-deps.sh)";
        }
        m_Previous = std::locale::global(std::locale(kCommaLocale));
        // The premise: this process now writes numbers with a comma.
        char text[16];
        std::snprintf(text, sizeof text, "%.1f", 3.3);
        ASSERT_STREQ(text, "3,3");
        std::ostringstream stream;
        stream << 3.3;
        ASSERT_EQ(stream.str(), "3,3");
    }

    void TearDown() override {
        std::locale::global(m_Previous);
        std::setlocale(LC_ALL, "C");
    }

    std::locale m_Previous;
};

Snapshot CommaProneSnapshot() {
    Snapshot snapshot;
    snapshot.startup = ServiceCode_Success;
    snapshot.refreshDuration = std::chrono::microseconds(1250);
    snapshot.sensors = {
        Sensor(0x10000, L"+3.3 V", 5, -3, 3050, {0, 2970, 0, 0, 3630, kNa}),
        Sensor(0x20002, L"Chassis Fan", 19, 0, 1814),
        Sensor(0x30000, L"CPU Temperature", 2, -1, 415, {0, 0, 0, 750, 0, 0}),
    };
    snapshot.leds = {Led(0x40001, 5, 1, L"Power", 1)};
    CServiceProcessorStatus status{};
    status.CurrentTick = 5000;
    for (CExchangeStatus& exchange : status.Exchanges) {
        exchange.Tried = 1234567;
        exchange.HasResponded = true;
        exchange.LastResponseTick = 4875;
    }
    snapshot.link = LinkSnapshot{
        status, std::chrono::system_clock::time_point(std::chrono::milliseconds(1767225600123))};
    return snapshot;
}

// The text exposition format, line by line: HELP and TYPE before a family's
// samples, each family's samples together, names, labels and values as the
// format allows them (Go's float syntax, no comma).
std::string TextFormatProblems(const std::string& text) {
    const std::string name = "[a-zA-Z_:][a-zA-Z0-9_:]*";
    const std::string label = "[a-zA-Z_][a-zA-Z0-9_]*=\"(\\\\[\\\\\"n]|[^\"\\\\\\n])*\"";
    const std::string value = "[-+]?([0-9]+(\\.[0-9]*)?|\\.[0-9]+)([eE][-+]?[0-9]+)?|[-+]Inf|NaN";
    const std::regex help("# HELP (" + name + ") .*");
    const std::regex type("# TYPE (" + name + ") (counter|gauge|histogram|summary|untyped)");
    const std::regex sample("(" + name + ")(\\{" + label + "(," + label + ")*\\})? (" + value +
                            ")");
    std::map<std::string, bool> finished;  // families seen, by name
    std::string current;
    std::string problems;
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    std::smatch match;
    while (std::getline(lines, line)) {
        ++number;
        const std::string where = "line " + std::to_string(number) + ": " + line + "\n";
        if (std::regex_match(line, match, help) || std::regex_match(line, match, type)) {
            if (match[1] != current) {
                if (finished.count(match[1])) {
                    problems += "family again, " + where;
                }
                current = match[1];
                finished[current] = true;
            }
        } else if (std::regex_match(line, match, sample)) {
            if (match[1] != current) {
                problems += "sample outside its family, " + where;
            }
        } else {
            problems += "malformed, " + where;
        }
    }
    if (!text.empty() && text.back() != '\n') {
        problems += "no final line feed\n";
    }
    return problems;
}

TEST_F(CommaDecimalLocale, PrometheusStaysValid) {
    const std::string text = RenderPrometheus(CommaProneSnapshot());
    EXPECT_THAT(text, HasSubstr("name=\"+3.3 V\"} 3.05\n"));
    EXPECT_THAT(text, HasSubstr("threshold=\"lower_critical\"} 2.97\n"));
    EXPECT_THAT(text, HasSubstr("svcproc_temperature_celsius{id=\"0x00030000\",name=\"CPU "
                                "Temperature\"} 41.5\n"));
    EXPECT_THAT(text, HasSubstr("svcproc_fan_speed_rpm{id=\"0x00020002\",name=\"Chassis Fan\"} "
                                "1814\n"));
    EXPECT_THAT(text, HasSubstr("svcproc_exchanges_total{kind=\"fans\"} 1234567\n"));
    EXPECT_THAT(text, HasSubstr("svcproc_last_response_timestamp_seconds{kind=\"leds\"} "
                                "1767225599.998\n"));
    EXPECT_THAT(text, HasSubstr("svcproc_scrape_duration_seconds 0.00125\n"));
    EXPECT_EQ(TextFormatProblems(text), "");

    EXPECT_EQ(PromtoolProblems(text), "") << text;
}

TEST_F(CommaDecimalLocale, TheParserCheckCatchesACommaDecimal) {
    EXPECT_THAT(TextFormatProblems("# TYPE a gauge\na{x=\"1\"} 3,3\n"), HasSubstr("malformed"));
    EXPECT_THAT(TextFormatProblems("# TYPE a gauge\na 1\n# TYPE b gauge\nb 1\na 2\n"),
                HasSubstr("outside its family"));
    EXPECT_EQ(TextFormatProblems("# HELP a x.\n# TYPE a gauge\na{x=\"\\\"\"} -1.5e-3\n"), "");
}

TEST_F(CommaDecimalLocale, JsonStaysValid) {
    for (JsonLayout layout : {JsonLayout::Pretty, JsonLayout::Compact}) {
        const std::string text = RenderJson(CommaProneSnapshot(), layout);
        const nlohmann::json document = nlohmann::json::parse(text);
        EXPECT_EQ(document["sensors"][0]["reading"]["value"], 3.05);
        EXPECT_EQ(document["sensors"][2]["reading"]["value"], 41.5);
        EXPECT_EQ(document["sensors"][2]["thresholds"]["upperNonCritical"]["value"], 75);
        EXPECT_EQ(document["serviceProcessor"]["exchanges"]["voltages"]["secondsSinceLastResponse"],
                  0.125);
        EXPECT_THAT(text, HasSubstr("3.05"));
        EXPECT_FALSE(std::regex_search(text, std::regex("[0-9],[0-9]"))) << text;
    }
}

}  // namespace
