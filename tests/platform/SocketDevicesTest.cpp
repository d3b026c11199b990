// Devices served over Unix-domain sockets: found in the device directory,
// reached through SetupAPI, CreateFileW and DeviceIoControl, and failing in
// bounded time when their server stops, hangs or was killed.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform.h"
#include "socket_devices.h"
#include "support/DeviceInterfacePaths.h"
#include "support/ReversedBytes.h"
#include "support/TempDirectory.h"

namespace {

constexpr GUID kClass = {
    0x5e7a1c00, 0x2222, 0x4333, {0x84, 0x44, 0x55, 0x55, 0x66, 0x66, 0x77, 0x01}};
constexpr DWORD kCode = CTL_CODE(0x8123, 0x802, METHOD_BUFFERED, FILE_ANY_ACCESS);
const std::wstring kPath = L"\\\\?\\ROOT#SOCKETTEST#0000#{5e7a1c00}";

// Answers kCode by reversing the input into the output; other codes fail.
// While held, calls wait until released.
class ReverseDriver : public svcp::IDeviceDriver {
public:
    DWORD IoControl(DWORD code, const void* input, DWORD inputSize, void* output, DWORD outputSize,
                    DWORD* bytesReturned) override {
        {
            std::unique_lock<std::mutex> guard(m_Lock);
            m_Released.wait(guard, [this] { return !m_bHeld; });
        }
        if (code != kCode) {
            return ERROR_INVALID_FUNCTION;
        }
        const DWORD n = ReverseInto(input, inputSize, output, outputSize);
        *bytesReturned = n;
        return ERROR_SUCCESS;
    }
    void Hold(bool held) {
        {
            std::lock_guard<std::mutex> guard(m_Lock);
            m_bHeld = held;
        }
        m_Released.notify_all();
    }

private:
    std::mutex m_Lock;
    std::condition_variable m_Released;
    bool m_bHeld = false;
};

class SocketDevicesTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(m_sDirectory.empty());
        m_pDriver = std::make_shared<ReverseDriver>();
        svcp::SetDeviceDirectory("");
    }
    void TearDown() override {
        m_pDriver->Hold(false);
        m_pServer.reset();
        svcp::SetDeviceDirectory("");
    }

    std::unique_ptr<svcp::SocketDeviceServer> Serve(const std::string& name = "device",
                                                    const std::wstring& path = kPath) {
        svcp::SocketDeviceServer::Device device;
        device.interfaceClass = kClass;
        device.path = path;
        device.driver = m_pDriver;
        device.smbiosTable = std::vector<uint8_t>{0x7F, 0x04, 0x00, 0x00, 0x00, 0x00};
        std::string error;
        auto server = svcp::SocketDeviceServer::Start(m_sDirectory, name, device, &error);
        EXPECT_NE(server, nullptr) << error;
        return server;
    }

    CTempDirectory m_Directory{"svcp-sockets"};
    const std::string& m_sDirectory = m_Directory.Path();
    std::shared_ptr<ReverseDriver> m_pDriver;
    std::unique_ptr<svcp::SocketDeviceServer> m_pServer;
};

HANDLE Open(const std::wstring& path = kPath) {
    return CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                       nullptr);
}

// One 96-byte exchange: the last error (0 for success) and the answer.
DWORD Exchange(HANDLE handle, std::vector<BYTE>& packet, DWORD code = kCode) {
    DWORD returned = 0;
    if (DeviceIoControl(handle, code, packet.data(), static_cast<DWORD>(packet.size()),
                        packet.data(), static_cast<DWORD>(packet.size()), &returned, nullptr)) {
        EXPECT_EQ(returned, packet.size());
        return ERROR_SUCCESS;
    }
    return GetLastError();
}

std::vector<BYTE> Counting() {
    std::vector<BYTE> packet(96);
    for (size_t i = 0; i < packet.size(); ++i) {
        packet[i] = static_cast<BYTE>(i);
    }
    return packet;
}

