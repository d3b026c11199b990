#include "exporter/Exporter.h"

#include <cstdio>

#include "run/AlertCollector.h"
#include "render/Formats.h"
#include "exporter/MetricsServer.h"
#include "snapshot/TimeText.h"
#include "snapshot/Units.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

std::string AlertLine(const Alert& alert) {
    return FormatLocalClock(alert.at) + "  " + (alert.state != 0 ? "ASSERTED  " : "CLEARED   ") +
           FormatHandle(alert.handle) + "  " +
           ServiceApi::KindName(ServiceApi::HandleKind(alert.handle)) + "  raw " +
           std::to_string(alert.reading);
}

}  // namespace

CScrapeSource::CScrapeSource(std::function<SERVICE_CODE()> initialise, SteadyClock::duration retry,
                             SERVICE_CODE startup)
    : m_Initialise(std::move(initialise)),
      m_Retry(retry),
      m_Inventory(TakeInventory(startup)),
      m_LastAttempt(SteadyClock::now()) {}

std::string CScrapeSource::Scrape() {
    Snapshot snapshot;
    bool started = false;
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        const SteadyClock::time_point now = SteadyClock::now();
        if (m_Inventory.startup != ServiceCode_Success && now - m_LastAttempt >= m_Retry) {
            m_LastAttempt = now;
            m_Inventory = TakeInventory(m_Initialise());
            started = m_Inventory.startup == ServiceCode_Success;
        }
        snapshot = m_Inventory;
    }
    if (started && onStarted) {
        onStarted();
    }
    if (snapshot.startup == ServiceCode_Success) {
        RefreshReadings(snapshot);
    }
    return RenderPrometheus(snapshot);
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

    // The library takes listeners once it has started up: now, or when a
    // scrape's retry succeeds.
    AlertCollector alerts;
    const SERVICE_CODE startup = hooks.initialise();
    if (startup == ServiceCode_Success) {
        ServiceApi::RegisterSensorStateListener(&alerts);
    } else {
        ExplainStartup(streams.err, startup);
        std::fprintf(streams.err,
                     "svcproc-monitor: serving svcproc_up 0; a scrape retries at "
                     "most every interval\n");
    }
    CScrapeSource source(hooks.initialise, Seconds(options.intervalSeconds), startup);
    FILE* err = streams.err;
    source.onStarted = [err, &alerts] {
        ServiceApi::RegisterSensorStateListener(&alerts);
        std::fprintf(err, "svcproc-monitor: started\n");
        std::fflush(err);
    };
    CMetricsServer server([&source](const ScrapeRequest&) { return source.Scrape(); });
    if (!server.Start(address, error)) {
        std::fprintf(streams.err, "svcproc-monitor: %s\n", error.c_str());
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
    // After this returns the listener is never called again, so it may go.
    ServiceApi::UnregisterSensorStateListener(&alerts);
    return 0;
}
