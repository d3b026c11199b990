// The exporter's flags as the command line takes and refuses them, and the
// Host allow-list's matching.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "run/AllowedHost.h"
#include "run/MonitorOptions.h"
#include "monitor/ParsedOptions.h"

namespace {

TEST(ExporterOptions, TakesTheExportersFlagsAndItsOwnAlias) {
    const struct {
        std::vector<const char*> arguments;
        std::vector<std::string> listen;
        std::string path;
        int maxRequests;
        std::vector<std::string> hosts;
    } rows[] = {
        {{"--listen", "9723"}, {"9723"}, "/metrics", 40, {}},
        {{"--web.listen-address=0.0.0.0:9100", "--listen", "[::1]:9100"},
         {"0.0.0.0:9100", "[::1]:9100"},
         "/metrics",
         40,
         {}},
        {{"--listen", "127.0.0.1:0", "--listen", "127.0.0.1:0"},  // any free port, twice
         {"127.0.0.1:0", "127.0.0.1:0"},
         "/metrics",
         40,
         {}},
        {{"--listen", "9723", "--web.telemetry-path", "/a/b-c_d.e~f", "--web.max-requests", "0"},
         {"9723"},
         "/a/b-c_d.e~f",
         0,
         {}},
        {{"--listen", "9723", "--web.max-requests=10000", "--web.allowed-host", "Till-7.example",
          "--web.allowed-host=[::1]", "--web.allowed-host", "127.0.0.1"},
         {"9723"},
         "/metrics",
         10000,
         {"Till-7.example", "[::1]", "127.0.0.1"}},
    };
    for (const auto& row : rows) {
        MonitorOptions options;
        std::string error;
        ASSERT_TRUE(Parse(row.arguments, options, error)) << row.arguments[1] << ": " << error;
        EXPECT_EQ(options.listen, row.listen) << row.arguments[1];
        EXPECT_EQ(options.telemetryPath, row.path) << row.arguments[1];
        EXPECT_EQ(options.maxRequests, row.maxRequests) << row.arguments[1];
        EXPECT_EQ(options.allowedHosts, row.hosts) << row.arguments[1];
    }
}

TEST(ExporterOptions, RefusesBadValuesNamingTheOption) {
    const std::string longPath = "/" + std::string(256, 'a');
    const std::string longHost(254, 'h');
    const struct {
        std::vector<const char*> arguments;
        const char* said;
    } rows[] = {
        {{"--listen", "9723", "--web.listen-address", "127.0.0.1:9723"}, "given twice"},
        {{"--listen", "[::1]:80", "--listen", "[::1]:80"}, "given twice"},
        {{"--listen", "9723", "9724"}, "not expected: 9724"},
        {{"--web.listen-address", "::1:80"}, "in brackets"},
        {{"--listen", "1", "--web.telemetry-path", "metrics"}, "starts with '/'"},
        {{"--listen", "1", "--web.telemetry-path", "/"}, "own pages"},
        {{"--listen", "1", "--web.telemetry-path", "/health"}, "own pages"},
        {{"--listen", "1", "--web.telemetry-path", "/api/v1/sensors"}, "own pages"},
        {{"--listen", "1", "--web.telemetry-path", "/m?x=1"}, "letters, digits"},
        {{"--listen", "1", "--web.telemetry-path", "/<b>"}, "letters, digits"},
        {{"--listen", "1", "--web.telemetry-path", longPath.c_str()}, "at most 256"},
        {{"--listen", "1", "--web.telemetry-path", ""}, "--web.telemetry-path"},
        {{"--listen", "1", "--web.max-requests", "-1"}, "from 0 to 10000"},
        {{"--listen", "1", "--web.max-requests", "10001"}, "from 0 to 10000"},
        {{"--listen", "1", "--web.max-requests", "4.5"}, "from 0 to 10000"},
        {{"--listen", "1", "--web.max-requests", "99999999999"}, "from 0 to 10000"},
        {{"--listen", "1", "--web.allowed-host", "till:9723"}, "without a port"},
        {{"--listen", "1", "--web.allowed-host", "[::1]:80"}, "without a port"},
        {{"--listen", "1", "--web.allowed-host", ""}, "--web.allowed-host"},
        {{"--listen", "1", "--web.allowed-host", "a b"}, "without a port"},
        {{"--listen", "1", "--web.allowed-host", longHost.c_str()}, "at most 253"},
        {{"--web.telemetry-path", "/m"}, "requires --listen"},
        {{"--web.max-requests", "1"}, "requires --listen"},
        {{"--web.allowed-host", "till"}, "requires --listen"},
        {{"--once", "--web.listen-address", "1"}, "excludes"},
    };
    for (const auto& row : rows) {
        MonitorOptions options;
        std::string error;
        EXPECT_FALSE(Parse(row.arguments, options, error)) << row.said;
        EXPECT_NE(error.find(row.said), std::string::npos) << row.said << ": " << error;
    }
}

TEST(ExporterOptions, TheHelpTextNamesTheNewFlags) {
    const std::string usage = MonitorUsage();
    for (const char* text : {"--web.listen-address", "--web.telemetry-path PATH",
                             "--web.max-requests N", "--web.allowed-host NAME"}) {
        EXPECT_NE(usage.find(text), std::string::npos) << text;
    }
}

TEST(AllowedHost, MatchesTheHostFieldWithoutItsPort) {
    const std::vector<std::string> allowed = {"till-7.example", "[::1]", "192.0.2.7"};
    for (const char* field : {"till-7.example", "TILL-7.Example:9723", "till-7.example.", "[::1]",
                              "[::1]:9723", "192.0.2.7:80"}) {
        EXPECT_TRUE(IsAllowedHost(allowed, field)) << field;
    }
    for (const char* field :
         {"", "evil.example", "till-7.example.evil", "127.0.0.1", "localhost", "::1", "[::1",
          "[::1]x", "[::1]:80x", "till-7.example:80:80", "till-7.example:port", "[::2]",
          "till-7.example\r\nX: y", "192.0.2.7 "}) {
        EXPECT_FALSE(IsAllowedHost(allowed, field)) << field;
    }
    EXPECT_FALSE(IsAllowedHost({}, "till-7.example")) << "an empty list names nothing";
}

}  // namespace
