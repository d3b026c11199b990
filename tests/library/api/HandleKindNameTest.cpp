// Handle kinds in words: the names the monitor prints and the simulator
// reads, and "unknown" for every other number.
#include "svcproc/api/HandleKindName.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(HandleKindName, NamesEveryKindAndNothingElse) {
    const char* const names[] = {"unknown", "voltage", "fan", "temperature", "led", "unknown"};
    for (unsigned long kind = 0; kind < 6; ++kind) {
        EXPECT_STREQ(ServiceApi::KindName(kind), names[kind]) << kind;
    }
    EXPECT_STREQ(ServiceApi::KindName(0x10002), "unknown") << "a handle is not a kind";
    EXPECT_STREQ(ServiceApi::KindName(ServiceApi::HandleKind(0x0003FFFF)), "temperature");
    EXPECT_STREQ(ServiceApi::KindName(HandleKind_Led), "led");
}

}  // namespace
