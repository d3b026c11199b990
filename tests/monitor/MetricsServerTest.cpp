// The metrics endpoint: what it serves and refuses, overlapping scrapes, a
// client that connects and says nothing, and a prompt stop.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <httplib.h>

#include "support/sockets/SilentClient.h"
#include "exporter/MetricsServer.h"

namespace {

using Steady = std::chrono::steady_clock;
using std::chrono::milliseconds;
using std::chrono::seconds;

TEST(MetricsListenAddress, PortAloneBindsTheLoopback) {
    const struct {
        const char* text;
        const char* host;
        int port;
    } good[] = {
        {"9723", "127.0.0.1", 9723},     {"0.0.0.0:9100", "0.0.0.0", 9100}, {"[::1]:80", "::1", 80},
        {"localhost:0", "localhost", 0}, {"65535", "127.0.0.1", 65535},
    };
    for (const auto& c : good) {
        ListenAddress address;
        std::string error;
        ASSERT_TRUE(ParseListenAddress(c.text, address, error)) << c.text << ": " << error;
        EXPECT_EQ(address.host, c.host) << c.text;
        EXPECT_EQ(address.port, c.port) << c.text;
    }
    for (const char* bad :
         {"", "65536", "-1", "0x10", "97 23", ":9723", "::1:9723", "host:", "9723.0", "123456"}) {
        ListenAddress address;
        std::string error;
        EXPECT_FALSE(ParseListenAddress(bad, address, error)) << bad;
        EXPECT_NE(error.find("--listen"), std::string::npos) << bad;
    }
}

struct Served {
    std::atomic<int> scrapes{0};
};

std::unique_ptr<CMetricsServer> Serve(CMetricsServer::Source source,
                                      MetricsServerLimits limits = {}) {
    auto server = std::make_unique<CMetricsServer>(std::move(source), limits);
    std::string error;
    EXPECT_TRUE(server->Start(ListenAddress{"127.0.0.1", 0}, error)) << error;
    EXPECT_GT(server->Port(), 0);
    return server;
}

TEST(MetricsServer, ServesMetricsFreshAtEachScrapeAndRefusesTheRest) {
    std::atomic<int> scrapes{0};
    auto server = Serve([&](const ScrapeRequest&) {
        return "svcproc_up 1\n# scrape " + std::to_string(++scrapes) + "\n";
    });
    httplib::Client client("127.0.0.1", server->Port());

    auto metrics = client.Get("/metrics");
    ASSERT_TRUE(metrics);
    EXPECT_EQ(metrics->status, 200);
    EXPECT_EQ(metrics->get_header_value("Content-Type"),
              "text/plain; version=0.0.4; charset=utf-8");
    EXPECT_EQ(metrics->body, "svcproc_up 1\n# scrape 1\n");
    metrics = client.Get("/metrics");
    ASSERT_TRUE(metrics);
    EXPECT_EQ(metrics->body, "svcproc_up 1\n# scrape 2\n") << "each scrape asks again";

    auto index = client.Get("/");
    ASSERT_TRUE(index);
    EXPECT_EQ(index->status, 200);
    EXPECT_EQ(index->get_header_value("Content-Type").rfind("text/html", 0), 0u);
    EXPECT_NE(index->body.find("href=\"/metrics\""), std::string::npos);

    for (const char* path : {"/metric", "/metrics/", "/favicon.ico", "/index.html"}) {
        auto missing = client.Get(path);
        ASSERT_TRUE(missing) << path;
        EXPECT_EQ(missing->status, 404) << path;
    }
    auto query = client.Get("/metrics?name[]=svcproc_up");  // as a federating scraper asks
    ASSERT_TRUE(query);
    EXPECT_EQ(query->status, 200);
    auto head = client.Head("/metrics");
    ASSERT_TRUE(head);
    EXPECT_EQ(head->status, 200);
    const std::vector<std::string> methods = {"POST", "PUT", "DELETE", "OPTIONS", "PATCH"};
    for (const std::string& method : methods) {
        httplib::Request request;
        request.method = method;
        request.path = method == "PUT" ? "/" : "/metrics";
        auto result = client.send(request);
        ASSERT_TRUE(result) << method;
        EXPECT_EQ(result->status, 405) << method;
        EXPECT_EQ(result->get_header_value("Allow"), "GET, HEAD") << method;
    }
    EXPECT_EQ(scrapes.load(), 4) << "two GETs, the query and the HEAD; no other method";
}

TEST(MetricsServer, TheScrapersTimeoutReachesTheSource) {
    std::atomic<long long> seen{-1};
    auto server = Serve([&](const ScrapeRequest& request) {
        seen = request.scraperTimeout.count();
        return std::string("svcproc_up 1\n");
    });
    httplib::Client client("127.0.0.1", server->Port());
    ASSERT_TRUE(client.Get("/metrics", {{"X-Prometheus-Scrape-Timeout-Seconds", "2.5"}}));
    EXPECT_EQ(seen.load(), 2500);
    ASSERT_TRUE(client.Get("/metrics"));
    EXPECT_EQ(seen.load(), 0) << "no header, no deadline of the scraper's";

    const std::pair<const char*, long long> cases[] = {
        {"10", 10000}, {"0.25", 250}, {"1e1", 10000}, {"", 0},   {"0", 0},  {"-3", 0},
        {"nan", 0},    {"inf", 0},    {"1e300", 0},   {"5s", 0}, {" 5", 0}, {"86401", 0}};
    for (const auto& [text, milliseconds] : cases) {
        EXPECT_EQ(ParseScrapeTimeout(text).count(), milliseconds) << '"' << text << '"';
    }
}

TEST(MetricsServer, OverlappingScrapesRunAtOnce) {
    std::mutex mutex;
    std::condition_variable changed;
    int inside = 0;
    bool overlapped = false;
    auto server = Serve([&](const ScrapeRequest&) {
        std::unique_lock<std::mutex> lock(mutex);
        ++inside;
        changed.notify_all();
        // Each scrape waits, bounded, for the other to be inside too.
        overlapped |= changed.wait_for(lock, seconds(5), [&] { return inside >= 2; });
        return std::string("svcproc_up 1\n");
    });
    std::vector<std::thread> clients;
    std::atomic<int> ok{0};
    for (int i = 0; i < 2; ++i) {
        clients.emplace_back([&] {
            httplib::Client client("127.0.0.1", server->Port());
            auto result = client.Get("/metrics");
            ok += result && result->status == 200;
        });
    }
    for (std::thread& client : clients) {
        client.join();
    }
    EXPECT_EQ(ok.load(), 2);
    EXPECT_TRUE(overlapped) << "one scrape waited for the other to end";
}

TEST(MetricsServer, SilentClientsHoldUpNeitherScrapesNorStop) {
    MetricsServerLimits limits;
    limits.threads = 4;
    limits.readTimeout = seconds(2);
    limits.keepAlive = seconds(1);
    auto server = Serve([](const ScrapeRequest&) { return std::string("svcproc_up 1\n"); }, limits);
    std::vector<std::unique_ptr<SilentClient>> silent;
    for (size_t i = 0; i + 1 < limits.threads; ++i) {
        silent.push_back(std::make_unique<SilentClient>(server->Port()));
        ASSERT_TRUE(silent.back()->Connected());
    }
    std::this_thread::sleep_for(milliseconds(100));  // let the pool take them
    const Steady::time_point start = Steady::now();
    httplib::Client client("127.0.0.1", server->Port());
    auto result = client.Get("/metrics");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 200);
    EXPECT_LT(Steady::now() - start, milliseconds(1000)) << "served beside the silent ones";

    const Steady::time_point stopping = Steady::now();
    server->Stop();
    EXPECT_LT(Steady::now() - stopping, limits.readTimeout + limits.keepAlive + seconds(1));
    httplib::Client late("127.0.0.1", server->Port());
    late.set_connection_timeout(seconds(1));
    EXPECT_FALSE(late.Get("/metrics")) << "no longer listening";
}

TEST(MetricsServer, ABoundPortIsRefusedWithAMessage) {
    auto first = Serve([](const ScrapeRequest&) { return std::string(); });
    CMetricsServer second([](const ScrapeRequest&) { return std::string(); });
    std::string error;
    EXPECT_FALSE(second.Start(ListenAddress{"127.0.0.1", first->Port()}, error));
    EXPECT_NE(error.find("cannot listen on 127.0.0.1:" + std::to_string(first->Port())),
              std::string::npos)
        << error;
    EXPECT_FALSE(second.Start(ListenAddress{"192.0.2.1", 9723}, error)) << "not this machine's";
}

}  // namespace
