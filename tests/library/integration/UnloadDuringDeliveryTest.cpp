// Unloading cannot hang: no module keeps per-thread state with a destructor
// (registering one takes the loader's lock, which dlclose holds while it
// waits for the polling thread), and the library unloaded with dlclose at the
// moment its polling thread makes its first delivery, twenty times over in a
// child process, ends every time: a hang fails the test within seconds
// instead of stopping the run.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/process/ChildProcess.h"

namespace {

TEST(Unload, NoModuleRegistersADestructorPerThread) {
    const std::vector<std::string> modules = {SVCP_MODULE_LIBRARY, SVCP_MODULE_PLATFORM,
                                              SVCP_MODULE_LOG};
    for (const std::string& module : modules) {
        CChildProcess nm;
        ASSERT_TRUE(nm.Start({SVCP_NM, "-D", "--undefined-only", module}));
        ASSERT_EQ(nm.Wait(std::chrono::seconds(30)), 0) << module << ": " << nm.Err();
        // A listing of what the module imports from the C library, and no
        // thread-exit destructor in it.
        EXPECT_NE(nm.Out().find("@GLIBC_"), std::string::npos) << module << ":\n" << nm.Out();
        EXPECT_EQ(nm.Out().find("__cxa_thread_atexit"), std::string::npos) << module;
    }
}

TEST(Unload, AtThePollingThreadsFirstDeliveryCompletesEveryTime) {
    constexpr int kCycles = 20;
    CChildProcess child;
    ASSERT_TRUE(child.Start({UNLOAD_DURING_DELIVERY_CHILD, std::to_string(kCycles)}));
    for (int cycle = 1; cycle <= kCycles; ++cycle) {
        // Lines already read are not searched again: a cycle may have come
        // with the one before.
        const std::string line = "cycle " + std::to_string(cycle) + " unloaded\n";
        ASSERT_TRUE(child.Out().find(line) != std::string::npos ||
                    child.WaitForLine(line, std::chrono::seconds(10)))
            << "no \"" << line << "\"; standard error:\n"
            << child.Err();
    }
    EXPECT_EQ(child.Wait(std::chrono::seconds(10)), 0) << child.Err();
}

}  // namespace
