#include "svcproc/io/DriverChannel.h"

#include <cstddef>
#include <cstdlib>

#include "svcproc/io/SvcpProtocol.h"
#include "svcproc/logging/Log.h"

namespace {

unsigned LastError() {
    return static_cast<unsigned>(GetLastError());
}

// The last step of the device opening.
bool InitialiseBusIODevice(const WCHAR* devicePath, HANDLE* device) {
    *device = CreateFileW(devicePath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                          nullptr);
    return *device != INVALID_HANDLE_VALUE;
}

// Asks for the number of interfaces beyond index 0, logging each count.
int CountInterfaces(HDEVINFO set) {
    int count = 1;
    for (;;) {
        Log(kLogTrace, "CIOUnit::InitialiseIODevice  - KsvcpInterfaceCount=%d", count);
        SP_DEVICE_INTERFACE_DATA further = {};
        further.cbSize = sizeof further;
        if (!SetupDiEnumDeviceInterfaces(set, nullptr, &kGuidKsvcpInterface,
                                         static_cast<DWORD>(count), &further)) {
            return count;
        }
        ++count;
    }
}

}  // namespace

bool SvcpInitialiseIODevice(HANDLE* device) {
    LogQuick(kLogCall, "CIOUnit::InitialiseIODevice entry");

    HDEVINFO set = SetupDiGetClassDevsW(&kGuidKsvcpInterface, nullptr, nullptr,
                                        DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        Log(kLogError, "CIOUnit::InitialiseIODevice - SetupDiGetClassDevs failed: 0x%08x",
            LastError());
        return false;
    }

    SP_DEVICE_INTERFACE_DATA interfaceData = {};
    interfaceData.cbSize = sizeof interfaceData;
    if (!SetupDiEnumDeviceInterfaces(set, nullptr, &kGuidKsvcpInterface, 0, &interfaceData)) {
        LogQuick(kLogError, "CIOUnit::InitialiseIODevice - No Ksvcp device interface instances");
        SetupDiDestroyDeviceInfoList(set);
        return false;
    }
    if (CountInterfaces(set) > 1) {
        LogQuick(kLogError, "CIOUnit::InitialiseIODevice - Too many device interface instances");
        SetupDiDestroyDeviceInfoList(set);
        return false;
    }

    DWORD requiredSize = 0;
    const BOOL probed =
        SetupDiGetDeviceInterfaceDetailW(set, &interfaceData, nullptr, 0, &requiredSize, nullptr);
    const unsigned probeError = LastError();
    if (probed || probeError != ERROR_INSUFFICIENT_BUFFER) {
        Log(kLogError,
            "CIOUnit::InitialiseIODevice - SetupDiGetDeviceInterfaceDetail - Unexpected result "
            "when probing for required buffer size 0x%08x",
            probeError);
        SetupDiDestroyDeviceInfoList(set);
        return false;
    }

    // Never smaller than the fixed part, which is written before the call.
    const size_t bufferSize = requiredSize < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)
                                  ? sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)
                                  : requiredSize;
    auto* detail = static_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_W>(std::malloc(bufferSize));
    if (detail == nullptr) {
        Log(kLogError, "CIOUnit::InitialiseIODevice - failed to malloc DeviceDetail buffer 0x%08x",
            LastError());
        SetupDiDestroyDeviceInfoList(set);
        return false;
    }
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    if (!SetupDiGetDeviceInterfaceDetailW(set, &interfaceData, detail,
                                          static_cast<DWORD>(bufferSize), nullptr, nullptr)) {
        Log(kLogError,
            "CIOUnit::InitialiseIODevice - SetupDiGetDeviceInterfaceDetail failed 0x%08x",
            LastError());
        std::free(detail);
        SetupDiDestroyDeviceInfoList(set);
        return false;
    }
    // The path is logged and opened: it must end inside the buffer whatever
    // was written there.
    const size_t pathCapacity =
        (bufferSize - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath)) / sizeof(WCHAR);
    WCHAR* const path = detail->DevicePath;
    path[pathCapacity - 1] = 0;
    WLog(kLogTrace, L"CIOUnit::InitialiseIODevice - KSVCP Device Path: %s", path);

    const bool opened = InitialiseBusIODevice(path, device);
    const unsigned openError = LastError();
    std::free(detail);
    SetupDiDestroyDeviceInfoList(set);
    if (!opened) {
        Log(kLogError, "CIOUnit::InitialiseBusIODevice - Error in CreateFile: %x", openError);
        return false;
    }
    LogQuick(kLogTrace, "CIOUnit::InitialiseBusIODevice - Initialised Ok");
    return true;
}

bool SvcpRequestResponse(HANDLE device, DWORD portBase, uint8_t command, bool alertPoll,
                         SvcpPacket& packet) {
    SvcpBuildRequest(packet, command, alertPoll, portBase);
    DWORD bytesReturned = 0;
    if (!DeviceIoControl(device, kIoctlSvcpRequestResponse, &packet, sizeof packet, &packet,
                         sizeof packet, &bytesReturned, nullptr)) {
        // A failed call has answered nothing, even when it leaves no error
        // code behind.
        Log(kLogTrace, "SvcpRequestResponse - Ioctl failed: Last Error=0x%08x", LastError());
        return false;
    }
    return true;
}
