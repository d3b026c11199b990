// The C interface's checks, compiled as C, run against svcproc-sim in
// another process as an application runs against the real driver.
#include <gtest/gtest.h>

#include <string>

#include "support/process/ChildProcess.h"
#include "support/process/SimulatorProcess.h"

namespace {

using std::chrono::seconds;

TEST(CInterfaceProgram, PassesItsChecksAgainstTheSimulator) {
    CSimulatorProcess sim(SVCPROC_SIM);
    ASSERT_TRUE(sim.Start()) << sim.Process().Err();

    CChildProcess program;
    ASSERT_TRUE(program.Start({SVCP_CAPI_PROGRAM}, sim.Environment()));
    EXPECT_EQ(program.Wait(seconds(60)), 0) << program.Out() << program.Err();
    const std::string& out = program.Out();
    EXPECT_NE(out.find("C interface: 0 failures"), std::string::npos) << out;
    // The built-in machine, described and read through the C records.
    EXPECT_NE(out.find("sensor 0x20002 Chassis Fan"), std::string::npos) << out;
    EXPECT_NE(out.find("led    0x40001 Power                    on"), std::string::npos) << out;
    EXPECT_NE(out.find("machine: BIOS 85.12.07, Orvane Telk Service Processor at 0x2b0"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("alert: sensor 0x20002 is Critical"), std::string::npos) << out;
    EXPECT_EQ(sim.Stop(), 0);
}

}  // namespace