TEST_F(SocketDevicesTest, AServedDeviceIsFoundAndAnswersAsADriver) {
    m_pServer = Serve();
    EXPECT_TRUE(DeviceInterfacePaths(kClass).empty()) << "discovery off";
    svcp::SetDeviceDirectory(m_sDirectory);
    EXPECT_EQ(DeviceInterfacePaths(kClass), std::vector<std::wstring>{kPath});

    HANDLE handle = Open();
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Open(), INVALID_HANDLE_VALUE) << "exclusive within the process";
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    for (int round = 0; round < 3; ++round) {  // a kept connection carries later exchanges
        std::vector<BYTE> packet = Counting();
        ASSERT_EQ(Exchange(handle, packet), ERROR_SUCCESS);
        EXPECT_EQ(packet.front(), 95);
        EXPECT_EQ(packet.back(), 0);
    }
    std::vector<BYTE> packet = Counting();
    EXPECT_EQ(Exchange(handle, packet, kCode + 4), ERROR_INVALID_FUNCTION)
        << "the driver's own failure";
    EXPECT_EQ(packet, Counting());
    CloseHandle(handle);

    std::vector<uint8_t> table;
    ASSERT_TRUE(svcp::ReadServedSmbiosTable(m_sDirectory, &table));
    EXPECT_EQ(table, (std::vector<uint8_t>{0x7F, 0x04, 0x00, 0x00, 0x00, 0x00}));
}

