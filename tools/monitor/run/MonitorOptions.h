// Command line of svcproc-monitor.
#pragma once

#include <string>
#include <vector>

#include "snapshot/SensorSelection.h"

enum class OutputFormat { Table, Json, Ndjson, Prometheus };
enum class RunMode { Auto, Once, Watch };
enum class ColorMode { Auto, Always, Never };
// Events in the system's log (events/): Auto when run as a service.
enum class SystemLogMode { Auto, Always, Never };

// Bounds of the time options, in seconds.
constexpr double kMinIntervalSeconds = 0.05;
constexpr double kMaxIntervalSeconds = 86400;          // a day
constexpr double kMaxDurationSeconds = 31536000 * 10;  // ten years

// Bounds of --check's --timeout, in seconds.
constexpr double kMaxCheckTimeoutSeconds = 3600;

// Bounds of the exporter's options.
constexpr size_t kMaxTelemetryPathLength = 256;
constexpr int kMaxScrapeRequests = 10000;
constexpr int kDefaultScrapeRequests = 40;

struct MonitorOptions {
    OutputFormat format = OutputFormat::Table;
    RunMode mode = RunMode::Auto;  // Auto: watch on a terminal, else once
    double durationSeconds = -1;   // < 0: until interrupted
    double intervalSeconds = 1.0;
    std::string outputFile;  // empty: standard output
    int logLevel = -1;       // < 0: the logging library's own setting
    std::string logFile;
    bool simulate = false;
    std::string simulationFile;  // empty: the embedded default machine
    ColorMode color = ColorMode::Auto;
    bool help = false;
    bool version = false;
    // Every --listen or --web.listen-address [ADDR:]PORT, in order; empty:
    // no metrics endpoint.
    std::vector<std::string> listen;
    std::string telemetryPath = "/metrics";
    int maxRequests = kDefaultScrapeRequests;  // parallel scrapes; 0: no limit of its own
    std::vector<std::string> allowedHosts;     // empty: any Host
    // --web.config.file: TLS, basic authentication, answer headers; empty:
    // plain HTTP to anyone.
    std::string webConfigFile;
    // --system-log: alerts, the link and start-up as events in the Event Log
    // or the journal.
    SystemLogMode systemLog = SystemLogMode::Auto;
    // --check: answer once as a monitoring plugin (check/).
    bool check = false;
    double timeoutSeconds = 10;  // --timeout
    bool warningOnly = false;
    bool verbose = false;  // -v
    // --include and --exclude description globs, and --config.file's
    // sensors section: the entries every format shows.
    std::vector<std::string> includeGlobs;
    std::vector<std::string> excludeGlobs;
    std::string configFile;
    SensorSelection selection;
};

// The long and short names, without dashes, of every option argv gives
// ("interval", "listen" and "web.listen-address" for either); empty when it
// does not parse.
std::vector<std::string> MonitorOptionsGiven(int argc, const char* const* argv);

// Whether the option `name` (a long name without dashes) may be given more
// than once, each value kept (--listen, --include...).
bool MonitorOptionRepeatable(const std::string& name);

// The exit status of a usage error: 3 (UNKNOWN) when argv asks for --check,
// else 64.
int UsageExitStatus(int argc, const char* const* argv);

// Parses argv; on failure returns false with a one-line message. Numbers are
// plain decimals ("0.5", "12"), whatever the locale.
bool ParseMonitorOptions(int argc, const char* const* argv, MonitorOptions& options,
                         std::string& error);
// The --help text, exit statuses included.
std::string MonitorUsage();
// "svcproc-monitor 2.1.0".
std::string MonitorVersion();
