// Memory queries answer without touching the address.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform.h"
#include "platform_seams.h"

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

// A forked child and a new thread see their own process's mappings.
TEST(Memory, AnswersForTheCallersProcessAfterForkAndOnOtherThreads) {
    MEMORY_BASIC_INFORMATION info;
    static int data = 0;
    ASSERT_EQ(VirtualQuery(&data, &info, sizeof info), sizeof info);

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

// /proc/self/maps read whole, here and independently of the code under test,
// into storage reserved up front: taking a snapshot allocates nothing, so it
// leaves the layout as it found it.
class CMapsSnapshot {
public:
    CMapsSnapshot() : m_Text(8u << 20) {}
    bool Take() {
        m_nLength = 0;
        const int fd = ::open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            return false;
        }
        ssize_t got = 0;
        while (m_nLength < m_Text.size() &&
               (got = ::read(fd, m_Text.data() + m_nLength, m_Text.size() - m_nLength)) > 0) {
            m_nLength += static_cast<size_t>(got);
        }
        ::close(fd);
        return got == 0;
    }
    bool SameAs(const CMapsSnapshot& other) const {
        return m_nLength == other.m_nLength &&
               std::memcmp(m_Text.data(), other.m_Text.data(), m_nLength) == 0;
    }
    const char* Text() const { return m_Text.data(); }
    size_t Length() const { return m_nLength; }

private:
    std::vector<char> m_Text;
    size_t m_nLength = 0;
};

struct ListedMapping {
    uintptr_t start;
    uintptr_t end;
    char perms[5];
    bool vsyscall;  // the kernel's gate page: listed, but no mapping of the process's own
};

// Appends the snapshot's mappings to `out` (capacity reserved by the caller).
bool ParseSnapshot(const CMapsSnapshot& snapshot, std::vector<ListedMapping>& out) {
    const char* p = snapshot.Text();
    const char* const end = p + snapshot.Length();
    while (p < end) {
        const char* newline = static_cast<const char*>(std::memchr(p, '\n', end - p));
        const char* const lineEnd = newline != nullptr ? newline : end;
        ListedMapping mapping{};
        uintmax_t start = 0;
        uintmax_t stop = 0;
        if (std::sscanf(p, "%" SCNxMAX "-%" SCNxMAX " %4c", &start, &stop, mapping.perms) != 3 ||
            out.size() == out.capacity()) {
            return false;
        }
        mapping.start = static_cast<uintptr_t>(start);
        mapping.end = static_cast<uintptr_t>(stop);
        static const char kGate[] = "[vsyscall]";
        mapping.vsyscall = static_cast<size_t>(lineEnd - p) >= sizeof kGate - 1 &&
                           std::memcmp(lineEnd - (sizeof kGate - 1), kGate, sizeof kGate - 1) == 0;
        out.push_back(mapping);
        p = lineEnd + 1;
    }
    return true;
}

DWORD ExpectedProtection(const char* perms) {
    const bool r = perms[0] == 'r';
    const bool w = perms[1] == 'w';
    const bool x = perms[2] == 'x';
    if (x) {
        return !r ? PAGE_EXECUTE : w ? PAGE_EXECUTE_READWRITE : PAGE_EXECUTE_READ;
    }
    return !r ? PAGE_NOACCESS : w ? PAGE_READWRITE : PAGE_READONLY;
}

// Mismatches of one round, described without allocating.
struct Mismatches {
    unsigned count = 0;
    char first[4][160] = {};
    void Add(const char* what, uintptr_t address, const ListedMapping& listed,
             const MEMORY_BASIC_INFORMATION& got) {
        if (count < 4) {
            std::snprintf(first[count], sizeof first[count],
                          "%s at %#" PRIxPTR " (listed %#" PRIxPTR "-%#" PRIxPTR
                          " %s): state %#lx base %p size %#zx protect %#lx",
                          what, address, listed.start, listed.end, listed.perms,
                          static_cast<unsigned long>(got.State), got.BaseAddress,
                          static_cast<size_t>(got.RegionSize),
                          static_cast<unsigned long>(got.Protect));
        }
        ++count;
    }
};

