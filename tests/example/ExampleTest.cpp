// The example application, run against svcproc-sim in another process, as
// an application runs against the real driver.
#include <gtest/gtest.h>

#include <string>

#include "support/process/ChildProcess.h"
#include "support/process/SimulatorProcess.h"

namespace {

using std::chrono::seconds;

TEST(ExampleApplication, InitialisesListsReadsAndHearsAlerts) {
    CSimulatorProcess sim(SVCPROC_SIM);
    ASSERT_TRUE(sim.Start()) << sim.Process().Err();

    // The built-in machine's scenario raises its first alerts within seconds.
    CChildProcess example;
    ASSERT_TRUE(example.Start({SVCPROC_EXAMPLE, "10"}, sim.Environment()));
    EXPECT_TRUE(example.WaitForLine("alert: sensor 0x20002 is Critical", seconds(25)))
        << example.Out();
    EXPECT_EQ(example.Wait(seconds(30)), 0) << example.Err();
    const std::string& out = example.Out();
    EXPECT_NE(out.find("sensor 0x20002 Chassis Fan"), std::string::npos) << out;
    EXPECT_NE(out.find("led    0x40001 Power                    on"), std::string::npos) << out;
    EXPECT_EQ(sim.Stop(), 0);
}

}  // namespace
