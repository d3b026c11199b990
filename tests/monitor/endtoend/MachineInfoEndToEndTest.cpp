// svcproc_machine_info and the JSON's machine object from a machine
// description with a known BIOS version; neither when SMBIOS cannot be read.
#include <chrono>
#include <fstream>

#include <gtest/gtest.h>

#include "support/PrometheusText.h"
#include "support/process/ChildProcess.h"

namespace {

std::string Monitor(const std::string& simulate, const char* format, int status) {
    CChildProcess monitor;
    EXPECT_TRUE(monitor.Start({SVCPROC_MONITOR, "--once", simulate, "--format", format},
                              {"SVCP_DEVICE_DIR="}));
    EXPECT_EQ(monitor.Wait(std::chrono::seconds(60)), status) << monitor.Err();
    return monitor.Out();
}

TEST(MachineInfoEndToEnd, FromTheMachineDescription) {
    const std::string path = testing::TempDir() + "/machine-info.json";
    std::ofstream(path)
        << R"({"bios": {"version": "85.31 \"rc\""}, "sensors": [{"kind": "fan", "index": 0, "description": "F"}],
        "leds": [{"bitMap": 1, "description": "L"}]})";
    const std::string metrics = Monitor("--simulate=" + path, "prometheus", 0);
    EXPECT_NE(metrics.find("\nsvcproc_machine_info{bios_version=\"85.31 \\\"rc\\\"\","
                           "service_processor=\"Orvane Telk Service Processor\"} 1\n"),
              std::string::npos)
        << metrics;
    EXPECT_EQ(PromtoolProblems(metrics), "");
    EXPECT_NE(Monitor("--simulate=" + path, "json", 0).find(R"("biosVersion": "85.31 \"rc\"",)"),
              std::string::npos);
    // No table (start-up result 2): nothing is known of the machine.
    EXPECT_EQ(Monitor("--color=never", "prometheus", 2).find("machine"), std::string::npos);
    EXPECT_NE(Monitor("--color=never", "json", 2).find("\"machine\": null"), std::string::npos);
}

}  // namespace
