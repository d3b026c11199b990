// The monitor's metrics endpoint: GET /metrics in the Prometheus text
// exposition format, GET / a page that links to it. Portable (cpp-httplib,
// no system calls of its own), so the same file builds for Windows.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "run/ListenAddress.h"

namespace httplib {
class Server;
}

struct MetricsServerLimits {
    // Requests served at once; a further connection waits for a free thread.
    size_t threads = 8;
    // How long a connection may take to send a request, and to take the
    // response: a client that connects and sends nothing holds one thread
    // for this long at most.
    std::chrono::seconds readTimeout{3};
    std::chrono::seconds writeTimeout{3};
    // How long an idle kept-alive connection is held; also bounds Stop().
    std::chrono::seconds keepAlive{2};
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
    // The exposition text of one scrape. Called on the server's threads,
    // several at once when scrapes overlap; it must not throw.
    using Source = std::function<std::string(const ScrapeRequest&)>;

    explicit CMetricsServer(Source source, MetricsServerLimits limits = {});
    ~CMetricsServer();  // Stop()
    CMetricsServer(const CMetricsServer&) = delete;
    CMetricsServer& operator=(const CMetricsServer&) = delete;

    // Binds and serves on a thread of its own. False with a message when the
    // address cannot be bound. Once only.
    bool Start(const ListenAddress& address, std::string& error);

    // The bound port (the chosen one when asked for port 0); 0 before Start.
    int Port() const { return m_nPort; }

    // Stops accepting, waits for the requests being served (at most about
    // the read and keep-alive timeouts) and returns. Idempotent.
    void Stop();

private:
    Source m_Source;
    MetricsServerLimits m_Limits;
    std::unique_ptr<httplib::Server> m_pServer;
    std::thread m_Thread;
    std::atomic<bool> m_bListenEnded{false};
    int m_nPort = 0;
};

// The Content-Type of the text exposition format 0.0.4.
extern const char* const kMetricsContentType;
