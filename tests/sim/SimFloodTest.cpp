// svcproc-sim never dies of a client: a flood of connections, headers that
// announce 4 MiB, descriptors and address space run out (prlimit on the
// real process) leave it alive, its threads and memory bounded
// (/proc/PID/status), and answering a normal client afterwards.
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "SimDevice.h"
#include "support/process/SimulatorProcess.h"
#include "socket_devices.h"
#include "support/sockets/UnixSocketClient.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr long kConnectionLimit = 64;  // svcproc-sim's

// A field of /proc/PID/status ("Threads", "VmRSS" in kB, "VmSize" in kB).
long Status(pid_t pid, const std::string& field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, field.size() + 1, field + ":") == 0) {
            return std::stol(line.substr(field.size() + 1));
        }
    }
    return -1;
}

// User and system time of the process, in clock ticks.
long CpuTicks(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    long utime = 0;
    long stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) {
            utime = std::stol(field);
        } else if (i == 15) {
            stime = std::stol(field);
        }
    }
    return utime + stime;
}

struct Connections {
    std::vector<int> fds;
    ~Connections() { CloseAll(); }
    void CloseAll() {
        for (int fd : fds) {
            close(fd);
        }
        fds.clear();
    }
};

class SimFlood : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_Sim.Start());
        m_Pid = m_Sim.Process().Pid();
        m_sSocket = m_Sim.Directory() + "/svcproc-sim-0.sock";
        // Its clock starts after it says it serves: until then a limit set
        // here would meet the clock's start, not a client.
        const auto deadline = std::chrono::steady_clock::now() + seconds(5);
        while (Status(m_Pid, "Threads") < 3 && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(milliseconds(10));
        }
        ASSERT_GE(Status(m_Pid, "Threads"), 3) << "main, acceptor and clock";
    }

    bool Alive() const { return Status(m_Pid, "Threads") > 0 && kill(m_Pid, 0) == 0; }

    // A normal client's question, retried while the server frees the
    // connections just closed.
    bool Answers() {
        const auto deadline = std::chrono::steady_clock::now() + seconds(5);
        while (std::chrono::steady_clock::now() < deadline) {
            std::vector<std::shared_ptr<svcp::DeviceNode>> nodes;
            svcp::MakeSocketDeviceProvider(m_Sim.Directory(), 2000)
                ->ListInterfaces(svcpsim::kSimInterfaceClass, nodes);
            std::vector<uint8_t> table;
            if (nodes.size() == 1 && svcp::ReadServedSmbiosTable(m_Sim.Directory(), &table) &&
                !table.empty()) {
                return true;
            }
            std::this_thread::sleep_for(milliseconds(50));
        }
        return false;
    }

    // Once `held` have closed and the `resource` limit is `saved` again:
    // alive all along, answering again, and having said `said`.
    void ExpectRecovered(decltype(RLIMIT_AS) resource, const rlimit& saved, Connections& held,
                         const char* said) {
        EXPECT_TRUE(Alive());
        EXPECT_EQ(prlimit(m_Pid, resource, &saved, nullptr), 0);
        held.CloseAll();
        EXPECT_TRUE(Answers());
        EXPECT_THAT(StopAndTellErrors(), testing::HasSubstr(said));
    }

    // What it said on standard error, once stopped.
    std::string StopAndTellErrors() {
        EXPECT_EQ(m_Sim.Stop(), 0);
        return m_Sim.Process().Err();
    }

    // `count` connections at once, as fast as they are taken.
    void Flood(Connections& held, size_t count) {
        const auto deadline = std::chrono::steady_clock::now() + seconds(10);
        while (held.fds.size() < count && std::chrono::steady_clock::now() < deadline) {
            const int fd = ConnectTo(m_sSocket, SOCK_NONBLOCK);
            if (fd >= 0) {
                held.fds.push_back(fd);
            }
        }
    }

    CSimulatorProcess m_Sim{SVCPROC_SIM};
    pid_t m_Pid = -1;
    std::string m_sSocket;
};

