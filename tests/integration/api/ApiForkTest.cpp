// A process that forks after start-up: the child has only the thread that
// forked, none of the library's, yet its normal exit unloads the library.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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

// Runs `body` in a forked child and returns its exit status, or 128 + the
// signal that ended it: a child that hangs is ended by an alarm.
template <class Body>
int InForkedChild(Body body) {
    const pid_t child = fork();
    if (child == 0) {
        g_bForkedChild = true;
        alarm(5);
        body();
        _exit(100);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child) {
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST_F(ApiTest, AForkedChildExitsNormallyAfterStartUp) {
    TestMachine machine;
    machine.Install();
    LoadedLibrary library;
    ASSERT_EQ(library.InitialiseServiceDriver(), ServiceCode_Success);
    CSensorHandleList sensors;
    ASSERT_EQ(library.EnumerateSensorHandles(sensors), ServiceCode_Success);
    ASSERT_FALSE(sensors.empty());

    // The exit runs the library's static destructors, which stop the polling
    // thread that the child does not have.
    EXPECT_EQ(InForkedChild([] { exit(0); }), 0) << "128 + " << SIGALRM << ": the child hung";

    // Unloaded in the child, the library logs the polling thread's end.
    const int unloaded = InForkedChild([&library] {
        LogCaptureClear();
        const bool gone = library.Unload();
        const std::vector<std::string> lines = CapturedTexts();
        const bool terminated =
            std::find(lines.begin(), lines.end(),
                      "CPollingThread::Terminate - Thread terminated") != lines.end();
        _exit(gone && terminated ? 0 : 1);
    });
    EXPECT_EQ(unloaded, 0) << "128 + " << SIGALRM << ": the child hung";

    // The parent's library goes on as before.
    CSensorReading reading{};
    EXPECT_EQ(library.ReadSensor(sensors.front(), reading), ServiceCode_Success);
}

}  // namespace