void CheckInside(uintptr_t address, const ListedMapping& listed, Mismatches& mismatches) {
    MEMORY_BASIC_INFORMATION info;
    std::memset(&info, 0xCC, sizeof info);
    const bool answered =
        VirtualQuery(reinterpret_cast<LPCVOID>(address), &info, sizeof info) == sizeof info;
    const DWORD type = listed.perms[3] == 's' ? MEM_MAPPED : MEM_PRIVATE;
    if (!answered || info.State != MEM_COMMIT ||
        info.BaseAddress != reinterpret_cast<PVOID>(listed.start) ||
        info.RegionSize != listed.end - listed.start ||
        info.Protect != ExpectedProtection(listed.perms) || info.Type != type) {
        mismatches.Add("mapping", address, listed, info);
    }
    const bool callable = listed.perms[0] == 'r' && listed.perms[2] == 'x';
    if ((IsBadCodePtr(reinterpret_cast<FARPROC>(address)) == FALSE) != callable) {
        mismatches.Add("code pointer", address, listed, info);
    }
}

void CheckFree(uintptr_t address, const ListedMapping& before, Mismatches& mismatches) {
    MEMORY_BASIC_INFORMATION info;
    const bool answered =
        VirtualQuery(reinterpret_cast<LPCVOID>(address), &info, sizeof info) == sizeof info;
    if (!answered || info.State != MEM_FREE ||
        IsBadCodePtr(reinterpret_cast<FARPROC>(address)) == FALSE) {
        mismatches.Add("gap after", address, before, info);
    }
}

// Asks about the first and last byte of every listed mapping and of every gap
// between them.
void CheckAgainstList(const std::vector<ListedMapping>& listed, Mismatches& mismatches) {
    for (size_t i = 0; i < listed.size(); ++i) {
        const ListedMapping& mapping = listed[i];
        if (mapping.vsyscall) {
            continue;
        }
        CheckInside(mapping.start, mapping, mismatches);
        CheckInside(mapping.end - 1, mapping, mismatches);
        if (i + 1 < listed.size() && mapping.end < listed[i + 1].start) {
            CheckFree(mapping.end, mapping, mismatches);
            CheckFree(listed[i + 1].start - 1, mapping, mismatches);
        }
    }
}

// Maps and unmaps regions between rounds, so that the list's lines fall
// differently across any reader's buffer: anonymous regions of every
// protection (neighbours differ, so the kernel keeps them apart), shared ones,
// and pages of files whose paths vary in length, some longer than 2 KiB.
// Names that read as the start of a line ("aaaa-1 r-xp") catch a reader
// that loses track of where lines begin.
class CLayoutChurn {
public:
    CLayoutChurn() {
        char pattern[] = "/tmp/svcp-maps-XXXXXX";
        m_bReady = mkdtemp(pattern) != nullptr;
        m_sDirectory = pattern;
        // A directory deep enough that a file in it makes a line of the list
        // over 2 KiB long.
        m_sDeep = m_sDirectory;
        while (m_bReady && m_sDeep.size() < 2400) {
            m_sDeep += "/" + std::string(200, 'd');
            m_bReady = mkdir(m_sDeep.c_str(), 0700) == 0;
        }
        m_vRegions.reserve(4096);
    }
    ~CLayoutChurn() {
        for (const Region& region : m_vRegions) {
            munmap(region.address, region.size);
        }
        while (m_sDeep.size() > m_sDirectory.size()) {
            rmdir(m_sDeep.c_str());
            m_sDeep.resize(m_sDeep.rfind('/'));
        }
        rmdir(m_sDirectory.c_str());
    }
    bool Ready() const { return m_bReady; }

