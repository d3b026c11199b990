// The Windows side of run/ServiceEntry.h: "--service install|uninstall|run".
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "config/ConfigFile.h"
#include "events/EventReporter.h"
#include "events/EventSink.h"
#include "exporter/EndpointSecurity.h"
#include "exporter/Exporter.h"
#include "run/Monitor.h"
#include "run/MonitorOptions.h"
#include "run/ServiceEntry.h"
#include "windows/WindowsService.h"

namespace {

const char* const kServiceUsage =
    "\n"
    "Windows service (svcproc-exporter: delayed automatic start, account\n"
    "NT SERVICE\\svcproc-exporter with a restricted SID, restarted after a failure):\n"
    "  svcproc-monitor --service install OPTIONS   register it; it runs the monitor with\n"
    "                                              OPTIONS: --listen [ADDR:]PORT and/or\n"
    "                                              --watch --output FILE (absolute paths)\n"
    "  svcproc-monitor --service uninstall         stop and remove it\n"
    "The install is refused when ordinary users can change the program's folder.\n"
    "Start and stop it with 'sc start svcproc-exporter' and 'sc stop svcproc-exporter'.\n";

// The options a service runs with, from its command line after
// "--service install|run": refused unless it serves a port or writes a file,
// as a service has no console.
bool ParseServiceOptions(int argc, char** argv, MonitorOptions& options, std::string& error) {
    std::vector<const char*> arguments{argv[0]};
    for (int i = 3; i < argc; ++i) {
        arguments.push_back(argv[i]);
    }
    const int count = static_cast<int>(arguments.size());
    if (!ParseMonitorOptions(count, arguments.data(), options, error)) {
        return false;
    }
    // Read again at every start of the service, so an edited file takes
    // effect with a restart.
    MonitorConfig config;
    if (!options.configFile.empty() &&
        (!LoadMonitorConfig(options.configFile, config, error) ||
         !ApplyMonitorConfig(config, count, arguments.data(), options, error))) {
        return false;
    }
    if (options.help || options.version || options.simulate || options.check) {
        error =
            "--service takes the options of a run, not --help, --version, --simulate or "
            "--check";
        return false;
    }
    if (options.listen.empty() && (options.outputFile.empty() || options.mode != RunMode::Watch)) {
        error = "a service needs --listen [ADDR:]PORT or --watch --output FILE";
        return false;
    }
    // A web configuration this build cannot serve (TLS, users) is refused
    // here too, so that an install fails at once rather than every start.
    MetricsSecurity security;
    bool tls = false;
    if (!options.webConfigFile.empty() &&
        !LoadEndpointSecurity(options.webConfigFile, stderr, security, tls, error)) {
        return false;
    }
    return true;
}

// The run under the service control manager: no console, so the standard
// streams' text goes nowhere; the exit status reaches the manager.
int RunService(const MonitorOptions& options, std::atomic<bool>& stop) {
    FILE* nowhere = std::fopen("NUL", "wb");
    std::string error;
    const std::unique_ptr<IEventSink> systemLog =
        options.systemLog == SystemLogMode::Never ? nullptr : OpenSystemLog(error);
    MonitorStreams streams;
    streams.events = systemLog.get();
    streams.out = nowhere != nullptr ? nowhere : stdout;
    streams.err = streams.out;
    const int status = options.listen.empty() ? RunMonitor(options, streams, stop)
                                              : RunExporter(options, streams, stop);
    if (nowhere != nullptr) {
        std::fclose(nowhere);
    }
    return status;
}

}  // namespace

bool RunServiceCommand(int argc, char** argv, int& status, std::string& error) {
    if (argc <= 1 || std::strcmp(argv[1], "--service") != 0) {
        return false;
    }
    MonitorOptions options;
    const bool withOptions =
        argc > 2 && (std::strcmp(argv[2], "install") == 0 || std::strcmp(argv[2], "run") == 0);
    if (withOptions && !ParseServiceOptions(argc, argv, options, error)) {
        if (std::strcmp(argv[2], "run") == 0) {
            // No console: the system's log is where an operator looks.
            std::string ignored;
            const std::unique_ptr<IEventSink> systemLog = OpenSystemLog(ignored);
            CEventReporter(systemLog.get(), [] {
                return std::chrono::steady_clock::now();
            }).ConfigurationRefused(error);
        }
        status = kExitUsage;
        return true;
    }
    status = 0;
    monitor_service::HandleServiceCommand(
        argc, argv, [&options](std::atomic<bool>& stop) { return RunService(options, stop); },
        status);
    return true;
}

std::string ServiceUsage() {
    return kServiceUsage;
}
