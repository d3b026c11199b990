#include "exporter/ScrapeAnswer.h"

#include <algorithm>
#include <utility>

#include "render/Formats.h"
#include "snapshot/NumberText.h"

namespace {

double SecondsOf(SteadyClock::duration duration) {
    return std::chrono::duration<double>(duration).count();
}

void WriteFamily(std::string& out, const char* name, const char* type, const char* help,
                 const std::string& samples) {
    out += std::string("# HELP ") + name + " " + help + "\n";
    out += std::string("# TYPE ") + name + " " + type + "\n";
    out += samples;
}

std::string Sample(const char* name, double value) {
    return std::string(name) + " " + DoubleText(value) + "\n";
}

}  // namespace

bool Outdated(const CollectionStatus& status, SteadyClock::time_point now,
              const ScrapeLimits& limits) {
    if (!status.latest) {
        return true;
    }
    if (status.runningSince && now - *status.runningSince > limits.stallAfter) {
        return true;
    }
    return now - status.latestStarted > limits.interval + limits.stallAfter;
}

std::optional<SteadyClock::time_point> ScrapeWaitLimit(const CollectionStatus& status,
                                                       SteadyClock::time_point now,
                                                       std::chrono::milliseconds scraperTimeout,
                                                       const ScrapeLimits& limits) {
    if (!status.runningSince) {
        return std::nullopt;
    }
    const SteadyClock::duration budget = scraperTimeout.count() > 0
                                             ? SteadyClock::duration(scraperTimeout) - limits.margin
                                             : limits.budget;
    if (budget <= SteadyClock::duration::zero()) {
        return std::nullopt;
    }
    const SteadyClock::time_point deadline = now + budget;
    if (status.latest && now - status.latestStarted <= limits.interval) {
        return std::nullopt;  // the snapshot at hand is as fresh as the cadence gives
    }
    // The first collection, right after start-up, has its readings cached.
    const SteadyClock::duration previous =
        status.latest ? status.latestDuration : SteadyClock::duration::zero();
    const SteadyClock::time_point likelyEnd = *status.runningSince + previous + limits.slack;
    if (likelyEnd <= now || likelyEnd > deadline) {
        return std::nullopt;  // overdue (stuck, most likely), or too late for the scraper
    }
    return likelyEnd;
}

std::string RenderScrape(const CollectionStatus& status, SteadyClock::time_point now,
                         const ScrapeLimits& limits, const SensorChanges* changes) {
    Snapshot placeholder;
    placeholder.startup = status.startup;
    const Snapshot& snapshot = status.latest ? *status.latest : placeholder;
    const bool outdated = Outdated(status, now, limits);
    const bool startupFailed = snapshot.startup != ServiceCode_Success;
    const bool notAnswering = !startupFailed && !Up(snapshot);
    const bool up = Up(snapshot) && !outdated;
    std::string out = changes != nullptr ? RenderPrometheus(snapshot, up, *changes)
                                         : RenderPrometheus(snapshot, up);

    const auto reason = [](const char* name, bool applies) {
        return std::string("svcproc_down_reason{reason=\"") + name + "\"} " +
               (applies ? "1" : "0") + "\n";
    };
    WriteFamily(out, "svcproc_down_reason", "gauge",
                "Why svcproc_up is 0, one series per reason, 1 where it applies: startup (the "
                "library did not start up), not_answering (exchanges with the service processor "
                "fail), stale (no collection completed lately: one is stuck or none ran yet).",
                reason("startup", startupFailed) + reason("not_answering", notAnswering) +
                    reason("stale", outdated));
    if (status.latest) {
        WriteFamily(out, "svcproc_snapshot_age_seconds", "gauge",
                    "Seconds since the collection of the metrics served here began.",
                    Sample("svcproc_snapshot_age_seconds", SecondsOf(now - status.latestStarted)));
        WriteFamily(
            out, "svcproc_collection_duration_seconds", "gauge",
            "How long the latest complete collection took, in seconds.",
            Sample("svcproc_collection_duration_seconds", SecondsOf(status.latestDuration)));
        WriteFamily(out, "svcproc_sensor_states_judged", "gauge",
                    "Sensors whose alert state was judged from the reading against the "
                    "thresholds, not the library's (an alert another process polled, or one "
                    "not yet arrived).",
                    "svcproc_sensor_states_judged " +
                        IntegerText(static_cast<uint64_t>(status.judgedStates)) + "\n");
    }
    const SteadyClock::duration running =
        status.runningSince ? std::max(now - *status.runningSince, SteadyClock::duration::zero())
                            : SteadyClock::duration::zero();
    WriteFamily(out, "svcproc_collection_running_seconds", "gauge",
                "How long the collection under way has been running, in seconds (0 when none "
                "is).",
                Sample("svcproc_collection_running_seconds", SecondsOf(running)));
    WriteFamily(out, "svcproc_collections_total", "counter",
                "Collections completed since the exporter started.",
                "svcproc_collections_total " + IntegerText(status.completed) + "\n");
    return out;
}

std::string RenderSensorsDocument(const CollectionStatus& status, SteadyClock::time_point now,
                                  const ScrapeLimits& limits, std::vector<SensorAlert> recent) {
    Snapshot placeholder;
    placeholder.startup = status.startup;
    const Snapshot& snapshot = status.latest ? *status.latest : placeholder;
    ExporterView view;
    view.stale = Outdated(status, now, limits);
    view.up = Up(snapshot) && !view.stale;
    if (status.latest) {
        view.snapshotAgeSeconds = SecondsOf(now - status.latestStarted);
    }
    if (status.runningSince) {
        view.collectionRunningSeconds =
            SecondsOf(std::max(now - *status.runningSince, SteadyClock::duration::zero()));
    }
    view.recentAlerts = std::move(recent);
    return RenderJson(snapshot, view);
}
