// A process that forks after start-up: the child has only the thread that
// forked, none of the library's, yet its normal exit unloads the library.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "ApiTestSupport.h"

namespace {

bool g_bForkedChild = false;

}  // namespace

// LeakSanitizer cannot see the stacks of the parent's other threads, which a
// forked child keeps without running them: what they hold would show as
// leaks at the child's exit. It still checks the parent.
extern "C" __attribute__((visibility("default"))) int __lsan_is_turned_off() {
    return g_bForkedChild ? 1 : 0;
}

namespace {

TEST_F(ApiTest, AForkedChildExitsNormallyAfterStartUp) {
    TestMachine machine;
    machine.Install();
    LoadedLibrary library;
    ASSERT_EQ(library.InitialiseServiceDriver(), ServiceCode_Success);
    CSensorHandleList sensors;
    ASSERT_EQ(library.EnumerateSensorHandles(sensors), ServiceCode_Success);
    ASSERT_FALSE(sensors.empty());

    // The exit runs the library's static destructors, which stop the polling
    // thread that the child does not have; an alarm ends a child that hangs.
    const pid_t child = fork();
    if (child == 0) {
        g_bForkedChild = true;
        alarm(5);
        exit(0);
    }
    ASSERT_GT(child, 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "wait status " << status << " (" << SIGALRM << ": the child hung)";

    // The parent's library goes on as before.
    CSensorReading reading{};
    EXPECT_EQ(library.ReadSensor(sensors.front(), reading), ServiceCode_Success);
}

}  // namespace
