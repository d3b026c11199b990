// SMBIOS strings for the machine's labels and JSON: UTF-8 kept, anything
// else made UTF-8, which the JSON serialiser insists on.
#include <gtest/gtest.h>

#include "snapshot/Snapshot.h"

namespace {

TEST(MachineInfoFormat, SmbiosBytesBecomeUtf8) {
    EXPECT_EQ(SmbiosText("85.12.07"), "85.12.07");
    EXPECT_EQ(SmbiosText("R\xC3\xA9v 1"), "R\xC3\xA9v 1") << "already UTF-8";
    EXPECT_EQ(SmbiosText("R\xE9v 1"), "R\xEF\xBF\xBDv 1") << "Latin-1";
    EXPECT_EQ(SmbiosText("\xE0\x80\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD") << "overlong";
    EXPECT_EQ(SmbiosText("\xED\xA0\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD") << "surrogate";
    EXPECT_EQ(SmbiosText("\xF4\x90\x80\x80").size(), 12u) << "past U+10FFFF";
    EXPECT_EQ(SmbiosText("\xC3"), "\xEF\xBF\xBD") << "cut short";
}

}  // namespace
