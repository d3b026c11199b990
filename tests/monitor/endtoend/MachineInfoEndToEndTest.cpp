// svcproc_machine_info and the JSON's machine object from a simulated
// machine description with a known BIOS version, and nothing of them when
// the SMBIOS table cannot be read.
#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/PrometheusText.h"
#include "support/process/ChildProcess.h"

namespace {

std::string Monitor(const std::vector<std::string>& arguments, int expectedStatus) {
    std::vector<std::string> argv = {SVCPROC_MONITOR, "--once"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    CChildProcess monitor;
    EXPECT_TRUE(monitor.Start(argv, {"SVCP_DEVICE_DIR="}));
    EXPECT_EQ(monitor.Wait(std::chrono::seconds(60)), expectedStatus) << monitor.Err();
    return monitor.Out();
}

TEST(MachineInfoEndToEnd, TheDescriptionsBiosVersionAndServiceProcessor) {
    const std::string path = testing::TempDir() + "/machine-info.json";
    std::ofstream(path) << R"({"bios": {"version": "85.31 \"rc\""},
        "serviceProcessor": {"address": "0x2B0"},
        "sensors": [{"kind": "fan", "index": 0, "description": "F"}],
        "leds": [{"bitMap": 1, "description": "L"}]})";
    const std::string metrics = Monitor({"--simulate=" + path, "--format", "prometheus"}, 0);
    EXPECT_NE(metrics.find("\nsvcproc_machine_info{bios_version=\"85.31 \\\"rc\\\"\","
                           "service_processor=\"Orvane Telk Service Processor\"} 1\n"),
              std::string::npos)
        << metrics;
    EXPECT_EQ(PromtoolProblems(metrics), "");
    const std::string json = Monitor({"--simulate=" + path, "--format", "json"}, 0);
    EXPECT_NE(json.find(R"("machine": {
    "biosVersion": "85.31 \"rc\"",
    "serviceProcessor": "Orvane Telk Service Processor"
  })"),
              std::string::npos)
        << json;

    // No table at all: start-up fails with 2 and the machine is unknown.
    EXPECT_EQ(Monitor({"--format", "prometheus"}, 2).find("svcproc_machine_info"),
              std::string::npos);
    EXPECT_NE(Monitor({"--format", "json"}, 2).find("\"machine\": null"), std::string::npos);
}

}  // namespace
