// The listener pointer probe reads only what the memory map shows readable.
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

#include <gtest/gtest.h>

#include "svcproc/api/ISensorStateListener.h"
#include "svcproc/io/ListenerProbe.h"

namespace {

class CQuietListener final : public ISensorStateListener {
public:
    void OnSensorStateChange(unsigned long, unsigned long, unsigned long) override {}
};

TEST(ListenerProbe, RealListenersPassAndNullFails) {
    CQuietListener onStack;
    auto* onHeap = new CQuietListener;
    EXPECT_TRUE(IsListenerCallable(&onStack));
    EXPECT_TRUE(IsListenerCallable(onHeap));
    delete onHeap;
    EXPECT_FALSE(IsListenerCallable(nullptr));
    EXPECT_FALSE(IsListenerCallable(reinterpret_cast<ISensorStateListener*>(uintptr_t{16})));
}

TEST(ListenerProbe, AnObjectCutByAnUnreadablePageFails) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    auto* base = static_cast<unsigned char*>(
        mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(base, MAP_FAILED);
    ASSERT_EQ(mprotect(base + page, page, PROT_NONE), 0);

    // A copy of a real listener's virtual-table pointer, placed to end right
    // at the unreadable page, then moved to straddle it.
    CQuietListener real;
    void* vtable = nullptr;
    std::memcpy(&vtable, static_cast<const void*>(&real), sizeof vtable);
    unsigned char* fits = base + page - sizeof vtable;
    std::memcpy(fits, &vtable, sizeof vtable);
    EXPECT_TRUE(IsListenerCallable(reinterpret_cast<ISensorStateListener*>(fits)));
    EXPECT_FALSE(IsListenerCallable(reinterpret_cast<ISensorStateListener*>(fits + 4)));

    // A virtual table whose slot 0 is readable data, not code.
    void* dataTable[1] = {base};
    void* tablePointer = dataTable;
    std::memcpy(fits, &tablePointer, sizeof tablePointer);
    EXPECT_FALSE(IsListenerCallable(reinterpret_cast<ISensorStateListener*>(fits)));
    munmap(base, 2 * page);
}

}  // namespace
