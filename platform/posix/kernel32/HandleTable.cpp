#include "HandleTable.h"

#include <mutex>
#include <unordered_map>

#include "win/kernel32.h"

namespace svcp {
namespace {

struct HandleTable {
    std::mutex lock;
    // Like Windows, values are multiples of 4; starting high keeps them clear
    // of small integers a caller might pass by mistake.
    uintptr_t next = 0x1000;
    std::unordered_map<uintptr_t, std::shared_ptr<KernelObject>> objects;
};

// Never destroyed: handles are closed during static destruction too.
HandleTable& Table() {
    static HandleTable* table = new HandleTable();
    return *table;
}

}  // namespace

HANDLE InsertHandle(std::shared_ptr<KernelObject> object) {
    HandleTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    const uintptr_t value = table.next;
    table.next += 4;
    table.objects.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> LookupHandle(HANDLE handle) {
    HandleTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    auto it = table.objects.find(reinterpret_cast<uintptr_t>(handle));
    return it == table.objects.end() ? nullptr : it->second;
}

std::shared_ptr<KernelObject> RemoveHandle(HANDLE handle) {
    HandleTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    auto it = table.objects.find(reinterpret_cast<uintptr_t>(handle));
    if (it == table.objects.end()) {
        return nullptr;
    }
    std::shared_ptr<KernelObject> object = std::move(it->second);
    table.objects.erase(it);
    return object;
}

void LockHandleTableForFork() {
    Table().lock.lock();
}

void UnlockHandleTableAfterFork() {
    Table().lock.unlock();
}

}  // namespace svcp

extern "C" BOOL WINAPI CloseHandle(HANDLE handle) {
    std::shared_ptr<svcp::KernelObject> object = svcp::RemoveHandle(handle);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    object->OnHandleClosed();
    return TRUE;
}
