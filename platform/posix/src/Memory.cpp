// Memory queries, answered from the process's own mapping list. Nothing here
// touches the queried address, so a bad pointer cannot fault.
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include <fcntl.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "win/kernel32.h"

namespace {

struct Mapping {
    uintptr_t start = 0;
    uintptr_t end = 0;
    bool readable = false;
    bool writable = false;
    bool executable = false;
    bool shared = false;
};

// The start of one line of /proc/self/maps: "start-end perms ...". False
// when the text is not one.
bool ParseMapping(const char* text, size_t size, Mapping* mapping) {
    const char* const end = text + size;
    const char* p = text;
    uintmax_t values[2] = {0, 0};
    for (int which = 0; which < 2; ++which) {
        const char* const first = p;
        for (; p < end; ++p) {
            const char c = *p;
            const int digit = c >= '0' && c <= '9'   ? c - '0'
                              : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                     : -1;
            if (digit < 0) {
                break;
            }
            values[which] = (values[which] << 4) | static_cast<uintmax_t>(digit);
        }
        if (p == first || p == end || *p != (which == 0 ? '-' : ' ')) {
            return false;
        }
        ++p;
    }
    if (end - p < 4) {
        return false;
    }
    mapping->start = static_cast<uintptr_t>(values[0]);
    mapping->end = static_cast<uintptr_t>(values[1]);
    mapping->readable = p[0] == 'r';
    mapping->writable = p[1] == 'w';
    mapping->executable = p[2] == 'x';
    mapping->shared = p[3] == 's';
    return true;
}

// Counts the forks this process came through: a child sees one more than
// its parent saw, without asking the kernel for its process id.
std::atomic<unsigned> g_nForks{0};

void NoteFork() {
    g_nForks.fetch_add(1, std::memory_order_relaxed);
}

const bool g_bForksNoted = pthread_atfork(nullptr, nullptr, &NoteFork) == 0;

// This thread's descriptor of /proc/self/maps, kept open: an open and close
// per question cost as much as the reading. Each thread has its own, so that
// no two share a read position, and it is closed when the thread ends. After
// a fork it would show the parent's mappings, so a new process opens anew.
class CMapsFile {
public:
    CMapsFile() = default;
    CMapsFile(const CMapsFile&) = delete;
    CMapsFile& operator=(const CMapsFile&) = delete;
    ~CMapsFile() {
        if (m_nFd >= 0) {
            ::close(m_nFd);
        }
    }
    int Descriptor() {
        // Without the fork handler, the process id tells a child (a system
        // call per question).
        const unsigned long owner = g_bForksNoted ? g_nForks.load(std::memory_order_relaxed)
                                                  : static_cast<unsigned long>(::getpid());
        if (m_nFd < 0 || m_nOwner != owner) {
            if (m_nFd >= 0) {
                ::close(m_nFd);
            }
            m_nFd = ::open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
            m_nOwner = owner;
        }
        return m_nFd;
    }

private:
    int m_nFd = -1;
    unsigned long m_nOwner = 0;
};

thread_local CMapsFile t_Maps;

// Linux 6.11 and later answer for one address without listing the mappings
// (the PROCMAP_QUERY request on the maps file). Its record, as the kernel
// defines it; a kernel whose record differs, or that lacks the request,
// refuses the request number (which carries the size) and the list is read.
struct ProcmapQuery {
    uint64_t size;
    uint64_t queryFlags;
    uint64_t queryAddress;
    uint64_t vmaStart;
    uint64_t vmaEnd;
    uint64_t vmaFlags;
    uint64_t vmaPageSize;
    uint64_t vmaOffset;
    uint64_t inode;
    uint32_t deviceMajor;
    uint32_t deviceMinor;
    uint32_t vmaNameSize;
    uint32_t buildIdSize;
    uint64_t vmaNameAddress;
    uint64_t buildIdAddress;
};
const unsigned long kProcmapQuery = _IOWR('f', 17, ProcmapQuery);
constexpr uint64_t kProcmapReadable = 0x01;
constexpr uint64_t kProcmapWritable = 0x02;
constexpr uint64_t kProcmapExecutable = 0x04;
constexpr uint64_t kProcmapShared = 0x08;

std::atomic<bool> g_bNoProcmapQuery{false};

enum QUERY_RESULT { Query_Found, Query_None, Query_Unanswered };

QUERY_RESULT QueryMapping(int fd, uintptr_t address, Mapping* found) {
    if (g_bNoProcmapQuery.load(std::memory_order_relaxed)) {
        return Query_Unanswered;
    }
    ProcmapQuery query;
    std::memset(&query, 0, sizeof query);
    query.size = sizeof query;
    query.queryAddress = address;  // flags 0: only the mapping that covers it
    if (::ioctl(fd, kProcmapQuery, &query) != 0) {
        if (errno == ENOENT) {
            return Query_None;
        }
        if (errno == ENOTTY || errno == EINVAL || errno == EOPNOTSUPP) {
            g_bNoProcmapQuery.store(true, std::memory_order_relaxed);
        }
        return Query_Unanswered;
    }
    found->start = static_cast<uintptr_t>(query.vmaStart);
    found->end = static_cast<uintptr_t>(query.vmaEnd);
    found->readable = (query.vmaFlags & kProcmapReadable) != 0;
    found->writable = (query.vmaFlags & kProcmapWritable) != 0;
    found->executable = (query.vmaFlags & kProcmapExecutable) != 0;
    found->shared = (query.vmaFlags & kProcmapShared) != 0;
    return Query_Found;
}

// Finds the mapping that contains the address: asked of the kernel directly
// where it can answer, otherwise from /proc/self/maps. The list is read from
// its start with plain reads into a buffer on the stack and parsed in place,
// and the search ends at the first mapping that does not lie below the
// address (the list is in address order): the listener probe asks several
// times per listener call, and stdio's heap buffer and line copies made each
// question cost more than the rest of an alert.
bool FindMapping(uintptr_t address, Mapping* found) {
    const int fd = t_Maps.Descriptor();
    if (fd < 0) {
        return false;
    }
    switch (QueryMapping(fd, address, found)) {
        case Query_Found:
            return true;
        case Query_None:
            return false;
        case Query_Unanswered:
            break;
    }
    off_t offset = 0;
    // A line's start (two 16-digit numbers, a dash, a blank, four flags) fits
    // in this many bytes; the rest of the line, a path, is skipped.
    constexpr size_t kLineStart = 64;
    // Small reads: the kernel formats only as many lines as a read can take,
    // and the mapping asked for is often among the first.
    char buffer[1024];
    size_t held = 0;
    size_t pos = 0;
    bool skipping = false;  // inside a line already looked at
    bool atEnd = false;
    bool hit = false;
    bool decided = false;
    while (!decided) {
        if (!atEnd) {
            if (pos > 0) {
                std::memmove(buffer, buffer + pos, held - pos);
                held -= pos;
                pos = 0;
            }
            const ssize_t got = ::pread(fd, buffer + held, sizeof buffer - held, offset);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                atEnd = true;
            } else {
                held += static_cast<size_t>(got);
                offset += got;
            }
        }
        for (;;) {
            const char* const newline =
                static_cast<const char*>(std::memchr(buffer + pos, '\n', held - pos));
            if (skipping) {
                if (newline == nullptr) {
                    pos = held;
                    break;
                }
                pos = static_cast<size_t>(newline - buffer) + 1;
                skipping = false;
            }
            const size_t available = held - pos;
            if (available == 0 || (newline == nullptr && available < kLineStart && !atEnd)) {
                break;  // more to read first
            }
            Mapping mapping;
            if (ParseMapping(buffer + pos, available, &mapping)) {
                if (address < mapping.start) {
                    decided = true;
                    break;
                }
                if (address < mapping.end) {
                    *found = mapping;
                    hit = true;
                    decided = true;
                    break;
                }
            }
            skipping = true;
        }
        if (atEnd && !decided && (held == pos || skipping)) {
            decided = true;
        }
    }
    return hit;
}

