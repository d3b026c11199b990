// What the exporter's flags make of the endpoint, in process: several
// addresses served at once, the telemetry path, /health, the bound on
// requests answered at once, and the Host allow-list.
#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "exporter/Exporter.h"
#include "exporter/MetricsServer.h"
#include "monitor/exporter/CapturedRun.h"
#include "support/FileContents.h"
#include "support/HeldScrapeSource.h"
#include "support/sockets/RawHttpClient.h"

namespace {

std::string Up(const ScrapeRequest&) {
    return "svcproc_up 1\n";
}

std::unique_ptr<CMetricsServer> Serve(CMetricsServer::Source source, MetricsServerLimits limits,
                                      MetricsRoutes routes,
                                      std::vector<ListenAddress> addresses = {{"127.0.0.1", 0}}) {
    auto server = std::make_unique<CMetricsServer>(std::move(source), limits, routes);
    std::string error;
    EXPECT_TRUE(server->Start(addresses, error)) << error;
    return server;
}

TEST(MetricsServerRoutes, ServesEveryAddressWithOneSetOfRoutes) {
    MetricsRoutes routes;
    routes.telemetryPath = "/x/metrics";
    auto server = Serve(Up, {}, routes, {{"127.0.0.1", 0}, {"127.0.0.1", 0}});
    ASSERT_GT(server->Port(0), 0);
    ASSERT_GT(server->Port(1), 0);
    EXPECT_NE(server->Port(0), server->Port(1));
    EXPECT_EQ(server->Port(2), 0) << "no third address";
    for (const int port : {server->Port(0), server->Port(1)}) {
        const RawHttpResponse metrics = Ask(port, "GET /x/metrics HTTP/1.1\r\n\r\n");
        EXPECT_EQ(metrics.status, 200);
        EXPECT_EQ(metrics.Field("Content-Type"), kMetricsContentType);
        EXPECT_EQ(metrics.body, "svcproc_up 1\n");
        EXPECT_EQ(Ask(port, "GET /metrics HTTP/1.1\r\n\r\n").status, 404) << "moved away";
        const RawHttpResponse index = Ask(port, "GET / HTTP/1.1\r\n\r\n");
        EXPECT_NE(index.body.find("<a href=\"/x/metrics\">"), std::string::npos) << index.body;
    }

    CMetricsServer taken(Up);
    std::string error;
    EXPECT_FALSE(taken.Start({{"127.0.0.1", 0}, {"127.0.0.1", server->Port(1)}}, error));
    EXPECT_NE(error.find("cannot listen on 127.0.0.1:" + std::to_string(server->Port(1))),
              std::string::npos)
        << error;
    EXPECT_EQ(taken.Port(0), 0) << "nothing is served when one address fails";
}

TEST(MetricsServerRoutes, HealthAnswersWhateverTheScrapesSay) {
    auto server = Serve([](const ScrapeRequest&) -> std::string { throw 1; }, {}, {});
    EXPECT_EQ(Ask(server->Port(), "GET /metrics HTTP/1.1\r\n\r\n").status, 500);
    const RawHttpResponse health = Ask(server->Port(), "GET /health HTTP/1.1\r\n\r\n");
    EXPECT_EQ(health.status, 200);
    EXPECT_EQ(health.Field("Content-Type"), "text/plain; charset=utf-8");
    EXPECT_EQ(health.body, "OK\n");
    const RawHttpResponse head = Ask(server->Port(), "HEAD /health HTTP/1.1\r\n\r\n", true);
    EXPECT_EQ(head.status, 200);
    EXPECT_EQ(head.Field("Content-Length"), "3");
    EXPECT_EQ(Ask(server->Port(), "POST /health HTTP/1.1\r\n\r\n").status, 405);
}

TEST(MetricsServerRoutes, BeyondTheRequestsAnsweredAtOnceIs503AtOnce) {
    MonitorOptions options;
    options.maxRequests = 2;
    const MetricsServerLimits limits = ServerLimits(options);
    EXPECT_EQ(limits.answering, 2u);
    EXPECT_EQ(limits.threads, 2u) << "no idle workers beyond the bound";
    HeldSource held;
    auto server = Serve(std::ref(held), limits, {});
    RawHttpClient first(server->Port()), second(server->Port());
    ASSERT_TRUE(first.Send("GET /metrics HTTP/1.1\r\n\r\n"));
    ASSERT_TRUE(second.Send("GET /metrics HTTP/1.1\r\n\r\n"));
    ASSERT_TRUE(held.WaitInside(2));
    {
        RawHttpClient third(server->Port(), 1000);  // a queued scrape would time out here
        RawHttpResponse refused;
        ASSERT_TRUE(third.Send("GET /metrics HTTP/1.1\r\n\r\n"));
        ASSERT_TRUE(third.Read(refused));
        EXPECT_EQ(refused.status, 503);
    }
    held.Release();
    RawHttpResponse response;
    ASSERT_TRUE(first.Read(response));
    EXPECT_EQ(response.status, 200);
    ASSERT_TRUE(second.Read(response));
    EXPECT_EQ(response.status, 200);
    EXPECT_EQ(held.most, 2);
    EXPECT_EQ(Ask(server->Port(), "GET /metrics HTTP/1.1\r\n\r\n").status, 200)
        << "the answered ones make room again";

    options.maxRequests = 0;
    EXPECT_EQ(ServerLimits(options).answering, 0u) << "no bound but the connections";
    EXPECT_EQ(ServerLimits(options).threads, MetricsServerLimits{}.threads);
    options.maxRequests = 40;
    EXPECT_EQ(ServerLimits(options).threads, MetricsServerLimits{}.threads);
}

TEST(MetricsServerRoutes, OnlyAllowedHostsAreAnswered) {
    MetricsRoutes routes;
    routes.allowedHosts = {"till-7.example", "[::1]"};
    auto server = Serve(Up, {}, routes);
    EXPECT_EQ(
        Ask(server->Port(), "GET /metrics HTTP/1.1\r\nHost: till-7.example:9723\r\n\r\n").status,
        200);
    EXPECT_EQ(Ask(server->Port(), "GET /health HTTP/1.1\r\nHost: [::1]:9723\r\n\r\n").status, 200);
    for (const std::string request :
         {"GET /metrics HTTP/1.1\r\nHost: rebound.example:9723\r\n\r\n",
          "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1:9723\r\n\r\n",  // loopback only if listed
          "GET /metrics HTTP/1.0\r\n\r\n", "GET /nothing HTTP/1.1\r\nHost: evil\r\n\r\n",
          "DELETE / HTTP/1.1\r\nHost: evil\r\n\r\n"}) {
        RawHttpClient client(server->Port());
        RawHttpResponse response;
        ASSERT_TRUE(client.Send(request));
        ASSERT_TRUE(client.Read(response)) << request;
        EXPECT_EQ(response.status, 403) << request;
        EXPECT_EQ(response.Field("Connection"), "close") << request;
        EXPECT_TRUE(client.ClosedByServer()) << request;
    }
    EXPECT_EQ(Ask(Serve(Up, {}, {})->Port(), "GET /metrics HTTP/1.0\r\n\r\n").status, 200)
        << "without a list any Host, or none, is answered";
}

// What an exporter run says on standard output, stopped before it waits.
std::string ServingLines(const MonitorOptions& options) {
    const CapturedRun run = RunCaptured(options, ServiceCode_NoServiceProcessor);
    EXPECT_EQ(run.status, 0) << run.err;
    return run.out;
}

TEST(MetricsServerRoutes, OneServingLinePerAddressWithTheTelemetryPath) {
    MonitorOptions one;
    one.listen = {"127.0.0.1:0"};
    EXPECT_TRUE(std::regex_match(ServingLines(one),
                                 std::regex("svcproc-monitor: serving http://127\\.0\\.0\\.1:"
                                            "[1-9][0-9]*/metrics\n")))
        << ServingLines(one);
    MonitorOptions two = one;
    two.listen.push_back("localhost:0");
    two.telemetryPath = "/svcproc";
    const std::string lines = ServingLines(two);
    EXPECT_TRUE(std::regex_match(
        lines, std::regex("svcproc-monitor: serving http://127\\.0\\.0\\.1:[1-9][0-9]*/svcproc\n"
                          "svcproc-monitor: serving http://localhost:[1-9][0-9]*/svcproc\n")))
        << lines;
}

}  // namespace
