#include "exporter/MetricsServer.h"

#include <cmath>
#include <cstdlib>

#include "exporter/HttpService.h"

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

HttpAnswer CMetricsServer::Answer(const HttpRequest& request) const {
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
    if (path == "/metrics") {
        ScrapeRequest scrape;
        scrape.scraperTimeout =
            ParseScrapeTimeout(request.Field("X-Prometheus-Scrape-Timeout-Seconds"));
        answer.contentType = kMetricsContentType;
        answer.body = m_Source(scrape);
    } else if (path == "/") {
        answer.contentType = "text/html; charset=utf-8";
        answer.body = kIndexPage;
    } else {
        answer = StatusAnswer(404);
    }
    return answer;
}

bool CMetricsServer::Start(const ListenAddress& address, std::string& error) {
    if (m_pService) {
        error = "the metrics server runs already";
        return false;
    }
    auto service = std::make_unique<CHttpService>(
        [this](const HttpRequest& request) { return Answer(request); }, m_Limits);
    if (!service->Start(address.host, address.port, error)) {
        return false;
    }
    m_nPort = service->Port();
    m_pService = std::move(service);
    return true;
}

void CMetricsServer::Stop() {
    if (m_pService) {
        m_pService->Stop();
    }
}
