#include "run/Monitor.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "events/EventReporter.h"
#include "run/AlertCollector.h"
#include "run/CommandLine.h"
#include "output/FileOutput.h"
#include "render/Formats.h"
#include "LogControl.h"
#include "snapshot/ServiceCodeAdvice.h"
#include "snapshot/Snapshot.h"
#include "terminal/Terminal.h"
#include "snapshot/TimeText.h"
#include "snapshot/Units.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr size_t kAlertHistory = 8;

std::string Render(const Snapshot& snapshot, OutputFormat format, const TableStyle& style) {
    switch (format) {
        case OutputFormat::Json:
            return RenderJson(snapshot);
        case OutputFormat::Ndjson:
            return RenderJson(snapshot, JsonLayout::Compact);
        case OutputFormat::Prometheus:
            return RenderPrometheus(snapshot);
        case OutputFormat::Table:
            break;
    }
    return RenderTable(snapshot, style);
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
    const unsigned long kind = ServiceApi::HandleKind(alert.handle);
    std::string reading = std::to_string(alert.reading) + " (raw)";
    if (information != nullptr) {
        const int64_t scale = kind == HandleKind_Fan ? 1 : 10;
        reading = FormatValue(static_cast<int64_t>(alert.reading) * scale, *information);
    }
    return FormatLocalClock(alert.at) + "  " + (alert.state != 0 ? "ASSERTED  " : "CLEARED   ") +
           FormatHandle(alert.handle) + "  " + ServiceApi::KindName(kind) + "  " + description +
           "  " + reading;
}

std::string SecondsText(double seconds) {
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text << seconds << " s";
    return text.str();
}

// One run's output: snapshots and alerts to standard output, a file, or the
// terminal's alternate screen.
class Run {
public:
    Run(const MonitorOptions& options, const MonitorStreams& streams)
        : m_Options(options), m_Streams(streams) {
        const bool terminal = streams.terminal != nullptr;
        m_bColor = options.color == ColorMode::Always ||
                   (options.color == ColorMode::Auto && terminal && !streams.noColor);
        const bool screen =
            terminal && options.format == OutputFormat::Table && options.outputFile.empty();
        m_bWatch = options.mode == RunMode::Watch || (options.mode == RunMode::Auto && screen);
        m_bInPlace = screen && m_bWatch;
    }

    ~Run() { LeaveScreen(); }

    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;

    bool Watch() const { return m_bWatch; }
    bool InPlace() const { return m_bInPlace; }

    // A failed start-up that is retried `seconds` from now; 0: none.
    void SetRetry(double seconds) {
        m_Style.retrySeconds = seconds;
        m_Style.nextRetry = std::chrono::system_clock::now() +
                            std::chrono::duration_cast<std::chrono::system_clock::duration>(
                                std::chrono::duration<double>(seconds));
    }

    // Writes one snapshot to its destination; false (and said on the error
    // stream) when it could not and the run must end.
    bool Emit(const Snapshot& snapshot) {
        m_Last = snapshot;
        if (m_bInPlace) {
            return Draw();
        }
        m_Style.color = m_bColor;
        const std::string text = Render(snapshot, m_Options.format, m_Style);
        if (!m_Options.outputFile.empty()) {
            return WriteFile(text);
        }
        return WriteOut(text);
    }

    bool Report(const Alert& alert) {
        const std::string line = DescribeAlert(alert, m_Last);
        if (m_bInPlace) {
            m_vHistory.push_back(line);
            if (m_vHistory.size() > kAlertHistory) {
                m_vHistory.erase(m_vHistory.begin());
            }
            return Draw();
        }
        // Keep machine-readable output clean: alerts go to the error stream
        // unless the output is the human table.
        if (m_Options.format == OutputFormat::Table && m_Options.outputFile.empty()) {
            return WriteOut(line + "\n");
        }
        std::fprintf(m_Streams.err, "%s\n", line.c_str());
        std::fflush(m_Streams.err);
        return true;
    }

    // Draws the last snapshot again when the terminal changed its size.
    bool RedrawIfResized() {
        if (m_bInPlace && m_Streams.terminal->TakeResized()) {
            return Draw();
        }
        return true;
    }

    void LeaveScreen() {
        if (m_Streams.terminal != nullptr) {
            m_Streams.terminal->Leave();
        }
    }

