// svcproc-monitor --listen under hostile and careless clients: idle and
// dripping connections beside a scrape, header lines of 100 MB against the
// process's peak memory, kept-alive and pipelined requests, Range, unknown
// methods, and heads or bodies beyond the bounds.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/process/ChildProcess.h"
#include "support/sockets/RawHttpClient.h"
#include "support/sockets/SilentClient.h"

namespace {

using Steady = std::chrono::steady_clock;
using std::chrono::milliseconds;
using std::chrono::seconds;

class ExporterBounds : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_Exporter.Start({SVCPROC_MONITOR, "--simulate", "--listen", "127.0.0.1:0"},
                                     {"SVCP_DEVICE_DIR="}));
        ASSERT_TRUE(m_Exporter.WaitForLine("svcproc-monitor: serving http://", seconds(30)))
            << m_Exporter.Err();
        const std::string& out = m_Exporter.Out();
        const size_t colon = out.find(':', out.find("http://") + 7);
        m_nPort = std::atoi(out.c_str() + colon + 1);
        ASSERT_GT(m_nPort, 0) << out;
    }
    void TearDown() override {
        m_Exporter.Signal(SIGTERM);
        EXPECT_EQ(m_Exporter.Wait(seconds(20)), 0) << m_Exporter.Err();
    }

    // One request on a fresh connection.
    RawHttpResponse Ask(const std::string& request, bool bodiless = false) {
        RawHttpClient client(m_nPort, 3000);
        RawHttpResponse response;
        EXPECT_TRUE(client.Send(request)) << request.substr(0, 60);
        EXPECT_TRUE(client.Read(response, bodiless)) << request.substr(0, 60);
        return response;
    }

    // The exporter's peak resident memory, in KiB (VmHWM).
    long PeakResidentKiB() {
        std::ifstream status("/proc/" + std::to_string(m_Exporter.Pid()) + "/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("VmHWM:", 0) == 0) {
                return std::atol(line.c_str() + 6);
            }
        }
        return -1;
    }

    CChildProcess m_Exporter;
    int m_nPort = 0;
};

const char kScrape[] = "GET /metrics HTTP/1.1\r\nHost: till\r\n\r\n";

TEST_F(ExporterBounds, AScrapeIsAnsweredBesideIdleAndDrippingConnections) {
    std::vector<std::unique_ptr<SilentClient>> idle;
    for (int i = 0; i < 200; ++i) {
        idle.push_back(std::make_unique<SilentClient>(m_nPort));
        ASSERT_TRUE(idle.back()->Connected());
    }
    std::vector<std::unique_ptr<RawHttpClient>> dripping;
    for (int i = 0; i < 8; ++i) {
        dripping.push_back(std::make_unique<RawHttpClient>(m_nPort));
        ASSERT_TRUE(dripping.back()->Connected());
    }
    std::atomic<bool> done{false};
    std::thread drip([&] {
        const std::string request = "GET /metrics HTTP/1.1\r\nX-Slow: " + std::string(200, 'z');
        for (size_t at = 0; !done && at < request.size(); ++at) {
            for (auto& client : dripping) {
                client->Send(request.substr(at, 1));
            }
            std::this_thread::sleep_for(milliseconds(100));
        }
    });
    std::this_thread::sleep_for(milliseconds(500));

    const Steady::time_point start = Steady::now();
    const RawHttpResponse response = Ask(kScrape);
    const auto took = std::chrono::duration_cast<milliseconds>(Steady::now() - start);
    done = true;
    drip.join();
    std::printf("scrape beside 200 idle and 8 dripping connections: %lld ms\n",
                static_cast<long long>(took.count()));
    EXPECT_EQ(response.status, 200);
    EXPECT_NE(response.body.find("svcproc_up 1"), std::string::npos);
    EXPECT_LT(took, milliseconds(1000));
}

TEST_F(ExporterBounds, HeaderLinesOf100MBLeavePeakMemoryBounded) {
    const long before = PeakResidentKiB();
    std::vector<std::thread> senders;
    for (int i = 0; i < 4; ++i) {
        senders.emplace_back([this] {
            RawHttpClient client(m_nPort);
            if (!client.Send("GET /metrics HTTP/1.1\r\nX-Huge: ")) {
                return;
            }
            // Stops when the exporter refuses and closes.
            const std::string chunk(1 << 20, 'a');
            for (int mb = 0; mb < 100 && client.Send(chunk); ++mb) {
            }
        });
    }
    for (std::thread& sender : senders) {
        sender.join();
    }
    const long peak = PeakResidentKiB();
    std::printf("peak resident %ld KiB before, %ld KiB after\n", before, peak);
    EXPECT_GT(before, 0);
    EXPECT_LT(peak - before, 16 * 1024) << "grew by more than connection state";
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    EXPECT_LT(peak, 64 * 1024);  // a sanitizer's shadow memory alone comes near
#endif
    EXPECT_EQ(Ask(kScrape).status, 200) << "still serving";
}

