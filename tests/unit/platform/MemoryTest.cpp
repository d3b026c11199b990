// Memory queries answer without touching the address.
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

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

// The answers come from a descriptor kept per thread; a forked child and a
// new thread must still see their own process's mappings.
TEST(Memory, AnswersForTheCallersProcessAfterForkAndOnOtherThreads) {
    MEMORY_BASIC_INFORMATION info;
    static int data = 0;
    ASSERT_EQ(VirtualQuery(&data, &info, sizeof info), sizeof info);  // opens it here

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // A mapping only the child has.
        void* page = mmap(nullptr, 4096, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        MEMORY_BASIC_INFORMATION seen;
        const bool ok = page != MAP_FAILED &&
                        VirtualQuery(page, &seen, sizeof seen) == sizeof seen &&
                        seen.State == MEM_COMMIT && seen.Protect == PAGE_READONLY;
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    DWORD protect = 0;
    std::thread([&protect] {
        MEMORY_BASIC_INFORMATION seen;
        if (VirtualQuery(reinterpret_cast<void*>(&SomeFunction), &seen, sizeof seen) ==
            sizeof seen) {
            protect = seen.Protect;
        }
    }).join();
    EXPECT_EQ(protect, static_cast<DWORD>(PAGE_EXECUTE_READ));
}

}  // namespace