    // Closes standard output (unless it is the terminal's), where a write
    // the buffer held back may still fail. False also when the last write
    // of --output failed.
    bool Finish() {
        LeaveScreen();
        if (m_Streams.out == nullptr) {
            return m_nFileFailures == 0;
        }
        const bool flushed = std::fflush(m_Streams.out) == 0 && std::ferror(m_Streams.out) == 0;
        return (flushed || Failed("standard output")) && m_nFileFailures == 0;
    }

private:
    bool Draw() {
        ITerminal& terminal = *m_Streams.terminal;
        if (!terminal.Enter()) {
            return Failed("the terminal");
        }
        TerminalSize size;
        if (!terminal.Size(size)) {
            size = {80, 24};
        }
        m_Style.color = m_bColor;
        m_Style.maxWidth = size.columns;
        const std::string text = "svcproc-monitor  " + FormatLocalClock(m_Last.takenAt) +
                                 "  every " + SecondsText(m_Options.intervalSeconds) + "\n\n" +
                                 RenderTable(m_Last, m_Style);
        std::vector<std::string> lines = SplitLines(text);
        // The latest alerts that fit below the table.
        if (m_Last.startup == ServiceCode_Success && lines.size() + 2 < size.rows) {
            lines.push_back("");
            lines.push_back("Alerts:");
            const size_t room = size.rows - lines.size();
            if (m_vHistory.empty()) {
                lines.push_back("  (none yet)");
            }
            const size_t shown = std::min(room, m_vHistory.size());
            for (size_t i = m_vHistory.size() - shown; i < m_vHistory.size(); ++i) {
                lines.push_back("  " + m_vHistory[i]);
            }
        }
        if (!terminal.WriteFrame(ComposeFrame(lines, size))) {
            return Failed("the terminal");
        }
        return true;
    }

    bool WriteOut(const std::string& text) {
        const bool written = std::fwrite(text.data(), 1, text.size(), m_Streams.out) == text.size();
        if (!written || std::fflush(m_Streams.out) != 0) {
            return Failed("standard output");
        }
        return true;
    }

    // --output. A watch outlives a file it cannot write (a full disk, a
    // folder not there yet): it tries again at each refresh, says so once
    // per run of failures and again when a write succeeds, and ends with
    // status 74 only if the last one failed.
    bool WriteFile(const std::string& text) {
        const char* file = m_Options.outputFile.c_str();
        std::string error;
        if (WriteFileAtomically(m_Options.outputFile, text, &error)) {
            if (m_nFileFailures != 0) {
                std::fprintf(m_Streams.err, "svcproc-monitor: wrote %s again after %lu failed %s\n",
                             file, m_nFileFailures, m_nFileFailures == 1 ? "attempt" : "attempts");
                std::fflush(m_Streams.err);
            }
            m_nFileFailures = 0;
            return true;
        }
        if (m_nFileFailures++ == 0) {
            std::fprintf(m_Streams.err, "svcproc-monitor: cannot write %s: %s%s\n", file,
                         error.c_str(), m_bWatch ? " (trying again at each refresh)" : "");
            std::fflush(m_Streams.err);
        }
        return m_bWatch;
    }

    bool Failed(const char* what) {
        const int error = errno;
        if (!m_bFailed) {
            std::fprintf(m_Streams.err, "svcproc-monitor: cannot write %s: %s\n", what,
                         error != 0 ? std::strerror(error) : "write failed");
            m_bFailed = true;
        }
        return false;
    }

    const MonitorOptions& m_Options;
    const MonitorStreams& m_Streams;
    bool m_bColor = false;
    bool m_bWatch = false;
    bool m_bInPlace = false;
    bool m_bFailed = false;
    unsigned long m_nFileFailures = 0;  // consecutive failed writes of --output
    TableStyle m_Style;
    Snapshot m_Last;
    std::vector<std::string> m_vHistory;
};

// Waits until `deadline` unless stopped; redraws on resizes meanwhile.
// False when the output failed.
bool Pause(Run& run, const MonitorHooks& hooks, SteadyClock::time_point deadline,
           const std::atomic<bool>& stop) {
    while (!stop.load()) {
        const SteadyClock::time_point now = hooks.now();
        if (now >= deadline) {
            break;
        }
        hooks.sleepUntil(std::min(deadline, now + std::chrono::milliseconds(100)));
        if (!run.RedrawIfResized()) {
            return false;
        }
    }
    return true;
}

}  // namespace

void ExplainStartup(FILE* err, SERVICE_CODE startup) {
    const ServiceCodeAdvice text = DescribeServiceCode(startup);
    std::fprintf(err, "svcproc-monitor: start-up failed with %d (%s): %s\n  %s\n",
                 static_cast<int>(startup), text.name, text.meaning, text.advice);
}

SteadyClock::duration Seconds(double seconds) {
    return std::chrono::duration_cast<SteadyClock::duration>(
        std::chrono::duration<double>(seconds));
}

MonitorHooks DefaultMonitorHooks() {
    MonitorHooks hooks;
    hooks.initialise = [] { return ServiceApi::InitialiseServiceDriver(); };
    hooks.now = [] { return SteadyClock::now(); };
    hooks.sleepUntil = [](SteadyClock::time_point until) { std::this_thread::sleep_until(until); };
    return hooks;
}

