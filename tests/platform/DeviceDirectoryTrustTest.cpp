// Discovery trusts only this user and root: a device directory others may
// write to, a socket file of another owner, a link in a socket's place and
// a server process of another user are each refused, said once on standard
// error; root's server is found by an ordinary user (a child that drops to
// nobody, 65534).
#include <fcntl.h>
#include <grp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "socket_devices.h"
#include "support/TempDirectory.h"

namespace {

constexpr uid_t kNobody = 65534;
constexpr GUID kClass = {
    0x5e7a1c00, 0x3333, 0x4333, {0x84, 0x44, 0x55, 0x55, 0x66, 0x66, 0x77, 0x02}};
const std::wstring kPath = L"\\\\?\\ROOT#TRUSTTEST#0000#{5e7a1c00}";

class NullDriver : public svcp::IDeviceDriver {
public:
    DWORD IoControl(DWORD, const void*, DWORD, void*, DWORD, DWORD* returned) override {
        *returned = 0;
        return ERROR_SUCCESS;
    }
};

// What this process's standard error received while `body` ran.
std::string StandardError(const std::function<void()>& body) {
    std::fflush(stderr);
    FILE* capture = std::tmpfile();
    const int saved = dup(2);
    dup2(fileno(capture), 2);
    body();
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::string text;
    std::rewind(capture);
    char buffer[512];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, capture)) > 0;) {
        text.append(buffer, n);
    }
    std::fclose(capture);
    return text;
}

size_t Listed(const std::string& directory) {
    std::vector<std::shared_ptr<svcp::DeviceNode>> nodes;
    svcp::MakeSocketDeviceProvider(directory, 1000)->ListInterfaces(kClass, nodes);
    return nodes.size();
}

bool DropToNobody() {
    return setgroups(0, nullptr) == 0 && setgid(kNobody) == 0 && setuid(kNobody) == 0;
}

void Put32(std::vector<uint8_t>& bytes, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        bytes.push_back(static_cast<uint8_t>(value >> shift));
    }
}

// A server of the exchange's describe request only, as a process of
// another user: bound at `path` as this user (so the socket file is
// trusted), listening as nobody. Killed when destroyed.
class ForeignServer {
public:
    explicit ForeignServer(const std::string& path) {
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            return;
        }
        std::vector<uint8_t> reply;
        Put32(reply, 0x50435653);
        Put32(reply, 0);
        Put32(reply, 0);
        Put32(reply, static_cast<uint32_t>(16 + 4 * kPath.size()));
        Put32(reply, kClass.Data1);
        Put32(reply, kClass.Data2 | uint32_t{kClass.Data3} << 16);
        reply.insert(reply.end(), kClass.Data4, kClass.Data4 + 8);
        for (wchar_t c : kPath) {
            Put32(reply, static_cast<uint32_t>(c));
        }
        int ready[2];
        if (pipe(ready) != 0) {
            return;
        }
        m_Pid = fork();
        if (m_Pid == 0) {
            // The credentials a client sees are those of listen().
            if (!DropToNobody() || listen(fd, 4) != 0) {
                _exit(1);
            }
            (void)!write(ready[1], "r", 1);
            while (true) {
                const int client = accept(fd, nullptr, nullptr);
                uint8_t header[20];
                if (client >= 0 && recv(client, header, sizeof header, MSG_WAITALL) == 20) {
                    (void)!send(client, reply.data(), reply.size(), MSG_NOSIGNAL);
                }
                close(client);
            }
        }
        close(fd);
        close(ready[1]);
        char byte = 0;
        m_bListening = m_Pid > 0 && read(ready[0], &byte, 1) == 1;
        close(ready[0]);
    }
    ~ForeignServer() {
        if (m_Pid > 0) {
            kill(m_Pid, SIGKILL);
            waitpid(m_Pid, nullptr, 0);
        }
    }
    bool Listening() const { return m_bListening; }

private:
    pid_t m_Pid = -1;
    bool m_bListening = false;
};

class DeviceDirectoryTrust : public testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(m_sDirectory.empty()); }

    std::unique_ptr<svcp::SocketDeviceServer> Serve(const std::string& name = "device") {
        svcp::SocketDeviceServer::Device device;
        device.interfaceClass = kClass;
        device.path = kPath;
        device.driver = std::make_shared<NullDriver>();
        device.smbiosTable = std::vector<uint8_t>{0x7F, 0x04, 0x00, 0x00, 0x00, 0x00};
        std::string error;
        auto server = svcp::SocketDeviceServer::Start(m_sDirectory, name, device, &error);
        EXPECT_NE(server, nullptr) << error;
        return server;
    }

    // Nothing listed, no table read, and the refusal said once.
    void ExpectRefused(const std::string& said) {
        const std::string err = StandardError([&] {
            EXPECT_EQ(Listed(m_sDirectory), 0u);
            std::vector<uint8_t> table;
            EXPECT_FALSE(svcp::ReadServedSmbiosTable(m_sDirectory, &table, 1000));
        });
        EXPECT_THAT(err, testing::HasSubstr("svcproc: ignoring "));
        EXPECT_THAT(err, testing::HasSubstr(said));
        EXPECT_EQ(err.find('\n'), err.size() - 1) << "one line, not one per look: " << err;
    }

    CTempDirectory m_Directory{"svcp-trust"};
    const std::string& m_sDirectory = m_Directory.Path();
};

