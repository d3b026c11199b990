// The C interface's checks, compiled as C, run against svcproc-sim in
// another process as an application runs against the real driver.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "integration/ChildProcess.h"

namespace {

using std::chrono::seconds;

TEST(CInterfaceProgram, PassesItsChecksAgainstTheSimulator) {
    char pattern[] = "/tmp/svcp-capi-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string directory = pattern;

    CChildProcess sim;
    ASSERT_TRUE(sim.Start({SVCPROC_SIM, "--device-dir", directory, "--quiet"}));
    ASSERT_TRUE(sim.WaitForLine("svcproc-sim: serving", seconds(20))) << sim.Err();

    CChildProcess program;
    ASSERT_TRUE(program.Start({SVCP_CAPI_PROGRAM}, {"SVCP_DEVICE_DIR=" + directory}));
    EXPECT_EQ(program.Wait(seconds(60)), 0) << program.Out() << program.Err();
    const std::string& out = program.Out();
    EXPECT_NE(out.find("C interface: 0 failures"), std::string::npos) << out;
    // The built-in machine, described and read through the C records.
    EXPECT_NE(out.find("sensor 0x20002 Chassis Fan"), std::string::npos) << out;
    EXPECT_NE(out.find("led    0x40001 Power                    on"), std::string::npos) << out;
    EXPECT_NE(out.find("alert: sensor 0x20002 is Critical"), std::string::npos) << out;
    sim.Signal(15);
    sim.Wait(seconds(10));
    std::system(("rm -rf " + directory).c_str());
}

}  // namespace
