// Memory queries, answered from the process's own mapping list. Nothing here
// touches the queried address, so a bad pointer cannot fault.
#include <cinttypes>
#include <cstdio>
#include <cstring>

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

// Finds the mapping that contains the address in /proc/self/maps.
bool FindMapping(uintptr_t address, Mapping* found) {
    FILE* maps = std::fopen("/proc/self/maps", "re");
    if (maps == nullptr) {
        return false;
    }
    char line[512];
    bool hit = false;
    while (std::fgets(line, sizeof line, maps) != nullptr) {
        uintmax_t start = 0;
        uintmax_t end = 0;
        char perms[5] = {};
        if (std::sscanf(line, "%jx-%jx %4s", &start, &end, perms) != 3) {
            continue;
        }
        if (address >= start && address < end) {
            found->start = static_cast<uintptr_t>(start);
            found->end = static_cast<uintptr_t>(end);
            found->readable = perms[0] == 'r';
            found->writable = perms[1] == 'w';
            found->executable = perms[2] == 'x';
            found->shared = perms[3] == 's';
            hit = true;
            break;
        }
    }
    std::fclose(maps);
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
