// The simulated service processor as a device: listed by SetupAPI, reached by
// CreateFileW and DeviceIoControl, removed and registered again.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "SimDevice.h"
#include "platform.h"
#include "support/DeviceInterfacePaths.h"

namespace svcpsim {
namespace {

HANDLE Open(const CSimDevice& device) {
    return CreateFileW(device.GetPath().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                       OPEN_EXISTING, 0, nullptr);
}

BOOL Call(HANDLE handle, DWORD code, Packet& packet, DWORD size = kPacketSize) {
    DWORD returned = 0;
    return DeviceIoControl(handle, code, packet.data(), size, packet.data(), size, &returned,
                           nullptr);
}

TEST(SimDevice, IsListedUnderTheInterfaceClassUntilRemoved) {
    EXPECT_EQ(SimDevicePath(0), L"\\\\?\\ROOT#SVCPSIM#0000#{ff1a9a71-a14d-4a6b-a778-76a541a78f1a}");
    auto sp = std::make_shared<CSimServiceProcessor>();
    CSimDevice first(sp);
    ASSERT_TRUE(first.IsRegistered());
    EXPECT_FALSE(CSimDevice(sp, 0).IsRegistered()) << "one registration per path";
    {
        CSimDevice second(sp, 1);
        EXPECT_EQ(DeviceInterfacePaths(kSimInterfaceClass),
                  (std::vector<std::wstring>{SimDevicePath(0), SimDevicePath(1)}));
    }
    first.Remove();
    EXPECT_TRUE(DeviceInterfacePaths(kSimInterfaceClass).empty());
    ASSERT_TRUE(first.Register());
    EXPECT_EQ(DeviceInterfacePaths(kSimInterfaceClass),
              std::vector<std::wstring>{SimDevicePath(0)});
}

TEST(SimDevice, AnswersThroughDeviceIoControlAsADriver) {
    auto sp = std::make_shared<CSimServiceProcessor>();
    CSimDevice device(sp);
    HANDLE handle = Open(device);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);

    Packet packet;
    EncodeRequest(packet, kCommandReadFans, false, kDefaultPortBase);
    ASSERT_TRUE(Call(handle, kIoctlRequestResponse, packet));
    Response response;
    ASSERT_TRUE(DecodeResponse(packet, &response));
    EXPECT_EQ(response.type, kCommandReadFans);
    EXPECT_TRUE(response.checksumOk);

    // The service processor's refusals are the caller's last error.
    EXPECT_FALSE(Call(handle, kIoctlRequestResponse, packet, 64));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    sp->FailExchanges(1, ERROR_TIMEOUT);
    EXPECT_FALSE(Call(handle, kIoctlRequestResponse, packet));
    EXPECT_EQ(GetLastError(), ERROR_TIMEOUT);

    // Gone while open: the handle fails, the service processor lives on.
    device.Remove();
    EncodeRequest(packet, kCommandReadFans, false, kDefaultPortBase);
    EXPECT_FALSE(Call(handle, kIoctlRequestResponse, packet));
    EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
    EXPECT_TRUE(CloseHandle(handle));
    EXPECT_EQ(sp->GetCounters().exchanges[kCommandReadFans], 2u);
}

}  // namespace
}  // namespace svcpsim
