// What a socket device server bears from its clients: a header announcing
// more than the largest request ends its connection unread; a request not
// whole in time is dropped; notices are held to one a period. (The
// connection limit is tried on svcproc-sim itself: SimFloodTest.)
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "NoticeThrottle.h"
#include "socket_devices.h"
#include "support/sockets/UnixSocketClient.h"
#include "support/sockets/UnixSocketClient.h"
#include "support/TempDirectory.h"

namespace {

using std::chrono::seconds;

constexpr GUID kClass = {
    0x5e7a1c00, 0x4444, 0x4333, {0x84, 0x44, 0x55, 0x55, 0x66, 0x66, 0x77, 0x03}};

class NullDriver : public svcp::IDeviceDriver {
public:
    DWORD IoControl(DWORD, const void*, DWORD, void*, DWORD, DWORD* returned) override {
        *returned = 0;
        return ERROR_SUCCESS;
    }
};

void Put32(std::vector<uint8_t>& bytes, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        bytes.push_back(static_cast<uint8_t>(value >> shift));
    }
}

std::vector<uint8_t> Header(uint32_t operation, uint32_t outputSize, uint32_t payloadLength) {
    std::vector<uint8_t> bytes;
    for (uint32_t word : {0x50435653u, operation, 0u, outputSize, payloadLength}) {
        Put32(bytes, word);
    }
    return bytes;
}

class SocketServerLimits : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(m_Directory.Path().empty());
        svcp::SocketDeviceServer::Device device;
        device.interfaceClass = kClass;
        device.path = L"\\\\?\\ROOT#LIMITSTEST#0000#{5e7a1c00}";
        device.driver = std::make_shared<NullDriver>();
        svcp::SocketDeviceServer::Limits limits;
        limits.requestTimeoutMs = 300;
        std::string error;
        m_pServer =
            svcp::SocketDeviceServer::Start(m_Directory.Path(), "device", device, limits, &error);
        ASSERT_NE(m_pServer, nullptr) << error;
    }
    void TearDown() override { m_pServer.reset(); }

    // A client's whole question: is the device there.
    bool Answers() {
        std::vector<std::shared_ptr<svcp::DeviceNode>> nodes;
        svcp::MakeSocketDeviceProvider(m_Directory.Path(), 2000)->ListInterfaces(kClass, nodes);
        return nodes.size() == 1;
    }

    CTempDirectory m_Directory{"svcp-limits"};
    std::unique_ptr<svcp::SocketDeviceServer> m_pServer;
};

TEST_F(SocketServerLimits, AnOversizedRequestEndsItsConnectionUnread) {
    for (uint32_t length : {svcp::kMaxRequestPayload + 1, svcp::kMaxSocketPayload, 0xFFFFFFFFu}) {
        SCOPED_TRACE(length);
        const int fd = ConnectTo(m_pServer->SocketPath());
        ASSERT_GE(fd, 0);
        const std::vector<uint8_t> header = Header(2, 96, length);
        ASSERT_EQ(send(fd, header.data(), header.size(), MSG_NOSIGNAL), 20);
        EXPECT_TRUE(ClosedByServer(fd, 2000));
        close(fd);
    }
    // An output size past the largest request is refused in the reply.
    const int fd = ConnectTo(m_pServer->SocketPath());
    const std::vector<uint8_t> header = Header(2, svcp::kMaxSocketPayload, 0);
    ASSERT_EQ(send(fd, header.data(), header.size(), MSG_NOSIGNAL), 20);
    uint8_t reply[16] = {};
    ASSERT_EQ(recv(fd, reply, sizeof reply, MSG_WAITALL), 16);
    EXPECT_EQ(reply[4], ERROR_INVALID_PARAMETER);
    EXPECT_EQ(reply[12], 0) << "no payload";
    close(fd);
    EXPECT_TRUE(Answers());
}

TEST_F(SocketServerLimits, ARequestNotWholeInTimeIsDropped) {
    const int fd = ConnectTo(m_pServer->SocketPath());
    ASSERT_GE(fd, 0);
    const std::vector<uint8_t> header = Header(2, 96, 96);
    ASSERT_EQ(send(fd, header.data(), 10, MSG_NOSIGNAL), 10);
    EXPECT_FALSE(ClosedByServer(fd, 100)) << "still within its 300 ms";
    EXPECT_TRUE(ClosedByServer(fd, 2000));
    close(fd);
}

TEST(NoticeThrottle, TellsOnceAPeriodWithTheCountHeldBack) {
    using Clock = svcp::CNoticeThrottle::Clock;
    svcp::CNoticeThrottle throttle(seconds(10));
    const Clock::time_point start = Clock::time_point() + std::chrono::hours(1);
    unsigned long heldBack = 99;
    EXPECT_TRUE(throttle.Take(start, &heldBack));
    EXPECT_EQ(heldBack, 0u);
    for (int i = 1; i <= 5; ++i) {
        EXPECT_FALSE(throttle.Take(start + seconds(2 * i - 1), &heldBack)) << i;
    }
    EXPECT_TRUE(throttle.Take(start + seconds(10), &heldBack));
    EXPECT_EQ(heldBack, 5u);
    EXPECT_FALSE(throttle.Take(start + seconds(19), &heldBack));
    EXPECT_TRUE(throttle.Take(start + seconds(30), &heldBack));
    EXPECT_EQ(heldBack, 1u);
}

}  // namespace