TEST_F(SocketDevicesTest, AStoppedServerFailsExchangesAtOnceAndLeavesTheListing) {
    m_pServer = Serve();
    svcp::SetDeviceDirectory(m_sDirectory);
    HANDLE handle = Open();
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    std::vector<BYTE> packet = Counting();
    ASSERT_EQ(Exchange(handle, packet), ERROR_SUCCESS);

    m_pServer->Stop();
    // The kept connection is closed at the other end: the request meets a
    // broken pipe, which must not raise SIGPIPE.
    const auto start = std::chrono::steady_clock::now();
    packet = Counting();
    EXPECT_EQ(Exchange(handle, packet), ERROR_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(Exchange(handle, packet), ERROR_DEVICE_NOT_CONNECTED) << "a new connection";
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(packet, Counting());

    EXPECT_TRUE(DeviceInterfacePaths(kClass).empty());
    EXPECT_EQ(Exchange(handle, packet), ERROR_DEVICE_NOT_CONNECTED) << "the device is removed";
    CloseHandle(handle);
    EXPECT_EQ(Open(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(SocketDevicesTest, AServerThatDoesNotAnswerTimesOut) {
    m_pServer = Serve();
    auto provider = svcp::MakeSocketDeviceProvider(m_sDirectory, 200);
    std::vector<std::shared_ptr<svcp::DeviceNode>> nodes;
    provider->ListInterfaces(kClass, nodes);
    ASSERT_EQ(nodes.size(), 1u);
    m_pDriver->Hold(true);
    std::vector<BYTE> packet = Counting();
    DWORD returned = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(nodes[0]->IoControl(kCode, packet.data(), 96, packet.data(), 96, &returned),
              ERROR_TIMEOUT);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    m_pDriver->Hold(false);
    EXPECT_EQ(nodes[0]->IoControl(kCode, packet.data(), 96, packet.data(), 96, &returned),
              ERROR_SUCCESS)
        << "the late answer went with the dropped connection";
    EXPECT_EQ(packet.front(), 95);
}

// A socket nobody accepts on (a hung server) and one nobody listens on (a
// killed server's leftover) are passed over in bounded time.
TEST_F(SocketDevicesTest, DeadAndHungSocketsArePassedOver) {
    auto listenOn = [&](const std::string& name, bool listening) {
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string path = m_sDirectory + "/" + name;
        std::strcpy(address.sun_path, path.c_str());
        EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        if (listening) {
            EXPECT_EQ(listen(fd, 4), 0);
            return fd;
        }
        close(fd);  // the file stays
        return -1;
    };
    const int hung = listenOn("a-hung.sock", true);
    listenOn("b-dead.sock", false);
    m_pServer = Serve("c-live");
    auto provider = svcp::MakeSocketDeviceProvider(m_sDirectory, 200);
    std::vector<std::shared_ptr<svcp::DeviceNode>> nodes;
    const auto start = std::chrono::steady_clock::now();
    provider->ListInterfaces(kClass, nodes);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    ASSERT_EQ(nodes.size(), 1u);
    EXPECT_EQ(nodes[0]->Path(), kPath);
    EXPECT_EQ(provider->FindInterface(L"\\\\?\\ROOT#SOCKETTEST#0000#{5E7A1C00}"), nodes[0])
        << "paths compare without regard to case";
    close(hung);
}

TEST_F(SocketDevicesTest, ALiveServerKeepsItsSocketAndAStaleOneIsReplaced) {
    m_pServer = Serve();
    svcp::SocketDeviceServer::Device device;
    device.interfaceClass = kClass;
    device.path = kPath;
    device.driver = m_pDriver;
    std::string error;
    EXPECT_EQ(svcp::SocketDeviceServer::Start(m_sDirectory, "device", device, &error), nullptr);
    EXPECT_NE(error.find("already served"), std::string::npos) << error;

    // A server that died without removing its socket leaves the file behind.
    const std::string socket = m_pServer->SocketPath();
    m_pServer.reset();
    const int leftover = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, socket.c_str());
    ASSERT_EQ(bind(leftover, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    close(leftover);
    auto replaced = svcp::SocketDeviceServer::Start(m_sDirectory, "device", device, &error);
    ASSERT_NE(replaced, nullptr) << error;
    std::vector<uint8_t> table;
    EXPECT_FALSE(svcp::ReadServedSmbiosTable(m_sDirectory, &table)) << "this one serves none";
}

// A client that breaks the exchange loses its connection; others go on.
TEST_F(SocketDevicesTest, AMalformedRequestEndsItsConnectionOnly) {
    m_pServer = Serve();
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, m_pServer->SocketPath().c_str());
    ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const uint8_t garbage[20] = {'n', 'o', 't', ' ', 'a', ' ', 'f', 'r', 'a', 'm', 'e'};
    ASSERT_EQ(send(fd, garbage, sizeof garbage, MSG_NOSIGNAL), 20);
    uint8_t byte = 0;
    EXPECT_EQ(recv(fd, &byte, 1, 0), 0) << "closed without a reply";
    close(fd);

    auto provider = svcp::MakeSocketDeviceProvider(m_sDirectory, 1000);
    std::vector<std::shared_ptr<svcp::DeviceNode>> nodes;
    provider->ListInterfaces(kClass, nodes);
    ASSERT_EQ(nodes.size(), 1u);
    std::vector<BYTE> packet = Counting();
    DWORD returned = 0;
    EXPECT_EQ(nodes[0]->IoControl(kCode, packet.data(), 96, packet.data(), 96, &returned),
              ERROR_SUCCESS);
}

TEST(DeviceDirectory, FollowsTheEnvironment) {
    const char* saved = std::getenv("SVCP_DEVICE_DIR");
    const std::string restore = saved != nullptr ? saved : "";
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string restoreRuntime = runtime != nullptr ? runtime : "";
    setenv("SVCP_DEVICE_DIR", "/somewhere", 1);
    EXPECT_EQ(svcp::DefaultDeviceDirectory(), "/somewhere");
    setenv("SVCP_DEVICE_DIR", "", 1);
    EXPECT_EQ(svcp::DefaultDeviceDirectory(), "") << "set but empty: off";
    unsetenv("SVCP_DEVICE_DIR");
    setenv("XDG_RUNTIME_DIR", "/run/user/77", 1);
    EXPECT_EQ(svcp::DefaultDeviceDirectory(), "/run/user/77/svcproc");
    unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(svcp::DefaultDeviceDirectory(), "/tmp/svcproc-" + std::to_string(geteuid()));
    if (saved != nullptr) {
        setenv("SVCP_DEVICE_DIR", restore.c_str(), 1);
    }
    if (runtime != nullptr) {
        setenv("XDG_RUNTIME_DIR", restoreRuntime.c_str(), 1);
    }
}

}  // namespace
