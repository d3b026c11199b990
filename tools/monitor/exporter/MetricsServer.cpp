#include "exporter/MetricsServer.h"

#include <httplib.h>

#include <cmath>
#include <cstdlib>

const char* const kMetricsContentType = "text/plain; version=0.0.4; charset=utf-8";

namespace {

const char* const kIndexPage =
    "<!DOCTYPE html>\n"
    "<html><head><meta charset=\"utf-8\"><title>svcproc exporter</title></head>\n"
    "<body><h1>svcproc exporter</h1>\n"
    "<p>The service processor's sensors, LEDs and link, read through the svcproc library "
    "at each scrape.</p>\n"
    "<p><a href=\"/metrics\">Metrics</a></p>\n"
    "</body></html>\n";

}  // namespace

std::chrono::milliseconds ParseScrapeTimeout(const std::string& text) {
    // strtod would also take leading blanks, signs, hex and words.
    if (text.empty() || text.size() > 32 ||
        text.find_first_not_of("0123456789.eE+-") != std::string::npos) {
        return std::chrono::milliseconds(0);
    }
    char* end = nullptr;
    const double seconds = std::strtod(text.c_str(), &end);
    // A day is far beyond any scraper's timeout: anything longer is noise.
    if (end != text.c_str() + text.size() || !std::isfinite(seconds) || seconds <= 0 ||
        seconds > 86400) {
        return std::chrono::milliseconds(0);
    }
    return std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
}

CMetricsServer::CMetricsServer(Source source, MetricsServerLimits limits)
    : m_Source(std::move(source)), m_Limits(limits) {}

CMetricsServer::~CMetricsServer() {
    Stop();
}

bool CMetricsServer::Start(const ListenAddress& address, std::string& error) {
    if (m_pServer) {
        error = "the metrics server runs already";
        return false;
    }
    auto server = std::make_unique<httplib::Server>();
    const size_t threads = m_Limits.threads;
    server->new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    server->set_read_timeout(m_Limits.readTimeout);
    server->set_write_timeout(m_Limits.writeTimeout);
    server->set_keep_alive_timeout(m_Limits.keepAlive.count());
    // httplib's default adds SO_REUSEPORT, with which a second exporter on
    // the same port would silently share the scrapes: a restart may reuse
    // the address, nobody may share the port. (Windows: neither option; its
    // SO_REUSEADDR would let another process take the port over.)
    server->set_socket_options([](socket_t socket) {
#ifndef _WIN32
        const int yes = 1;
        setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&yes),
                   sizeof yes);
#else
        (void)socket;
#endif
    });

    // Only reading is served; anything else is refused before routing.
    server->set_pre_routing_handler(
        [](const httplib::Request& request, httplib::Response& response) {
            if (request.method == "GET" || request.method == "HEAD") {
                return httplib::Server::HandlerResponse::Unhandled;
            }
            response.status = 405;
            response.set_header("Allow", "GET, HEAD");
            response.set_content("Method Not Allowed\n", "text/plain; charset=utf-8");
            return httplib::Server::HandlerResponse::Handled;
        });
    server->Get("/metrics", [this](const httplib::Request& request, httplib::Response& response) {
        ScrapeRequest scrape;
        scrape.scraperTimeout =
            ParseScrapeTimeout(request.get_header_value("X-Prometheus-Scrape-Timeout-Seconds"));
        response.set_content(m_Source(scrape), kMetricsContentType);
    });
    server->Get("/", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(kIndexPage, "text/html; charset=utf-8");
    });
    server->set_error_handler([](const httplib::Request&, httplib::Response& response) {
        if (response.body.empty()) {
            response.set_content(response.status == 404 ? "Not Found\n" : "Error\n",
                                 "text/plain; charset=utf-8");
        }
    });
    server->set_exception_handler(
        [](const httplib::Request&, httplib::Response& response, std::exception_ptr) {
            response.status = 500;
            response.set_content("Internal Server Error\n", "text/plain; charset=utf-8");
        });

    int port = address.port;
    if (port == 0) {
        port = server->bind_to_any_port(address.host);
    } else if (!server->bind_to_port(address.host, port)) {
        port = -1;
    }
    if (port <= 0) {
        error = "cannot listen on " + address.host + ":" + std::to_string(address.port) +
                " (address in use, not an address of this machine, or not permitted)";
        return false;
    }
    m_nPort = port;
    m_pServer = std::move(server);
    m_Thread = std::thread([this] {
        m_pServer->listen_after_bind();
        m_bListenEnded.store(true);
    });
    // A stop() before the accept loop runs would be lost: wait for it.
    while (!m_pServer->is_running() && !m_bListenEnded.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (m_bListenEnded.load()) {
        m_Thread.join();
        m_pServer.reset();
        error = "cannot serve on " + address.host + ":" + std::to_string(port);
        return false;
    }
    return true;
}

void CMetricsServer::Stop() {
    if (!m_pServer) {
        return;
    }
    m_pServer->stop();
    if (m_Thread.joinable()) {
        m_Thread.join();
    }
}
