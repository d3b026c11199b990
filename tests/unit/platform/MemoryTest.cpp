// Memory queries answer without touching the address.
#include <sys/mman.h>

#include <gtest/gtest.h>

#include "platform.h"

namespace {

void SomeFunction() {}

TEST(Memory, CodeIsGoodAndDataOrUnmappedIsBad) {
    EXPECT_FALSE(IsBadCodePtr(reinterpret_cast<FARPROC>(&SomeFunction)));
    static int data = 0;
    EXPECT_TRUE(IsBadCodePtr(reinterpret_cast<FARPROC>(&data)));
    EXPECT_TRUE(IsBadCodePtr(nullptr));
    EXPECT_TRUE(IsBadCodePtr(reinterpret_cast<FARPROC>(uintptr_t{16})));
}

TEST(Memory, VirtualQueryReportsProtectionAndFreePages) {
    MEMORY_BASIC_INFORMATION info;
    static int data = 0;
    ASSERT_EQ(VirtualQuery(&data, &info, sizeof info), sizeof info);
    EXPECT_EQ(info.State, MEM_COMMIT);
    EXPECT_EQ(info.Protect, PAGE_READWRITE);

    ASSERT_EQ(VirtualQuery(reinterpret_cast<void*>(&SomeFunction), &info, sizeof info),
              sizeof info);
    EXPECT_EQ(info.Protect, PAGE_EXECUTE_READ);

    void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(page, MAP_FAILED);
    ASSERT_EQ(VirtualQuery(page, &info, sizeof info), sizeof info);
    EXPECT_EQ(info.Protect, PAGE_NOACCESS);
    munmap(page, 4096);
    ASSERT_EQ(VirtualQuery(page, &info, sizeof info), sizeof info);
    EXPECT_EQ(info.State, MEM_FREE);

    EXPECT_EQ(VirtualQuery(&data, &info, sizeof info - 1), 0u);
}

}  // namespace
