#include "Monitor.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "AlertCollector.h"
#include "Formats.h"
#include "LogControl.h"
#include "ServiceCodeText.h"
#include "Snapshot.h"
#include "TimeText.h"
#include "Units.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr size_t kAlertHistory = 8;

// Writes through a temporary file and a rename, so that a reader (such as
// node_exporter's textfile collector) never sees a half-written file.
bool WriteFileAtomically(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".tmp." + std::to_string(getpid());
    FILE* file = std::fopen(temporary.c_str(), "w");
    if (file == nullptr) {
        return false;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size() &&
                         std::fflush(file) == 0 && fsync(fileno(file)) == 0;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed || std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

std::string Render(const Snapshot& snapshot, OutputFormat format, bool color) {
    switch (format) {
        case OutputFormat::Json:
            return RenderJson(snapshot);
        case OutputFormat::Prometheus:
            return RenderPrometheus(snapshot);
        case OutputFormat::Table:
            break;
    }
    return RenderTable(snapshot, color);
}

// The reading an alert carries is the service processor's raw value; for
// voltages and temperatures ReadSensor reports ten times that.
std::string DescribeAlert(const Alert& alert, const Snapshot& snapshot) {
    std::string description = "(unknown sensor)";
    const CSensorInformation* information = nullptr;
    for (const SensorSnapshot& sensor : snapshot.sensors) {
        if (sensor.handle == alert.handle) {
            information = &sensor.information;
            description = ToUtf8(sensor.information.Description);
        }
    }
    const SensorKind kind = KindOfHandle(alert.handle);
    std::string reading = std::to_string(alert.reading) + " (raw)";
    if (information != nullptr) {
        const int64_t scale = kind == SensorKind::Fan ? 1 : 10;
        reading = FormatValue(static_cast<int64_t>(alert.reading) * scale, *information);
    }
    return FormatLocalClock(alert.at) + "  " + (alert.state != 0 ? "ASSERTED  " : "CLEARED   ") +
           FormatHandle(alert.handle) + "  " + KindName(kind) + "  " + description + "  " + reading;
}

size_t CountLines(const std::string& text) {
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

class Run {
public:
    Run(const MonitorOptions& options, const MonitorStreams& streams)
        : m_Options(options), m_Streams(streams) {
        m_bColor = options.color == ColorMode::Always ||
                   (options.color == ColorMode::Auto && streams.outIsTerminal);
        m_bInPlace = streams.outIsTerminal && options.format == OutputFormat::Table &&
                     options.outputFile.empty();
    }

    // Writes one snapshot to its destination; false when it could not.
    bool Emit(const Snapshot& snapshot) {
        const std::string text = Render(snapshot, m_Options.format, m_bColor);
        if (!m_Options.outputFile.empty()) {
            if (!WriteFileAtomically(m_Options.outputFile, text)) {
                std::fprintf(m_Streams.err, "svcproc-monitor: cannot write %s\n",
                             m_Options.outputFile.c_str());
                return false;
            }
            return true;
        }
        if (m_bInPlace) {
            RedrawInPlace(snapshot, text);
        } else {
            std::fputs(text.c_str(), m_Streams.out);
        }
        std::fflush(m_Streams.out);
        return true;
    }

    void Report(const Alert& alert, const Snapshot& snapshot) {
        const std::string line = DescribeAlert(alert, snapshot);
        if (m_bInPlace) {
            m_vHistory.push_back(line);
            if (m_vHistory.size() > kAlertHistory) {
                m_vHistory.erase(m_vHistory.begin());
            }
            return;
        }
        // Keep machine-readable output clean: alerts go to the error stream
        // unless the output is the human table.
        FILE* stream = m_Options.format == OutputFormat::Table && m_Options.outputFile.empty()
                           ? m_Streams.out
                           : m_Streams.err;
        std::fprintf(stream, "%s\n", line.c_str());
        std::fflush(stream);
    }

    bool InPlace() const { return m_bInPlace; }

private:
    void RedrawInPlace(const Snapshot& snapshot, const std::string& table) {
        std::string screen = "svcproc-monitor  " + FormatLocalClock(snapshot.takenAt) + "\n\n" +
                             table + "\nAlerts:\n";
        if (m_vHistory.empty()) {
            screen += "  (none yet)\n";
        }
        for (const std::string& line : m_vHistory) {
            screen += "  " + line + "\n";
        }
        if (m_nDrawnLines > 0) {
            std::fprintf(m_Streams.out, "\033[%zuA\033[J", m_nDrawnLines);
        }
        std::fputs(screen.c_str(), m_Streams.out);
        m_nDrawnLines = CountLines(screen);
    }

    const MonitorOptions& m_Options;
    const MonitorStreams& m_Streams;
    bool m_bColor = false;
    bool m_bInPlace = false;
    std::vector<std::string> m_vHistory;
    size_t m_nDrawnLines = 0;
};

}  // namespace

int RunMonitor(const MonitorOptions& options, const MonitorStreams& streams,
               const std::atomic<bool>& stop) {
    if (options.logLevel >= 0) {
        LogSetLevel(options.logLevel);
    }
    if (!options.logFile.empty() && LogSetFile(options.logFile.c_str()) != 0) {
        std::fprintf(streams.err, "svcproc-monitor: cannot open log file %s\n",
                     options.logFile.c_str());
        return kExitOutput;
    }

    const SERVICE_CODE startup = ServiceApi::InitialiseServiceDriver();
    Snapshot snapshot = TakeInventory(startup);
    Run run(options, streams);
    if (startup != ServiceCode_Success) {
        const ServiceCodeText text = DescribeServiceCode(startup);
        std::fprintf(streams.err, "svcproc-monitor: start-up failed with %d (%s): %s\n  %s\n",
                     static_cast<int>(startup), text.name, text.meaning, text.advice);
        // Scrapers and scripts still get a document that says so.
        if (options.format != OutputFormat::Table && !run.Emit(snapshot)) {
            return kExitOutput;
        }
        return static_cast<int>(startup);
    }

    const bool watch =
        options.mode == RunMode::Watch || (options.mode == RunMode::Auto && run.InPlace());
    if (!watch) {
        return run.Emit(snapshot) ? 0 : kExitOutput;
    }

    AlertCollector alerts;
    ServiceApi::RegisterSensorStateListener(&alerts);
    const auto interval = std::chrono::duration_cast<SteadyClock::duration>(
        std::chrono::duration<double>(options.intervalSeconds));
    const SteadyClock::time_point start = SteadyClock::now();
    const SteadyClock::time_point end =
        options.durationSeconds < 0
            ? SteadyClock::time_point::max()
            : start + std::chrono::duration_cast<SteadyClock::duration>(
                          std::chrono::duration<double>(options.durationSeconds));
    int status = 0;
    SteadyClock::time_point nextRefresh = start;
    bool redraw = false;
    while (!stop.load() && SteadyClock::now() < end) {
        const SteadyClock::time_point now = SteadyClock::now();
        if (now >= nextRefresh || redraw) {
            if (now >= nextRefresh) {
                RefreshReadings(snapshot);
                nextRefresh += interval;
                if (nextRefresh < now) {
                    nextRefresh = now + interval;
                }
            }
            redraw = false;
            if (!run.Emit(snapshot)) {
                status = kExitOutput;
                break;
            }
        }
        // Wake at least every 100 ms to notice a stop request.
        const SteadyClock::time_point wake =
            std::min({nextRefresh, end, SteadyClock::now() + std::chrono::milliseconds(100)});
        for (const Alert& alert : alerts.WaitUntil(wake)) {
            run.Report(alert, snapshot);
            redraw = run.InPlace();
        }
    }
    // After this returns the listener is never called again, so it may go.
    ServiceApi::UnregisterSensorStateListener(&alerts);
    return status;
}