TEST_F(DeviceDirectoryTrust, ADirectoryOthersMayWriteToIsRefused) {
    auto server = Serve();
    ASSERT_EQ(Listed(m_sDirectory), 1u) << "found while only its owner may write";
    struct Case {
        mode_t mode;
        const char* said;
    };
    for (const Case& c : {Case{0777, "writable by others (mode 0777)"},
                          Case{0770, "writable by its group (mode 0770)"},
                          Case{01777, "writable by others (mode 1777)"},
                          Case{0702, "writable by others (mode 0702)"}}) {
        SCOPED_TRACE(c.said);
        ASSERT_EQ(chmod(m_sDirectory.c_str(), c.mode), 0);
        ExpectRefused(c.said);
    }
    ASSERT_EQ(chmod(m_sDirectory.c_str(), 0755), 0);
    EXPECT_EQ(Listed(m_sDirectory), 1u) << "readable by all is fine";
}

TEST_F(DeviceDirectoryTrust, AServerRefusesToServeInADirectoryClientsWouldRefuse) {
    ASSERT_EQ(chmod(m_sDirectory.c_str(), 0777), 0);
    svcp::SocketDeviceServer::Device device;
    device.interfaceClass = kClass;
    device.path = kPath;
    device.driver = std::make_shared<NullDriver>();
    std::string error;
    EXPECT_EQ(svcp::SocketDeviceServer::Start(m_sDirectory, "device", device, &error), nullptr);
    EXPECT_THAT(error, testing::HasSubstr("writable by others"));
}

TEST_F(DeviceDirectoryTrust, ADirectoryOfAnotherUserIsRefused) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs a directory of another user";
    }
    auto server = Serve();
    ASSERT_EQ(chown(m_sDirectory.c_str(), kNobody, kNobody), 0);
    ExpectRefused("owned by uid 65534, neither this user (uid 0) nor root");
}

TEST_F(DeviceDirectoryTrust, ASocketFileOfAnotherOwnerIsRefused) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs a socket of another user";
    }
    auto server = Serve();
    ASSERT_EQ(lchown(server->SocketPath().c_str(), kNobody, kNobody), 0);
    ExpectRefused("owned by uid 65534");
}

TEST_F(DeviceDirectoryTrust, ALinkInASocketsPlaceIsRefused) {
    CTempDirectory elsewhere("svcp-trust-elsewhere");
    svcp::SocketDeviceServer::Device device;
    device.interfaceClass = kClass;
    device.path = kPath;
    device.driver = std::make_shared<NullDriver>();
    std::string error;
    auto server = svcp::SocketDeviceServer::Start(elsewhere.Path(), "real", device, &error);
    ASSERT_NE(server, nullptr) << error;
    ASSERT_EQ(symlink(server->SocketPath().c_str(), (m_sDirectory + "/link.sock").c_str()), 0);
    ExpectRefused("a symbolic link, not a socket");
}

// The socket file and the directory are root's; only the process behind the
// socket is another user's.
TEST_F(DeviceDirectoryTrust, AServerProcessOfAnotherUserIsRefused) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs to run a process as another user";
    }
    ForeignServer foreign(m_sDirectory + "/foreign.sock");
    ASSERT_TRUE(foreign.Listening());
    ExpectRefused("served by uid 65534, neither this user nor root");
}

// The exporter as a service's own user finds root's simulator in a
// directory readable by all (docs/monitor.md's systemd setup).
TEST_F(DeviceDirectoryTrust, AnOrdinaryUserFindsRootsServer) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root's server and another user";
    }
    ASSERT_EQ(chmod(m_sDirectory.c_str(), 0755), 0);
    // The child is made before the server's threads exist and waits for the
    // word: forked beside running threads it could inherit a lock one of them
    // held (the sanitizers' allocators do hold them).
    int go[2];
    ASSERT_EQ(pipe(go), 0);
    const pid_t child = fork();
    if (child == 0) {
        close(go[1]);
        char byte = 0;
        const bool started = read(go[0], &byte, 1) == 1;
        _exit(started && DropToNobody() && Listed(m_sDirectory) == 1 ? 0 : 1);
    }
    close(go[0]);
    auto server = Serve();
    const bool opened = chmod(server->SocketPath().c_str(), 0777) == 0;
    EXPECT_TRUE(opened);
    if (opened) {
        (void)!write(go[1], "g", 1);
    }
    close(go[1]);  // without the word the child ends at once
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
