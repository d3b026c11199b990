// SIGINT and SIGTERM set the stop flag a run polls, and leave interrupted
// writes and waits to resume (SA_RESTART), so a stop in the middle of a frame
// is no output error.
#include <csignal>

#include <gtest/gtest.h>

#include "run/StopSignal.h"

namespace {

TEST(StopSignal, InterruptAndTerminateRequestAStopAndRestartCalls) {
    struct sigaction oldInterrupt {};
    struct sigaction oldTerminate {};
    sigaction(SIGINT, nullptr, &oldInterrupt);
    sigaction(SIGTERM, nullptr, &oldTerminate);

    std::atomic<bool>& stop = InstallStopHandlers();
    EXPECT_EQ(&stop, &InstallStopHandlers()) << "one flag per process";
    for (const int number : {SIGINT, SIGTERM}) {
        stop.store(false);
        ASSERT_EQ(std::raise(number), 0);
        EXPECT_TRUE(stop.load()) << number;

        struct sigaction installed {};
        sigaction(number, nullptr, &installed);
        EXPECT_NE(installed.sa_flags & SA_RESTART, 0) << number;
    }

    sigaction(SIGINT, &oldInterrupt, nullptr);
    sigaction(SIGTERM, &oldTerminate, nullptr);
}

}  // namespace
