// The example application, run against svcproc-sim in another process, as
// an application runs against the real driver.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "ChildProcess.h"

namespace {

using std::chrono::seconds;

TEST(ExampleApplication, InitialisesListsReadsAndHearsAlerts) {
    char pattern[] = "/tmp/svcp-example-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string directory = pattern;
    const std::string environment = "SVCP_DEVICE_DIR=" + directory;

    CChildProcess sim;
    ASSERT_TRUE(sim.Start({SVCPROC_SIM, "--device-dir", directory, "--quiet"}));
    ASSERT_TRUE(sim.WaitForLine("svcproc-sim: serving", seconds(20))) << sim.Err();

    // The built-in machine's scenario raises its first alerts within seconds.
    CChildProcess example;
    ASSERT_TRUE(example.Start({SVCPROC_EXAMPLE, "10"}, {environment}));
    EXPECT_TRUE(example.WaitForLine("alert: sensor 0x20002 is Critical", seconds(25)))
        << example.Out();
    EXPECT_EQ(example.Wait(seconds(30)), 0) << example.Err();
    const std::string& out = example.Out();
    EXPECT_NE(out.find("sensor 0x20002 Chassis Fan"), std::string::npos) << out;
    EXPECT_NE(out.find("led    0x40001 Power                    on"), std::string::npos) << out;
    sim.Signal(15);
    sim.Wait(seconds(10));
    std::system(("rm -rf " + directory).c_str());
}

}  // namespace
