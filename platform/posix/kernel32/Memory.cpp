// Memory queries, answered from the process's own mapping list. Nothing here
// touches the queried address, so a bad pointer cannot fault.
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "platform_seams.h"
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

// Set once the kernel has refused the request: it will refuse it again.
std::atomic<bool> g_bKernelRefuses{false};
// Cleared by tests, to reach the list on a kernel that would answer.
std::atomic<bool> g_bAskKernel{true};

enum QUERY_RESULT { Query_Found, Query_None, Query_Unanswered };

QUERY_RESULT QueryMapping(int fd, uintptr_t address, Mapping* found) {
    if (!g_bAskKernel.load(std::memory_order_relaxed) ||
        g_bKernelRefuses.load(std::memory_order_relaxed)) {
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
            g_bKernelRefuses.store(true, std::memory_order_relaxed);
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

// Reads a file line by line through a buffer on the stack. Of each line it
// keeps only the start, as much as the caller asks for; the rest of a line,
// however long, is skipped.
class CLineReader {
public:
    explicit CLineReader(int fd) : m_nFd(fd) {}
    CLineReader(const CLineReader&) = delete;
    CLineReader& operator=(const CLineReader&) = delete;

    // The next line's first bytes (at most `capacity`, without its newline)
    // into `line`, their count into *length. False at the end of the file, and
    // on a read error, for the line it cut short too.
    bool Next(char* line, size_t capacity, size_t* length) {
        size_t kept = 0;
        bool begun = false;
        for (;;) {
            if (m_nPos == m_nHeld && !Fill()) {
                *length = kept;
                return begun && !m_bFailed;  // a last line without a newline counts
            }
            begun = true;
            const char* const start = m_aBuffer + m_nPos;
            const size_t held = m_nHeld - m_nPos;
            const void* const newline = std::memchr(start, '\n', held);
            const size_t part = newline != nullptr
                                    ? static_cast<size_t>(static_cast<const char*>(newline) - start)
                                    : held;
            const size_t copied = part < capacity - kept ? part : capacity - kept;
            std::memcpy(line + kept, start, copied);
            kept += copied;
            m_nPos += part;
            if (newline != nullptr) {
                ++m_nPos;
                *length = kept;
                return true;
            }
        }
    }

private:
    // False at the end of the file or on an error.
    bool Fill() {
        if (m_bFailed) {
            return false;
        }
        ssize_t got;
        do {
            got = ::read(m_nFd, m_aBuffer, sizeof m_aBuffer);
        } while (got < 0 && errno == EINTR);
        m_bFailed = got < 0;
        m_nPos = 0;
        m_nHeld = got > 0 ? static_cast<size_t>(got) : 0;
        return got > 0;
    }

    const int m_nFd;
    char m_aBuffer[1024];
    size_t m_nPos = 0;
    size_t m_nHeld = 0;
    bool m_bFailed = false;
};

// The list, in address order, from its start up to the first mapping that
// does not lie below the address.
bool FindInList(int fd, uintptr_t address, Mapping* found) {
    CLineReader reader(fd);
    // A line's start (two 16-digit numbers, a dash, a blank, four flags) fits
    // in this many bytes; the rest of the line is skipped.
    char line[64];
    size_t length = 0;
    while (reader.Next(line, sizeof line, &length)) {
        Mapping mapping;
        if (!ParseMapping(line, length, &mapping)) {
            continue;
        }
        if (address < mapping.start) {
            return false;
        }
        if (address < mapping.end) {
            *found = mapping;
            return true;
        }
    }
    return false;
}

// Finds the mapping that contains the address: asked of the kernel where it
// can answer, otherwise read from the list. The file is opened for each
// question: nothing is kept between calls, so nothing belongs to a thread or
// outlives a fork, and the cost is small beside the poll that asks.
bool FindMapping(uintptr_t address, Mapping* found) {
    const int fd = ::open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    bool hit = false;
    switch (QueryMapping(fd, address, found)) {
        case Query_Found:
            hit = true;
            break;
        case Query_None:
            break;
        case Query_Unanswered:
            hit = FindInList(fd, address, found);
            break;
    }
    ::close(fd);
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

void SvcpAskKernelForMapping(bool ask) {
    g_bAskKernel.store(ask, std::memory_order_relaxed);
}
