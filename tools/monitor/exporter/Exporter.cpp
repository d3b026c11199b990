#include "exporter/Exporter.h"

#include <cstdio>
#include <optional>
#include <utility>

#include "run/AlertCollector.h"
#include "snapshot/TimeText.h"
#include "snapshot/Units.h"

namespace {

std::string AlertLine(const Alert& alert) {
    return FormatLocalClock(alert.at) + "  " + (alert.state != 0 ? "ASSERTED  " : "CLEARED   ") +
           FormatHandle(alert.handle) + "  " +
           ServiceApi::KindName(ServiceApi::HandleKind(alert.handle)) + "  raw " +
           std::to_string(alert.reading);
}

}  // namespace

CScrapeSource::CScrapeSource(const CCollector& collector, ScrapeLimits limits,
                             std::function<SteadyClock::time_point()> now)
    : m_Collector(collector), m_Limits(limits), m_Now(std::move(now)) {}

std::string CScrapeSource::Scrape(const ScrapeRequest& request) const {
    CollectionStatus status = m_Collector.Status();
    if (const std::optional<SteadyClock::time_point> until =
            ScrapeWaitLimit(status, m_Now(), request.scraperTimeout, m_Limits)) {
        status = m_Collector.WaitForCollection(status.completed, *until);
    }
    return RenderScrape(status, m_Now(), m_Limits);
}

int RunExporter(const MonitorOptions& options, const MonitorStreams& streams,
                const std::atomic<bool>& stop, const MonitorHooks& hooks) {
    if (!ApplyLogOptions(options, streams)) {
        return kExitOutput;
    }
    ListenAddress address;
    std::string error;
    if (!ParseListenAddress(options.listen, address, error)) {
        std::fprintf(streams.err, "svcproc-monitor: %s\n", error.c_str());
        return kExitUsage;
    }

    // The library takes listeners once it has started up: now, or when the
    // collector's retry succeeds.
    AlertCollector alerts;
    const SERVICE_CODE startup = hooks.initialise();
    if (startup == ServiceCode_Success) {
        ServiceApi::RegisterSensorStateListener(&alerts);
    } else {
        ExplainStartup(streams.err, startup);
        std::fprintf(streams.err,
                     "svcproc-monitor: serving svcproc_up 0; start-up is retried every "
                     "interval\n");
    }
    const SteadyClock::duration interval = Seconds(options.intervalSeconds);
    CCollector collector(LibraryCollectorHooks(hooks), interval, startup);
    FILE* err = streams.err;
    collector.onStarted = [err, &alerts] {
        ServiceApi::RegisterSensorStateListener(&alerts);
        std::fprintf(err, "svcproc-monitor: started\n");
        std::fflush(err);
    };
    collector.Start();
    ScrapeLimits limits;
    limits.interval = interval;
    const CScrapeSource source(collector, limits, hooks.now);
    CMetricsServer server(
        [&source](const ScrapeRequest& request) { return source.Scrape(request); });
    if (!server.Start(address, error)) {
        std::fprintf(streams.err, "svcproc-monitor: %s\n", error.c_str());
        collector.Stop();
        ServiceApi::UnregisterSensorStateListener(&alerts);
        return kExitUnavailable;
    }
    const std::string host =
        address.host.find(':') != std::string::npos ? "[" + address.host + "]" : address.host;
    std::fprintf(streams.out, "svcproc-monitor: serving http://%s:%d/metrics\n", host.c_str(),
                 server.Port());
    std::fflush(streams.out);

    const SteadyClock::time_point end = options.durationSeconds < 0
                                            ? SteadyClock::time_point::max()
                                            : hooks.now() + Seconds(options.durationSeconds);
    while (!stop.load() && hooks.now() < end) {
        // Wake every 100 ms to notice a stop request.
        const SteadyClock::time_point wake =
            std::min(end, SteadyClock::now() + std::chrono::milliseconds(100));
        for (const Alert& alert : alerts.WaitUntil(wake)) {
            std::fprintf(streams.out, "%s\n", AlertLine(alert).c_str());
            std::fflush(streams.out);
        }
    }
    server.Stop();
    collector.Stop();
    // After this returns the listener is never called again, so it may go.
    ServiceApi::UnregisterSensorStateListener(&alerts);
    return 0;
}