TEST_F(SimFlood, AFloodOfConnectionsKeepsThreadsBoundedAndIsSaidOnce) {
    Connections held;
    Flood(held, 400);
    ASSERT_EQ(held.fds.size(), 400u);
    std::this_thread::sleep_for(milliseconds(300));  // let the acceptor catch up
    EXPECT_TRUE(Alive());
    // Main, acceptor, the machine's clock, a sanitizer's own, and one per
    // connection served.
    EXPECT_LE(Status(m_Pid, "Threads"), 4 + kConnectionLimit);
    size_t closed = 0;
    for (int fd : held.fds) {
        closed += ClosedByServer(fd, 0) ? 1 : 0;
    }
    EXPECT_GE(closed, 400u - kConnectionLimit) << "the excess closed at once";
    held.CloseAll();
    EXPECT_TRUE(Answers());
    const std::string err = StopAndTellErrors();
    EXPECT_THAT(err, testing::HasSubstr("svcproc-sim: refused a connection: 64 open"));
    EXPECT_EQ(err.find('\n'), err.size() - 1) << "one notice in 10 s: " << err;
}

TEST_F(SimFlood, HeadersAnnouncing4MiBAllocateNothing) {
    const long rss = Status(m_Pid, "VmRSS");
    Connections held;
    Flood(held, 40);
    ASSERT_EQ(held.fds.size(), 40u);
    uint8_t header[20] = {'S', 'V', 'C', 'P', 2, 0, 0, 0, 0, 0, 0, 0, 96, 0, 0, 0, 0, 0, 0x40, 0};
    for (int fd : held.fds) {
        ASSERT_EQ(send(fd, header, sizeof header, MSG_NOSIGNAL), 20);
    }
    for (int fd : held.fds) {
        EXPECT_TRUE(ClosedByServer(fd, 2000)) << "refused, not waited for";
    }
    EXPECT_TRUE(Alive());
    EXPECT_LT(Status(m_Pid, "VmRSS") - rss, 16 * 1024) << "kB; 40 x 4 MiB would be 160 MiB";
    held.CloseAll();
    EXPECT_TRUE(Answers());
}

// With no descriptor to spare, accepting pauses instead of spinning on the
// connection still queued.
TEST_F(SimFlood, RunningOutOfDescriptorsDoesNotSpin) {
    rlimit saved{};
    ASSERT_EQ(prlimit(m_Pid, RLIMIT_NOFILE, nullptr, &saved), 0);
    const rlimit tight = {16, saved.rlim_max};
    ASSERT_EQ(prlimit(m_Pid, RLIMIT_NOFILE, &tight, nullptr), 0);
    Connections held;
    Flood(held, 20);
    std::this_thread::sleep_for(milliseconds(200));
    const long before = CpuTicks(m_Pid);
    std::this_thread::sleep_for(seconds(1));
    const long used = CpuTicks(m_Pid) - before;
    EXPECT_LT(used, sysconf(_SC_CLK_TCK) / 5) << "ticks in 1 s: under 20% of a core";
    ExpectRecovered(RLIMIT_NOFILE, saved, held, "svcproc-sim: cannot accept: Too many open files");
}

// Threads that cannot be had (address space for their stacks run out)
// refuse their connections; the simulator stays.
TEST_F(SimFlood, NoThreadForAConnectionIsNotFatal) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitized simulator's shadow memory needs the address space";
#endif
    rlimit saved{};
    ASSERT_EQ(prlimit(m_Pid, RLIMIT_AS, nullptr, &saved), 0);
    const rlim_t size = static_cast<rlim_t>(Status(m_Pid, "VmSize")) * 1024;
    const rlimit tight = {size + (16u << 20), saved.rlim_max};
    ASSERT_EQ(prlimit(m_Pid, RLIMIT_AS, &tight, nullptr), 0);
    Connections held;
    Flood(held, 20);
    std::this_thread::sleep_for(milliseconds(300));
    ExpectRecovered(RLIMIT_AS, saved, held, "svcproc-sim: refused a connection: no thread for it");
}

}  // namespace
