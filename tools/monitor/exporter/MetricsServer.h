// The monitor's metrics endpoint: GET /metrics (or another telemetry path)
// in the Prometheus text exposition format, GET / the live status page,
// GET /health while it serves, GET /api/v1/sensors the monitor's JSON, over the bounded HTTP server
// of CHttpService (Boost.Beast; the same file builds for Windows).
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "exporter/HttpLimits.h"
#include "exporter/HttpMessage.h"
#include "exporter/HttpService.h"
#include "run/ListenAddress.h"

// What one client may cost the endpoint (exporter/HttpLimits.h).
using MetricsServerLimits = HttpLimits;

// What the endpoint serves, and to whom.
struct MetricsRoutes {
    std::string telemetryPath = "/metrics";  // a plain path, not "/" or "/health"
    // The Host names a request may use (run/AllowedHost.h); others get 403
    // and the connection closes. Empty: any Host.
    std::vector<std::string> allowedHosts;
    // The JSON document of GET /api/v1/sensors, on the same worker threads
    // and under the same rules as Source; unset: that path is not served.
    std::function<std::string()> sensorsDocument;
};

// Who may ask, and over what (--web.config.file); by default anyone, over
// plain HTTP.
struct MetricsSecurity {
    // TLS, and the fields every answer carries.
    HttpConnections connections;
    // Whether a request's Authorization field lets it in, on every path;
    // others get 401. Unset: every request does. Called on the worker
    // threads, several at once.
    std::function<bool(const std::string& authorization)> authorised;
};

// What a scrape asks of its source.
struct ScrapeRequest {
    // The scraper's own deadline (X-Prometheus-Scrape-Timeout-Seconds);
    // zero when it sent none or an unusable one.
    std::chrono::milliseconds scraperTimeout{0};
};

// The scraper's deadline from its header's text; zero when absent, not a
// positive number, or absurd.
std::chrono::milliseconds ParseScrapeTimeout(const std::string& text);

class CMetricsServer {
public:
    // The exposition text of one scrape. Called on the server's worker
    // threads (HttpLimits::threads of them), several at once when scrapes
    // overlap, never on the thread that reads the connections; it must not
    // throw.
    using Source = std::function<std::string(const ScrapeRequest&)>;

    explicit CMetricsServer(Source source, MetricsServerLimits limits = {},
                            MetricsRoutes routes = {}, MetricsSecurity security = {});
    ~CMetricsServer();  // Stop()
    CMetricsServer(const CMetricsServer&) = delete;
    CMetricsServer& operator=(const CMetricsServer&) = delete;

    // Binds every address and serves them on threads of its own, within one
    // set of limits. False with a message when one cannot be bound (none is
    // served then). Once only.
    bool Start(const std::vector<ListenAddress>& addresses, std::string& error);
    bool Start(const ListenAddress& address, std::string& error) {
        return Start(std::vector<ListenAddress>{address}, error);
    }

    // The index-th address's bound port (the chosen one when asked for port
    // 0); 0 before Start.
    int Port(size_t index = 0) const;

    // Stops accepting, closes every connection, waits for the scrapes being
    // computed and returns. Idempotent.
    void Stop();

private:
    HttpAnswer Answer(const HttpRequest& request) const;

    Source m_Source;
    MetricsServerLimits m_Limits;
    MetricsRoutes m_Routes;
    MetricsSecurity m_Security;
    std::string m_IndexPage;
    std::unique_ptr<CHttpService> m_pService;
};

// The Content-Type of the text exposition format 0.0.4.
extern const char* const kMetricsContentType;