DWORD ProtectionOf(const Mapping& mapping) {
    if (!mapping.readable && !mapping.executable) {
        return PAGE_NOACCESS;
    }
    if (mapping.executable) {
        if (!mapping.readable) {
            return PAGE_EXECUTE;
        }
        return mapping.writable ? PAGE_EXECUTE_READWRITE : PAGE_EXECUTE_READ;
    }
    return mapping.writable ? PAGE_READWRITE : PAGE_READONLY;
}

}  // namespace

extern "C" SIZE_T WINAPI VirtualQuery(LPCVOID address, PMEMORY_BASIC_INFORMATION buffer,
                                      SIZE_T length) {
    if (buffer == nullptr || length < sizeof(MEMORY_BASIC_INFORMATION)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::memset(buffer, 0, sizeof *buffer);
    Mapping mapping;
    const uintptr_t value = reinterpret_cast<uintptr_t>(address);
    if (!FindMapping(value, &mapping)) {
        buffer->BaseAddress = reinterpret_cast<PVOID>(value & ~uintptr_t{0xFFF});
        buffer->RegionSize = 0x1000;
        buffer->State = MEM_FREE;
        buffer->Protect = PAGE_NOACCESS;
        return sizeof *buffer;
    }
    buffer->BaseAddress = reinterpret_cast<PVOID>(mapping.start);
    buffer->AllocationBase = reinterpret_cast<PVOID>(mapping.start);
    buffer->RegionSize = mapping.end - mapping.start;
    buffer->State = MEM_COMMIT;
    buffer->Protect = ProtectionOf(mapping);
    buffer->AllocationProtect = buffer->Protect;
    buffer->Type = mapping.shared ? MEM_MAPPED : MEM_PRIVATE;
    return sizeof *buffer;
}

extern "C" BOOL WINAPI IsBadCodePtr(FARPROC address) {
    Mapping mapping;
    const uintptr_t value = reinterpret_cast<uintptr_t>(address);
    if (value == 0 || !FindMapping(value, &mapping)) {
        return TRUE;
    }
    return mapping.readable && mapping.executable ? FALSE : TRUE;
}
