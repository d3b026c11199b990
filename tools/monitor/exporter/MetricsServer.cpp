#include "exporter/MetricsServer.h"

#include <cmath>
#include <cstdlib>

#include "exporter/HttpService.h"
#include "exporter/page/StatusPage.h"
#include "run/AllowedHost.h"

const char* const kMetricsContentType = "text/plain; version=0.0.4; charset=utf-8";

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

CMetricsServer::CMetricsServer(Source source, MetricsServerLimits limits, MetricsRoutes routes,
                               MetricsSecurity security)
    : m_Source(std::move(source)),
      m_Limits(limits),
      m_Routes(std::move(routes)),
      m_Security(std::move(security)),
      m_IndexPage(StatusPage(m_Routes.telemetryPath)) {}

CMetricsServer::~CMetricsServer() {
    Stop();
}

HttpAnswer CMetricsServer::Answer(const HttpRequest& request) const {
    // Before anything else, so that a page served from a rebound name learns
    // nothing, not even which methods or paths exist.
    if (!m_Routes.allowedHosts.empty() &&
        !IsAllowedHost(m_Routes.allowedHosts, request.Field("Host"))) {
        HttpAnswer refused = StatusAnswer(403);
        refused.close = true;
        return refused;
    }
    // Every path, /health too: what is not let in learns nothing.
    if (m_Security.authorised && !m_Security.authorised(request.Field("Authorization"))) {
        HttpAnswer refused = StatusAnswer(401);
        refused.fields.emplace_back("WWW-Authenticate",
                                    "Basic realm=\"svcproc\", charset=\"UTF-8\"");
        return refused;
    }
    // Only reading is served; anything else is refused before routing.
    if (request.method != "GET" && request.method != "HEAD") {
        HttpAnswer refused = StatusAnswer(405);
        refused.fields.emplace_back("Allow", "GET, HEAD");
        return refused;
    }
    // A query (a federating scraper's, say) is ignored; so is Range: the
    // answer is always the whole page.
    const std::string path = request.Path();
    HttpAnswer answer;
    if (path == m_Routes.telemetryPath) {
        ScrapeRequest scrape;
        scrape.scraperTimeout =
            ParseScrapeTimeout(request.Field("X-Prometheus-Scrape-Timeout-Seconds"));
        answer.contentType = kMetricsContentType;
        answer.body = m_Source(scrape);
    } else if (path == "/") {
        answer = StatusPageAnswer(m_IndexPage);
    } else if (path == "/api/v1/sensors" && m_Routes.sensorsDocument) {
        answer.contentType = "application/json; charset=utf-8";
        answer.body = m_Routes.sensorsDocument();
        answer.fields = {{"X-Content-Type-Options", "nosniff"}, {"Cache-Control", "no-store"}};
    } else if (path == "/health") {
        // The process serves; whether the service processor answers is
        // svcproc_up's to say.
        answer.contentType = "text/plain; charset=utf-8";
        answer.body = "OK\n";
    } else {
        answer = StatusAnswer(404);
    }
    return answer;
}

bool CMetricsServer::Start(const std::vector<ListenAddress>& addresses, std::string& error) {
    if (m_pService) {
        error = "the metrics server runs already";
        return false;
    }
    auto service = std::make_unique<CHttpService>(
        [this](const HttpRequest& request) { return Answer(request); }, m_Limits,
        m_Security.connections);
    std::vector<HttpEndpoint> endpoints;
    for (const ListenAddress& address : addresses) {
        endpoints.push_back(HttpEndpoint{address.host, address.port});
    }
    if (!service->Start(endpoints, error)) {
        return false;
    }
    m_pService = std::move(service);
    return true;
}

int CMetricsServer::Port(size_t index) const {
    return m_pService ? m_pService->Port(index) : 0;
}

void CMetricsServer::Stop() {
    if (m_pService) {
        m_pService->Stop();
    }
}
