// The metrics endpoint's bounds with small limits, in process: the head's
// deadline against a client that drips, the idle keep-alive timeout, the
// connection cap (the longest waiting dropped, 503 when none waits), the
// scrapes run at once, and a reading thread that stays free while they run.
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "exporter/MetricsServer.h"
#include "support/HeldScrapeSource.h"
#include "support/sockets/RawHttpClient.h"

namespace {

using Steady = std::chrono::steady_clock;
using std::chrono::milliseconds;

const char kScrape[] = "GET /metrics HTTP/1.1\r\n\r\n";

std::unique_ptr<CMetricsServer> Serve(CMetricsServer::Source source, MetricsServerLimits limits) {
    auto server = std::make_unique<CMetricsServer>(std::move(source), limits);
    std::string error;
    EXPECT_TRUE(server->Start(ListenAddress{"127.0.0.1", 0}, error)) << error;
    return server;
}

std::string Up(const ScrapeRequest&) {
    return "svcproc_up 1\n";
}

// The server has closed the connection: readable, and nothing to read.
bool ClosedNow(int fd) {
    pollfd entry{fd, POLLIN, 0};
    char byte;
    return poll(&entry, 1, 0) == 1 && recv(fd, &byte, 1, MSG_DONTWAIT) <= 0;
}

TEST(MetricsServerLimits, ADrippingClientIsDroppedAtTheHeadsDeadline) {
    MetricsServerLimits limits;
    limits.readTimeout = milliseconds(500);
    auto server = Serve(Up, limits);
    RawHttpClient client(server->Port());
    ASSERT_TRUE(client.Connected());
    const std::string request = "GET /metrics HTTP/1.1\r\nX-Slow: " + std::string(100, 'z');
    const Steady::time_point start = Steady::now();
    // A byte every 50 ms: each read is quick, the head never ends.
    bool closed = false;
    for (size_t at = 0; at < request.size() && !closed; ++at) {
        closed = !client.Send(request.substr(at, 1)) || ClosedNow(client.Fd());
        std::this_thread::sleep_for(milliseconds(50));
    }
    const auto after = Steady::now() - start;
    EXPECT_TRUE(closed) << "still open after " << request.size() * 50 << " ms";
    EXPECT_GE(after, milliseconds(450));
    EXPECT_LT(after, milliseconds(1500));
}

TEST(MetricsServerLimits, AnIdleKeptAliveConnectionIsClosedAfterTheKeepAlive) {
    MetricsServerLimits limits;
    limits.keepAlive = milliseconds(300);
    auto server = Serve(Up, limits);
    RawHttpClient client(server->Port(), 3000);
    RawHttpResponse response;
    ASSERT_TRUE(client.Send(kScrape));
    ASSERT_TRUE(client.Read(response));
    EXPECT_EQ(response.Field("Connection"), "");
    const Steady::time_point answered = Steady::now();
    EXPECT_TRUE(client.ClosedByServer());
    const auto idle = Steady::now() - answered;
    EXPECT_GE(idle, milliseconds(250));
    EXPECT_LT(idle, milliseconds(1500));

    // Closed at once when the client asks, or speaks HTTP/1.0 without
    // keep-alive; kept when an HTTP/1.0 client asks to keep it.
    for (const char* request :
         {"GET / HTTP/1.1\r\nConnection: close\r\n\r\n", "GET / HTTP/1.0\r\n\r\n"}) {
        RawHttpClient once(server->Port(), 200);
        ASSERT_TRUE(once.Send(request));
        ASSERT_TRUE(once.Read(response)) << request;
        EXPECT_EQ(response.Field("Connection"), "close") << request;
        EXPECT_TRUE(once.ClosedByServer()) << request;
    }
    RawHttpClient kept(server->Port(), 200);
    ASSERT_TRUE(kept.Send("GET / HTTP/1.0\r\nConnection: keep-alive\r\n\r\n"));
    ASSERT_TRUE(kept.Read(response));
    EXPECT_EQ(response.Field("Connection"), "keep-alive");
    EXPECT_FALSE(kept.ClosedByServer()) << "the read times out: still open";
}

TEST(MetricsServerLimits, ANewConnectionBeyondTheCapDropsTheLongestSilent) {
    MetricsServerLimits limits;
    limits.connections = 4;
    auto server = Serve(Up, limits);
    // The first to arrive has begun its request; the others say nothing.
    std::vector<std::unique_ptr<RawHttpClient>> held;
    for (int i = 0; i < 4; ++i) {
        held.push_back(std::make_unique<RawHttpClient>(server->Port(), 200));
        if (i == 0) {
            ASSERT_TRUE(held[0]->Send("GET /metr"));
        }
        std::this_thread::sleep_for(milliseconds(20));  // an order of arrival
    }
    // Each scraper stays connected, kept alive and silent after its answer.
    std::vector<std::unique_ptr<RawHttpClient>> scrapers;
    for (int scrape = 0; scrape < 2; ++scrape) {
        scrapers.push_back(std::make_unique<RawHttpClient>(server->Port(), 200));
        RawHttpResponse response;
        ASSERT_TRUE(scrapers.back()->Send(kScrape));
        ASSERT_TRUE(scrapers.back()->Read(response));
        EXPECT_EQ(response.status, 200);
    }
    EXPECT_FALSE(held[0]->ClosedByServer()) << "its request has begun: kept";
    EXPECT_TRUE(held[1]->ClosedByServer()) << "the longest silent made room first";
    EXPECT_TRUE(held[2]->ClosedByServer()) << "then the next";
    EXPECT_FALSE(held[3]->ClosedByServer()) << "still open";
    EXPECT_FALSE(scrapers[0]->ClosedByServer()) << "silent since its answer, but newer";
}

TEST(MetricsServerLimits, ScrapesRunOnTheWorkersWhileTheReadingGoesOn) {
    MetricsServerLimits limits;
    limits.threads = 2;
    limits.connections = 5;
    HeldSource held;
    auto server = Serve([&](const ScrapeRequest& request) { return held(request); }, limits);
    std::vector<std::unique_ptr<RawHttpClient>> scrapers;
    for (int i = 0; i < 4; ++i) {
        scrapers.push_back(std::make_unique<RawHttpClient>(server->Port(), 200));
        ASSERT_TRUE(scrapers.back()->Send(kScrape));
    }
    ASSERT_TRUE(held.WaitInside(2));

    // Both workers are held; a refusal still comes from the reading thread.
    const Steady::time_point start = Steady::now();
    RawHttpClient oversized(server->Port(), 1000);
    RawHttpResponse response;
    ASSERT_TRUE(oversized.Send("GET / HTTP/1.1\r\nX-Big: " + std::string(10000, 'b') + "\r\n\r\n"));
    ASSERT_TRUE(oversized.Read(response));
    EXPECT_EQ(response.status, 431);
    EXPECT_LT(Steady::now() - start, milliseconds(500));
    ASSERT_TRUE(oversized.ClosedByServer());

    // Five open, four of them being answered, one waiting: a sixth takes
    // the waiting one's place; with all five being answered, a seventh is
    // refused at once.
    RawHttpClient waiting(server->Port(), 1000);
    std::this_thread::sleep_for(milliseconds(50));
    RawHttpClient sixth(server->Port(), 1000);
    ASSERT_TRUE(sixth.Send(kScrape));
    EXPECT_TRUE(waiting.ClosedByServer());
    std::this_thread::sleep_for(milliseconds(50));
    RawHttpClient seventh(server->Port(), 1000);
    ASSERT_TRUE(seventh.Read(response));
    EXPECT_EQ(response.status, 503);

    held.Release();
    for (auto& scraper : scrapers) {
        ASSERT_TRUE(scraper->Read(response));
        EXPECT_EQ(response.status, 200);
    }
    ASSERT_TRUE(sixth.Read(response));
    EXPECT_EQ(response.status, 200);
    EXPECT_EQ(held.most, 2) << "no more scrapes at once than workers";
}

TEST(MetricsServerLimits, ASourceThatThrowsIsAnswered500) {
    auto server =
        Serve([](const ScrapeRequest&) -> std::string { throw std::runtime_error("broken"); }, {});
    RawHttpClient client(server->Port());
    RawHttpResponse response;
    ASSERT_TRUE(client.Send(kScrape));
    ASSERT_TRUE(client.Read(response));
    EXPECT_EQ(response.status, 500);
    ASSERT_TRUE(client.Send("GET / HTTP/1.1\r\n\r\n"));
    ASSERT_TRUE(client.Read(response));
    EXPECT_EQ(response.status, 200) << "the connection goes on";
}

}  // namespace
