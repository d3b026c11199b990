// Finds the service processor's device interface, opens it and makes one
// 96-byte exchange with the driver that tests/windows/driver builds. Exits 0
// when exactly one interface is present and the answer is the request's
// bytes in reverse order; prints what it found and how long each step took.
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "platform.h"

namespace {

const GUID kServiceProcessorInterface = {
    0xff1a9a71, 0xa14d, 0x4a6b, {0xa7, 0x78, 0x76, 0xa5, 0x41, 0xa7, 0x8f, 0x1a}};
const DWORD kExchange = 0x80772004u;
const DWORD kPacketSize = 96;

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

int Fail(const char* what) {
    std::printf("FAILED: %s (error %lu)\n", what, GetLastError());
    return 1;
}

}  // namespace

int main() {
    LARGE_INTEGER start, found, opened, exchanged;
    QueryPerformanceCounter(&start);

    HDEVINFO devices = SetupDiGetClassDevsW(&kServiceProcessorInterface, nullptr, nullptr,
                                            DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (devices == INVALID_HANDLE_VALUE) {
        return Fail("SetupDiGetClassDevsW");
    }
    std::vector<std::wstring> paths;
    SP_DEVICE_INTERFACE_DATA data = {};
    data.cbSize = sizeof(data);
    for (DWORD index = 0;
         SetupDiEnumDeviceInterfaces(devices, nullptr, &kServiceProcessorInterface, index, &data);
         ++index) {
        DWORD required = 0;
        SetupDiGetDeviceInterfaceDetailW(devices, &data, nullptr, 0, &required, nullptr);
        std::vector<unsigned char> storage(required);
        if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) {
            SetupDiDestroyDeviceInfoList(devices);
            return Fail("SetupDiGetDeviceInterfaceDetailW size");
        }
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(storage.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        if (!SetupDiGetDeviceInterfaceDetailW(devices, &data, detail, required, nullptr, nullptr)) {
            SetupDiDestroyDeviceInfoList(devices);
            return Fail("SetupDiGetDeviceInterfaceDetailW");
        }
        paths.emplace_back(detail->DevicePath);
    }
    SetupDiDestroyDeviceInfoList(devices);
    QueryPerformanceCounter(&found);
    std::printf("interfaces: %u\n", static_cast<unsigned>(paths.size()));
    for (const std::wstring& path : paths) {
        std::printf("  %ls\n", path.c_str());
    }
    if (paths.size() != 1) {
        std::printf("FAILED: expected exactly one interface\n");
        return 1;
    }

    HANDLE device = CreateFileW(paths[0].c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (device == INVALID_HANDLE_VALUE) {
        return Fail("CreateFileW");
    }
    QueryPerformanceCounter(&opened);

    unsigned char request[kPacketSize];
    unsigned char answer[kPacketSize] = {};
    for (DWORD i = 0; i < kPacketSize; ++i) {
        request[i] = static_cast<unsigned char>(i * 7 + 1);
    }
    DWORD returned = 0;
    const BOOL ok = DeviceIoControl(device, kExchange, request, kPacketSize, answer, kPacketSize,
                                    &returned, nullptr);
    QueryPerformanceCounter(&exchanged);
    CloseHandle(device);
    if (!ok) {
        return Fail("DeviceIoControl");
    }
    if (returned != kPacketSize) {
        std::printf("FAILED: %lu bytes returned\n", returned);
        return 1;
    }
    for (DWORD i = 0; i < kPacketSize; ++i) {
        if (answer[i] != request[kPacketSize - 1 - i]) {
            std::printf("FAILED: answer byte %lu is 0x%02x\n", i, answer[i]);
            return 1;
        }
    }
    std::printf("exchange: %lu bytes\n", returned);
    std::printf("time: find %.1f ms, open %.1f ms, exchange %.1f ms\n", Milliseconds(start, found),
                Milliseconds(found, opened), Milliseconds(opened, exchanged));
    return 0;
}