    void Round(unsigned round) {
        // Drops about half of what the last round made.
        size_t kept = 0;
        for (const Region& region : m_vRegions) {
            if (Next() % 2 == 0) {
                munmap(region.address, region.size);
            } else {
                m_vRegions[kept++] = region;
            }
        }
        m_vRegions.resize(kept);

        static const int kProtections[] = {PROT_NONE,
                                           PROT_READ,
                                           PROT_READ | PROT_WRITE,
                                           PROT_READ | PROT_EXEC,
                                           PROT_EXEC,
                                           PROT_READ | PROT_WRITE | PROT_EXEC};
        const unsigned anonymous = 8 + (round * 13) % 57;
        for (unsigned i = 0; i < anonymous && m_vRegions.size() < m_vRegions.capacity(); ++i) {
            const size_t size = 4096 * (1 + Next() % 4);
            const int flags = (Next() % 5 == 0 ? MAP_SHARED : MAP_PRIVATE) | MAP_ANONYMOUS;
            Add(mmap(nullptr, size, kProtections[(round + i) % 6], flags, -1, 0), size);
        }
        const unsigned files = 1 + round % 7;
        for (unsigned i = 0; i < files; ++i) {
            const size_t nameLength = 1 + (round * 31 + i * 97) % 240;
            MapFile((i == 0 && round % 3 == 0 ? m_sDeep : m_sDirectory) + "/" +
                    std::string(nameLength, static_cast<char>('a' + i)) + "-1 r-xp");
        }
    }

private:
    struct Region {
        void* address;
        size_t size;
    };
    void Add(void* address, size_t size) {
        if (address != MAP_FAILED) {
            m_vRegions.push_back({address, size});
        }
    }
    // A page of a new file, mapped; the file itself is removed at once (the
    // list then shows its path with " (deleted)").
    void MapFile(const std::string& path) {
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            return;
        }
        if (ftruncate(fd, 4096) == 0 && m_vRegions.size() < m_vRegions.capacity()) {
            Add(mmap(nullptr, 4096, PROT_READ, MAP_PRIVATE, fd, 0), 4096);
        }
        ::close(fd);
        ::unlink(path.c_str());
    }
    unsigned Next() {
        m_nSeed = m_nSeed * 1103515245u + 12345u;
        return m_nSeed >> 16;
    }

    bool m_bReady = false;
    std::string m_sDirectory;
    std::string m_sDeep;
    std::vector<Region> m_vRegions;
    unsigned m_nSeed = 1;
};

// Every mapping the kernel lists is reported with its bounds and protection,
// and every gap as free, over many layouts.
void CheckEveryMappingOverManyLayouts() {
    CLayoutChurn churn;
    ASSERT_TRUE(churn.Ready());
    CMapsSnapshot before;
    CMapsSnapshot after;
    std::vector<ListedMapping> listed;
    listed.reserve(1u << 16);
    constexpr unsigned kRounds = 48;
    for (unsigned round = 0; round < kRounds; ++round) {
        churn.Round(round);
        // Repeated when the layout moved under the round (it should not: the
        // round allocates nothing).
        bool stable = false;
        Mismatches mismatches;
        for (int attempt = 0; attempt < 5 && !stable; ++attempt) {
            listed.clear();
            ASSERT_TRUE(before.Take());
            ASSERT_TRUE(ParseSnapshot(before, listed));
            mismatches = Mismatches{};
            CheckAgainstList(listed, mismatches);
            ASSERT_TRUE(after.Take());
            stable = before.SameAs(after);
        }
        ASSERT_TRUE(stable) << "the layout kept moving in round " << round;
        EXPECT_EQ(mismatches.count, 0u)
            << "round " << round << " of " << listed.size() << " mappings:\n"
            << mismatches.first[0] << "\n"
            << mismatches.first[1] << "\n"
            << mismatches.first[2] << "\n"
            << mismatches.first[3];
        if (mismatches.count != 0) {
            return;
        }
    }
}

class MemoryMappings : public ::testing::Test {
protected:
    void TearDown() override { SvcpAskKernelForMapping(true); }
};

// The path of kernels before 6.11, which refuse the single-address request.
TEST_F(MemoryMappings, TheListPathReportsEveryMappingAndGap) {
    SvcpAskKernelForMapping(false);
    CheckEveryMappingOverManyLayouts();
}

// The same, answered by the kernel where it can (the list where it cannot).
TEST_F(MemoryMappings, TheKernelsAnswerReportsEveryMappingAndGap) {
    SvcpAskKernelForMapping(true);
    CheckEveryMappingOverManyLayouts();
}

}  // namespace
