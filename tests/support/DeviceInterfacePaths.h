// The device paths SetupAPI lists for an interface class: what an
// application, or the library, finds when it looks for a driver.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform.h"

inline std::vector<std::wstring> DeviceInterfacePaths(const GUID& interfaceClass) {
    std::vector<std::wstring> paths;
    HDEVINFO set = SetupDiGetClassDevsW(&interfaceClass, nullptr, nullptr,
                                        DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    EXPECT_NE(set, INVALID_HANDLE_VALUE);
    if (set == INVALID_HANDLE_VALUE) {
        return paths;
    }
    SP_DEVICE_INTERFACE_DATA data = {};
    data.cbSize = sizeof data;
    for (DWORD index = 0; SetupDiEnumDeviceInterfaces(set, nullptr, &interfaceClass, index, &data);
         ++index) {
        DWORD required = 0;
        SetupDiGetDeviceInterfaceDetailW(set, &data, nullptr, 0, &required, nullptr);
        std::vector<BYTE> storage(required + sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W));
        auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_W>(storage.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        EXPECT_TRUE(SetupDiGetDeviceInterfaceDetailW(
            set, &data, detail, static_cast<DWORD>(storage.size()), nullptr, nullptr));
        paths.emplace_back(detail->DevicePath);
    }
    SetupDiDestroyDeviceInfoList(set);
    return paths;
}
