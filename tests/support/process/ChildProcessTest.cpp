#include "support/process/ChildProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>

namespace {

using namespace std::chrono_literals;

// The lines arrive in one write, so one read brings them all.
TEST(ChildProcess, FindsEachLineOfOneReadInTurn) {
    CChildProcess child;
    ASSERT_TRUE(child.Start({"/bin/sh", "-c", "printf 'first\\nsecond\\nthird\\n'; sleep 5"}));
    EXPECT_TRUE(child.WaitForLine("first", 5s));
    EXPECT_TRUE(child.WaitForLine("second", 5s));
    EXPECT_TRUE(child.WaitForLine("third", 5s));
    EXPECT_FALSE(child.WaitForLine("first", 200ms));  // already found once
}

TEST(ChildProcess, WaitsForALineToBeComplete) {
    CChildProcess child;
    ASSERT_TRUE(child.Start({"/bin/sh", "-c", "printf 'rea'; sleep 0.2; printf 'dy\\n'; sleep 5"}));
    EXPECT_TRUE(child.WaitForLine("ready", 5s));
    EXPECT_EQ(child.Out(), "ready\n");
}

TEST(ChildProcess, ReportsTheExitStatusTheSignalAndTheEnvironment) {
    CChildProcess exits;
    ASSERT_TRUE(
        exits.Start({"/bin/sh", "-c", "echo \"$SVCP_GIVEN\" >&2; exit 3"}, {"SVCP_GIVEN=given"}));
    EXPECT_FALSE(exits.WaitForLine("never", 5s));  // the output ends first
    EXPECT_EQ(exits.Wait(5s), 3);
    EXPECT_EQ(exits.Err(), "given\n");

    CChildProcess killed;
    ASSERT_TRUE(killed.Start({"/bin/sh", "-c", "echo up; exec sleep 30"}));
    ASSERT_TRUE(killed.WaitForLine("up", 5s));
    killed.Signal(SIGTERM);
    EXPECT_EQ(killed.Wait(5s), 128 + SIGTERM);
}

// The failed start's Wait leaves the other children alone.
TEST(ChildProcess, RefusesAProgramThatDoesNotExist) {
    CChildProcess other;
    ASSERT_TRUE(other.Start({"/bin/sh", "-c", "exit 7"}));
    CChildProcess child;
    EXPECT_FALSE(child.Start({"/nonexistent/program"}));
    EXPECT_EQ(child.Wait(200ms), -1);
    EXPECT_EQ(other.Wait(5s), 7);
}

}  // namespace
