#include "exporter/Exporter.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <memory>
#include <cstdio>
#include <optional>
#include <utility>
#include <vector>

#include "exporter/EndpointSecurity.h"
#include "events/EventReporter.h"
#include "render/Formats.h"
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

MetricsServerLimits ServerLimits(const MonitorOptions& options) {
    MetricsServerLimits limits;
    if (options.maxRequests > 0) {
        const size_t most = static_cast<size_t>(options.maxRequests);
        limits.answering = most;
        // No more workers than requests that may be answered at once.
        limits.threads = std::min(limits.threads, most);
    }
    return limits;
}

CScrapeSource::CScrapeSource(const CCollector& collector, ScrapeLimits limits,
                             std::function<SteadyClock::time_point()> now,
                             const CSensorChangeTally* changes)
    : m_Collector(collector), m_Limits(limits), m_Now(std::move(now)), m_pChanges(changes) {}

std::string CScrapeSource::Scrape(const ScrapeRequest& request) const {
    CollectionStatus status = m_Collector.Status();
    if (const std::optional<SteadyClock::time_point> until =
            ScrapeWaitLimit(status, m_Now(), request.scraperTimeout, m_Limits)) {
        status = m_Collector.WaitForCollection(status.completed, *until);
    }
    if (m_pChanges != nullptr) {
        const SensorChanges changes = m_pChanges->Changes();
        return RenderScrape(status, m_Now(), m_Limits, &changes);
    }
    return RenderScrape(status, m_Now(), m_Limits);
}

std::string CScrapeSource::SensorsDocument() const {
    return RenderSensorsDocument(
        m_Collector.Status(), m_Now(), m_Limits,
        m_pChanges != nullptr ? m_pChanges->Recent() : std::vector<SensorAlert>());
}

int RunExporter(const MonitorOptions& options, const MonitorStreams& streams,
                const std::atomic<bool>& stop, const MonitorHooks& hooks) {
    CEventReporter events(streams.events, hooks.now);
    if (!ApplyLogOptions(options, streams)) {
        events.ConfigurationRefused("--log-file " + options.logFile + " cannot be used");
        return kExitOutput;
    }
    std::vector<ListenAddress> addresses;
    std::string error;
    for (const std::string& text : options.listen) {
        ListenAddress address;
        if (!ParseListenAddress(text, address, error)) {
            std::fprintf(streams.err, "svcproc-monitor: %s\n", error.c_str());
            events.ConfigurationRefused(error);
            return kExitUsage;
        }
        addresses.push_back(address);
    }
    MetricsSecurity security;
    bool tls = false;
    if (!options.webConfigFile.empty() &&
        !LoadEndpointSecurity(options.webConfigFile, streams.err, security, tls, error)) {
        std::fprintf(streams.err, "svcproc-monitor: --web.config.file %s\n", error.c_str());
        events.ConfigurationRefused("--web.config.file " + error);
        return kExitUsage;
    }

    // The library takes listeners once it has started up: now, or when the
    // collector's retry succeeds.
    AlertCollector alerts;
    CSensorChangeTally changes;
    const SERVICE_CODE startup = hooks.initialise();
    if (startup == ServiceCode_Success) {
        ServiceApi::RegisterSensorStateListener(&alerts);
    } else {
        ExplainStartup(streams.err, startup);
        events.StartupFailed(startup);
        std::fprintf(streams.err,
                     "svcproc-monitor: serving svcproc_up 0; start-up is retried every "
                     "interval\n");
    }
    // Set by the collector's thread (so it outlives the collector); the
    // events are written by this one.
    std::atomic<bool> started{startup == ServiceCode_Success};
    const SteadyClock::duration interval = Seconds(options.intervalSeconds);
    CCollector collector(LibraryCollectorHooks(hooks, &options.selection), interval, startup);
    FILE* err = streams.err;
    collector.onStarted = [err, &alerts, &started] {
        ServiceApi::RegisterSensorStateListener(&alerts);
        started.store(true);
        std::fprintf(err, "svcproc-monitor: started\n");
        std::fflush(err);
    };
    collector.Start();
    ScrapeLimits limits;
    limits.interval = interval;
    const CScrapeSource source(collector, limits, hooks.now, &changes);
    MetricsRoutes routes;
    routes.telemetryPath = options.telemetryPath;
    routes.allowedHosts = options.allowedHosts;
    routes.sensorsDocument = [&source] { return source.SensorsDocument(); };
    CMetricsServer server(
        [&source](const ScrapeRequest& request) { return source.Scrape(request); },
        ServerLimits(options), routes, security);
    if (!server.Start(addresses, error)) {
        std::fprintf(streams.err, "svcproc-monitor: %s\n", error.c_str());
        events.ConfigurationRefused(error);
        collector.Stop();
        ServiceApi::UnregisterSensorStateListener(&alerts);
        return kExitUnavailable;
    }
    for (size_t i = 0; i < addresses.size(); ++i) {
        const std::string& name = addresses[i].host;
        const std::string host = name.find(':') != std::string::npos ? "[" + name + "]" : name;
        std::fprintf(streams.out, "svcproc-monitor: serving %s://%s:%d%s\n", tls ? "https" : "http",
                     host.c_str(), server.Port(i), options.telemetryPath.c_str());
    }
    std::fflush(streams.out);

    const SteadyClock::time_point end = options.durationSeconds < 0
                                            ? SteadyClock::time_point::max()
                                            : hooks.now() + Seconds(options.durationSeconds);
    const Snapshot none;  // before the first collection
    while (!stop.load() && hooks.now() < end) {
        // Wake every 100 ms to notice a stop request.
        const SteadyClock::time_point wake =
            std::min(end, SteadyClock::now() + std::chrono::milliseconds(100));
        const std::deque<Alert> heard = alerts.WaitUntil(wake);
        const std::shared_ptr<const Snapshot> latest = collector.Status().latest;
        const Snapshot& snapshot = latest ? *latest : none;
        if (latest && started.exchange(false)) {
            events.Started(snapshot);
        }
        events.Link(snapshot);
        for (const Alert& alert : heard) {
            changes.Record(alert);
            events.Alert(alert.handle, alert.state != 0, alert.reading, snapshot);
            std::fprintf(streams.out, "%s\n", AlertLine(alert).c_str());
            std::fflush(streams.out);
        }
        events.Tick();
    }
    server.Stop();
    collector.Stop();
    // After this returns the listener is never called again, so it may go.
    ServiceApi::UnregisterSensorStateListener(&alerts);
    return 0;
}