bool ApplyLogOptions(const MonitorOptions& options, const MonitorStreams& streams) {
    if (options.logLevel >= 0) {
        LogSetLevel(options.logLevel);
    }
    std::string logFile;
    if (!PathForNarrowCall(options.logFile, logFile)) {
        std::fprintf(streams.err,
                     "svcproc-monitor: log file %s: the path has characters outside the "
                     "system's code page\n",
                     options.logFile.c_str());
        return false;
    }
    if (!logFile.empty() && LogSetFile(logFile.c_str()) != 0) {
        std::fprintf(streams.err, "svcproc-monitor: cannot open log file %s\n",
                     options.logFile.c_str());
        return false;
    }
    return true;
}

int RunMonitor(const MonitorOptions& options, const MonitorStreams& streams,
               const std::atomic<bool>& stop, const MonitorHooks& hooks) {
    CEventReporter events(streams.events, hooks.now);
    if (!ApplyLogOptions(options, streams)) {
        events.ConfigurationRefused("--log-file " + options.logFile + " cannot be used");
        return kExitOutput;
    }

    Run run(options, streams);
    const SteadyClock::duration interval = Seconds(options.intervalSeconds);
    const SteadyClock::time_point start = hooks.now();
    const SteadyClock::time_point end = options.durationSeconds < 0
                                            ? SteadyClock::time_point::max()
                                            : start + Seconds(options.durationSeconds);

    SERVICE_CODE startup = hooks.initialise();
    if (startup != ServiceCode_Success) {
        ExplainStartup(streams.err, startup);
        events.StartupFailed(startup);
        if (!run.Watch()) {
            // Scrapers and scripts still get a document that says so.
            if (options.format != OutputFormat::Table && !run.Emit(TakeInventory(startup))) {
                return kExitOutput;
            }
            return run.Finish() ? static_cast<int>(startup) : kExitOutput;
        }
        // A monitor started before the driver (at boot, say) waits for it.
        std::fprintf(streams.err, "svcproc-monitor: retrying every %s\n",
                     SecondsText(options.intervalSeconds).c_str());
        SERVICE_CODE reported = startup;
        while (startup != ServiceCode_Success) {
            const SteadyClock::time_point retry = hooks.now() + interval;
            run.SetRetry(options.intervalSeconds);
            if (!run.Emit(TakeInventory(startup)) ||
                !Pause(run, hooks, std::min(retry, end), stop)) {
                return kExitOutput;
            }
            if (stop.load() || hooks.now() >= end) {
                return run.Finish() ? static_cast<int>(startup) : kExitOutput;
            }
            startup = hooks.initialise();
            if (startup != reported && startup != ServiceCode_Success && !run.InPlace()) {
                ExplainStartup(streams.err, startup);
            }
            if (startup != ServiceCode_Success) {
                events.StartupFailed(startup);
            }
            reported = startup;
        }
        run.SetRetry(0);
        if (!run.InPlace()) {
            std::fprintf(streams.err, "svcproc-monitor: started\n");
        }
    }

    std::vector<std::string> refused;
    Snapshot snapshot = TakeInventory(startup, &options.selection, &refused);
    for (const std::string& message : refused) {
        std::fprintf(streams.err, "svcproc-monitor: %s\n", message.c_str());
    }
    if (!run.Watch()) {
        return run.Emit(snapshot) && run.Finish() ? 0 : kExitOutput;
    }

    events.Started(snapshot);
    events.Link(snapshot);
    AlertCollector alerts;
    ServiceApi::RegisterSensorStateListener(&alerts);
    int status = 0;
    SteadyClock::time_point nextRefresh = hooks.now();
    bool redraw = false;
    while (!stop.load() && hooks.now() < end) {
        const SteadyClock::time_point now = hooks.now();
        if (now >= nextRefresh) {
            RefreshReadings(snapshot);
            events.Link(snapshot);
            nextRefresh += interval;
            if (nextRefresh < now) {
                nextRefresh = now + interval;
            }
            redraw = true;
        }
        if (redraw && !run.Emit(snapshot)) {
            status = kExitOutput;
            break;
        }
        redraw = false;
        // Wake at least every 100 ms to notice a stop request or a resize.
        const SteadyClock::duration wait = std::min(
            {nextRefresh - now, end - now,
             std::chrono::duration_cast<SteadyClock::duration>(std::chrono::milliseconds(100))});
        for (const Alert& alert : alerts.WaitUntil(SteadyClock::now() + wait)) {
            events.Alert(alert.handle, alert.state != 0, alert.reading, snapshot);
            if (!run.Report(alert)) {
                status = kExitOutput;
                break;
            }
        }
        events.Tick();
        if (status != 0 || !run.RedrawIfResized()) {
            status = kExitOutput;
            break;
        }
    }
    // After this returns the listener is never called again, so it may go.
    ServiceApi::UnregisterSensorStateListener(&alerts);
    const bool finished = run.Finish();
    return status != 0 ? status : (finished ? 0 : kExitOutput);
}
