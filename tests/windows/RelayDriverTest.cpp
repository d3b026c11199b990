// The relay driver under Wine: the service processor's interface found
// through SetupAPI, and its exchanges answered by the simulator in this
// process through the control device, as the library will use them.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "SimProtocol.h"
#include "SimServiceProcessor.h"
#include "platform.h"
#include "relay/SimRelayHost.h"
#include "support/DeviceInterfacePaths.h"

namespace {

using svcpsim::CSimRelayHost;
using svcpsim::CSimServiceProcessor;
using svcpsim::Packet;

const GUID kInterfaceClass = {
    0xff1a9a71, 0xa14d, 0x4a6b, {0xa7, 0x78, 0x76, 0xa5, 0x41, 0xa7, 0x8f, 0x1a}};

class RelayDriverTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::vector<std::wstring> paths = DeviceInterfacePaths(kInterfaceClass);
        ASSERT_EQ(paths.size(), 1u);
        m_hDevice = CreateFileW(paths[0].c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(m_hDevice, INVALID_HANDLE_VALUE) << GetLastError();
    }
    void TearDown() override {
        if (m_hDevice != INVALID_HANDLE_VALUE) {
            CloseHandle(m_hDevice);
        }
    }

    // One exchange; the Win32 error, 0 on success.
    DWORD Exchange(Packet& packet, DWORD* returned) {
        *returned = 0;
        Packet buffer = packet;
        if (!DeviceIoControl(m_hDevice, svcpsim::kIoctlRequestResponse, buffer.data(),
                             svcpsim::kPacketSize, buffer.data(), svcpsim::kPacketSize, returned,
                             nullptr)) {
            return GetLastError();
        }
        packet = buffer;
        return 0;
    }

    HANDLE m_hDevice = INVALID_HANDLE_VALUE;
};

TEST_F(RelayDriverTest, WithoutHostTheExchangeFailsAtOnce) {
    Packet packet;
    svcpsim::EncodeRequest(packet, svcpsim::kCommandReadLeds, false, svcpsim::kDefaultPortBase);
    DWORD returned = 0;
    EXPECT_EQ(Exchange(packet, &returned), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
}

TEST_F(RelayDriverTest, HostAnswersWithTheSimulatorsBytesAndErrors) {
    auto sp = std::make_shared<CSimServiceProcessor>();
    sp->SetLedState(0x0205);
    CSimRelayHost host(sp);
    ASSERT_TRUE(host.Start()) << GetLastError();

    // The same request answered by the model directly: byte for byte equal.
    Packet packet;
    svcpsim::EncodeRequest(packet, svcpsim::kCommandReadLeds, false, svcpsim::kDefaultPortBase);
    Packet expected = packet;
    ASSERT_EQ(CSimServiceProcessor().Exchange(expected), 0u);
    DWORD returned = 0;
    ASSERT_EQ(Exchange(packet, &returned), 0u);
    EXPECT_EQ(returned, svcpsim::kPacketSize);
    svcpsim::Response response;
    ASSERT_TRUE(svcpsim::DecodeResponse(packet, &response));
    EXPECT_EQ(response.type, svcpsim::kCommandReadLeds);
    ASSERT_EQ(response.data.size(), 2u);
    EXPECT_EQ(response.data[0], 0x02);
    EXPECT_EQ(response.data[1], 0x05);

    // Faults travel as the Win32 error of the library's call.
    sp->FailExchanges(1, svcpsim::kErrorIoDevice);
    svcpsim::EncodeRequest(packet, svcpsim::kCommandReadFans, false, svcpsim::kDefaultPortBase);
    EXPECT_EQ(Exchange(packet, &returned), static_cast<DWORD>(ERROR_IO_DEVICE));
    svcpsim::EncodeRequest(packet, 0x55, false, svcpsim::kDefaultPortBase);
    EXPECT_EQ(Exchange(packet, &returned), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
    svcpsim::EncodeRequest(packet, svcpsim::kCommandReadFans, false, svcpsim::kDefaultPortBase);
    EXPECT_EQ(Exchange(packet, &returned), 0u);
    EXPECT_EQ(sp->GetCounters().exchanges[svcpsim::kCommandReadFans], 2u);
    EXPECT_EQ(host.GetExchangeCount(), 4u);

    // A second host is refused while the first is attached.
    CSimRelayHost second(sp);
    EXPECT_FALSE(second.Start());

    host.Stop();
    EXPECT_EQ(Exchange(packet, &returned), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
    // Another host may attach after a detach.
    ASSERT_TRUE(second.Start()) << GetLastError();
    EXPECT_EQ(Exchange(packet, &returned), 0u);
}

TEST(RelayDriverInterfaces, SecondInstanceComesAndGoes) {
    ASSERT_EQ(DeviceInterfacePaths(kInterfaceClass).size(), 1u);
    ASSERT_TRUE(CSimRelayHost::SetInterface(1, true)) << GetLastError();
    const std::vector<std::wstring> two = DeviceInterfacePaths(kInterfaceClass);
    EXPECT_EQ(two.size(), 2u);
    ASSERT_TRUE(CSimRelayHost::SetInterface(1, false));
    EXPECT_EQ(DeviceInterfacePaths(kInterfaceClass).size(), 1u);

    ASSERT_TRUE(CSimRelayHost::SetInterface(0, false));
    EXPECT_EQ(DeviceInterfacePaths(kInterfaceClass).size(), 0u);
    ASSERT_TRUE(CSimRelayHost::SetInterface(0, true));
    EXPECT_EQ(DeviceInterfacePaths(kInterfaceClass).size(), 1u);
}

}  // namespace
