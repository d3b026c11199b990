// The library unloaded with dlclose at the moment its polling thread makes its
// first delivery, twenty times over, in a child process: a hang (the polling
// thread waiting for the loader's lock that dlclose holds while it waits for
// the thread) fails the test within seconds instead of stopping the run.
#include <string>

#include <gtest/gtest.h>

#include "integration/ChildProcess.h"

namespace {

TEST(Unload, AtThePollingThreadsFirstDeliveryCompletesEveryTime) {
    constexpr int kCycles = 20;
    CChildProcess child;
    ASSERT_TRUE(child.Start({UNLOAD_DURING_DELIVERY_CHILD, std::to_string(kCycles)}));
    for (int cycle = 1; cycle <= kCycles; ++cycle) {
        const std::string line = "cycle " + std::to_string(cycle) + " unloaded";
        ASSERT_TRUE(child.WaitForLine(line, std::chrono::seconds(10)))
            << "no \"" << line << "\"; standard error:\n"
            << child.Err();
    }
    EXPECT_EQ(child.Wait(std::chrono::seconds(10)), 0) << child.Err();
}

}  // namespace