TEST_F(ExporterBounds, KeptAliveAndPipelinedRequestsAreAnsweredPromptlyInOrder) {
    RawHttpClient client(m_nPort);
    RawHttpResponse response;
    ASSERT_TRUE(client.Send(kScrape));
    ASSERT_TRUE(client.Read(response));
    ASSERT_EQ(response.status, 200);
    // Each later request on the connection; two writes without TCP_NODELAY
    // would cost the delayed acknowledgement (about 40 ms) each time.
    std::vector<long long> micros;
    for (int i = 0; i < 7; ++i) {
        const Steady::time_point start = Steady::now();
        ASSERT_TRUE(client.Send(kScrape));
        ASSERT_TRUE(client.Read(response)) << "request " << i + 2 << " on the connection";
        micros.push_back(
            std::chrono::duration_cast<std::chrono::microseconds>(Steady::now() - start).count());
        EXPECT_EQ(response.status, 200);
    }
    std::sort(micros.begin(), micros.end());
    std::printf("kept-alive request: median %lld us, slowest %lld us\n", micros[micros.size() / 2],
                micros.back());
    EXPECT_LT(micros[micros.size() / 2], 5000);

    // Three requests in one write: three answers, in order.
    ASSERT_TRUE(
        client.Send("GET /nothing HTTP/1.1\r\n\r\nHEAD / HTTP/1.1\r\n\r\n" + std::string(kScrape)));
    ASSERT_TRUE(client.Read(response));
    EXPECT_EQ(response.status, 404);
    ASSERT_TRUE(client.Read(response, true));
    EXPECT_EQ(response.status, 200);
    EXPECT_EQ(response.Field("Content-Type"), "text/html; charset=utf-8");
    ASSERT_TRUE(client.Read(response));
    EXPECT_EQ(response.status, 200);
    EXPECT_NE(response.body.find("svcproc_up"), std::string::npos);
}

TEST_F(ExporterBounds, RangeIsIgnoredAndOtherMethodsAre405) {
    const RawHttpResponse whole = Ask("GET / HTTP/1.1\r\n\r\n");
    const RawHttpResponse ranged = Ask("GET / HTTP/1.1\r\nRange: bytes=0-0,0-0,0-0\r\n\r\n");
    EXPECT_EQ(ranged.status, 200);
    EXPECT_EQ(ranged.Field("Content-Range"), "");
    EXPECT_EQ(ranged.body, whole.body);
    const RawHttpResponse metrics = Ask("GET /metrics HTTP/1.1\r\nRange: bytes=0-9\r\n\r\n");
    EXPECT_EQ(metrics.status, 200);
    EXPECT_EQ(metrics.Field("Content-Type"), "text/plain; version=0.0.4; charset=utf-8");

    for (const char* method : {"BREW", "PROPFIND", "TRACE", "CONNECT"}) {
        const RawHttpResponse refused = Ask(std::string(method) + " /metrics HTTP/1.1\r\n\r\n");
        EXPECT_EQ(refused.status, 405) << method;
        EXPECT_EQ(refused.Field("Allow"), "GET, HEAD") << method;
    }
}

TEST_F(ExporterBounds, OversizedHeadsAndBodiesAreRefusedAndClosed) {
    struct Case {
        const char* what;
        std::string request;
        int status;
    };
    std::string manyFields;
    for (int i = 0; i < 2000; ++i) {
        manyFields += "X-" + std::to_string(i) + ": 1\r\n";
    }
    const Case cases[] = {
        {"a long request line", "GET /" + std::string(20000, 'a') + " HTTP/1.1\r\n\r\n", 414},
        {"a long field", "GET / HTTP/1.1\r\nX-Big: " + std::string(20000, 'b') + "\r\n\r\n", 431},
        {"2000 fields", "GET / HTTP/1.1\r\n" + manyFields + "\r\n", 431},
        {"a body", "GET /metrics HTTP/1.1\r\nContent-Length: 5\r\n\r\nhello", 413},
        {"a chunked body",
         "GET / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n", 413},
        {"a broken request line", "GET\r\n\r\n", 400},
        {"a bad field", "GET / HTTP/1.1\r\nNo colon here\r\n\r\n", 400},
        {"HTTP/2 without an upgrade", "GET / HTTP/2.0\r\n\r\n", 400},
    };
    for (const Case& c : cases) {
        RawHttpClient client(m_nPort);
        RawHttpResponse response;
        client.Send(c.request);  // may end early when the refusal comes first
        ASSERT_TRUE(client.Read(response)) << c.what;
        EXPECT_EQ(response.status, c.status) << c.what;
        EXPECT_EQ(response.Field("Connection"), "close") << c.what;
        EXPECT_TRUE(client.ClosedByServer()) << c.what;
    }
}

}  // namespace
