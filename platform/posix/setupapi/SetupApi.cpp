// SetupAPI device-interface enumeration over the device providers.
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "device_registry.h"
#include "platform_seams.h"
#include "win/kernel32.h"
#include "win/setupapi.h"

static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) ==
                  offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) + sizeof(WCHAR),
              "the detail's fixed part is its header and one character, as Windows has it");

namespace {

struct InterfaceEntry {
    GUID interfaceClass;
    std::wstring path;
};

// The snapshot SetupDiGetClassDevsW takes; never changed afterwards.
struct DeviceInfoSet {
    std::vector<InterfaceEntry> interfaces;
};

// Sets are named by values of their own, never reused, so a destroyed or
// made-up HDEVINFO fails instead of naming another set.
struct SetTable {
    std::mutex lock;
    uintptr_t next = 0x5E700000;
    std::unordered_map<uintptr_t, std::shared_ptr<const DeviceInfoSet>> sets;
};

SetTable& Sets() {
    static SetTable* table = new SetTable();
    return *table;
}

std::shared_ptr<const DeviceInfoSet> LookupSet(HDEVINFO handle) {
    SetTable& table = Sets();
    std::lock_guard<std::mutex> guard(table.lock);
    auto it = table.sets.find(reinterpret_cast<uintptr_t>(handle));
    return it == table.sets.end() ? nullptr : it->second;
}

bool Fail(DWORD code) {
    SetLastError(code);
    return false;
}

// How the calls on a set begin: a failure a test injected into `call`, then
// the set `handle` names. Null, with `error` to fail with, for either.
std::shared_ptr<const DeviceInfoSet> BeginCallOnSet(SvcpCall call, HDEVINFO handle, DWORD& error) {
    uint32_t failure = 0;
    if (SvcpTakeFailure(call, &failure)) {
        error = failure;
        return nullptr;
    }
    std::shared_ptr<const DeviceInfoSet> set = LookupSet(handle);
    if (!set) {
        error = ERROR_INVALID_HANDLE;
    }
    return set;
}

}  // namespace

extern "C" HDEVINFO WINAPI SetupDiGetClassDevsW(const GUID* classGuid, PCWSTR enumerator, HWND,
                                                DWORD flags) {
    uint32_t failure = 0;
    if (SvcpTakeFailure(SvcpCall::SetupDiGetClassDevsW, &failure)) {
        SetLastError(failure);
        return INVALID_HANDLE_VALUE;
    }
    if ((flags & ~(DIGCF_PRESENT | DIGCF_DEVICEINTERFACE)) != 0 ||
        (flags & DIGCF_DEVICEINTERFACE) == 0) {
        SetLastError(ERROR_INVALID_FLAGS);
        return INVALID_HANDLE_VALUE;
    }
    if (classGuid == nullptr || enumerator != nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    try {
        auto set = std::make_shared<DeviceInfoSet>();
        for (const auto& node : svcp::ListDeviceInterfaces(*classGuid)) {
            set->interfaces.push_back(InterfaceEntry{node->InterfaceClass(), node->Path()});
        }
        SetTable& table = Sets();
        std::lock_guard<std::mutex> guard(table.lock);
        const uintptr_t value = table.next;
        table.next += 4;
        table.sets.emplace(value, std::move(set));
        return reinterpret_cast<HDEVINFO>(value);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
}

extern "C" BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO deviceInfoSet,
                                                   PSP_DEVINFO_DATA deviceInfoData,
                                                   const GUID* interfaceClassGuid,
                                                   DWORD memberIndex,
                                                   PSP_DEVICE_INTERFACE_DATA interfaceData) {
    DWORD error = 0;
    const std::shared_ptr<const DeviceInfoSet> set =
        BeginCallOnSet(SvcpCall::SetupDiEnumDeviceInterfaces, deviceInfoSet, error);
    if (!set) {
        return Fail(error);
    }
    if (deviceInfoData != nullptr || interfaceClassGuid == nullptr || interfaceData == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (interfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
        return Fail(ERROR_INVALID_USER_BUFFER);
    }
    DWORD seen = 0;
    for (size_t i = 0; i < set->interfaces.size(); ++i) {
        if (set->interfaces[i].interfaceClass != *interfaceClassGuid) {
            continue;
        }
        if (seen++ == memberIndex) {
            interfaceData->InterfaceClassGuid = set->interfaces[i].interfaceClass;
            interfaceData->Flags = SPINT_ACTIVE;
            interfaceData->Reserved = i + 1;
            return TRUE;
        }
    }
    return Fail(ERROR_NO_MORE_ITEMS);
}

extern "C" BOOL WINAPI SetupDiGetDeviceInterfaceDetailW(HDEVINFO deviceInfoSet,
                                                        PSP_DEVICE_INTERFACE_DATA interfaceData,
                                                        PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail,
                                                        DWORD detailSize, PDWORD requiredSize,
                                                        PSP_DEVINFO_DATA deviceInfoData) {
    DWORD error = 0;
    const std::shared_ptr<const DeviceInfoSet> set =
        BeginCallOnSet(SvcpCall::SetupDiGetDeviceInterfaceDetailW, deviceInfoSet, error);
    if (!set) {
        return Fail(error);
    }
    if (interfaceData == nullptr || deviceInfoData != nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (interfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
        return Fail(ERROR_INVALID_USER_BUFFER);
    }
    const ULONG_PTR index = interfaceData->Reserved;
    if (index == 0 || index > set->interfaces.size()) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    const std::wstring& path = set->interfaces[index - 1].path;
    if ((detail == nullptr && detailSize != 0) ||
        (detail != nullptr && (detailSize < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) ||
                               detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)))) {
        return Fail(ERROR_INVALID_USER_BUFFER);
    }
    const size_t needed =
        offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) + (path.size() + 1) * sizeof(WCHAR);
    if (requiredSize != nullptr) {
        *requiredSize = static_cast<DWORD>(needed);
    }
    if (detail == nullptr || detailSize < needed) {
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    // DevicePath runs past its declared length to the end of the caller's buffer.
    std::memcpy(
        reinterpret_cast<BYTE*>(detail) + offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath),
        path.c_str(), (path.size() + 1) * sizeof(WCHAR));
    return TRUE;
}

extern "C" BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO deviceInfoSet) {
    std::shared_ptr<const DeviceInfoSet> released;
    SetTable& table = Sets();
    std::lock_guard<std::mutex> guard(table.lock);
    auto it = table.sets.find(reinterpret_cast<uintptr_t>(deviceInfoSet));
    if (it == table.sets.end()) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    released = std::move(it->second);
    table.sets.erase(it);
    return TRUE;
}
