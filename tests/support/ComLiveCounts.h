// The stand-in COM's live objects, strings and arrays: what a test expects
// to find again at its end, everything it obtained released.
#pragma once

#include <gtest/gtest.h>

#include "wmi_provider.h"

inline void ExpectComLiveCounts(const SvcpComLiveCounts& before) {
    const SvcpComLiveCounts live = SvcpComGetLiveCounts();
    EXPECT_EQ(live.objects, before.objects);
    EXPECT_EQ(live.strings, before.strings);
    EXPECT_EQ(live.arrays, before.arrays);
}
