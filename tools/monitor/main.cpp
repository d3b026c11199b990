// svcproc-monitor: the service processor's sensors and LEDs at a glance.
#include <atomic>
#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Console.h"
#include "Exporter.h"
#include "Monitor.h"
#include "MonitorOptions.h"
#include "Simulation.h"
#include "Terminal.h"
#ifdef _WIN32
#include <windows.h>

#include "WindowsService.h"
#endif

namespace {

std::atomic<bool> g_stop{false};

void RequestStop(int) {
    g_stop.store(true);
}

void InstallStopHandlers() {
#ifdef _WIN32
    std::signal(SIGINT, &RequestStop);
    std::signal(SIGTERM, &RequestStop);
#else
    // Interrupted writes and waits resume: a stop arriving in the middle of a
    // frame must not turn into an output error.
    struct sigaction action {};
    action.sa_handler = &RequestStop;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
#endif
}

// Standard output closed with its last buffered bytes: a full disk or a
// closed pipe shows here at the latest.
int CloseStandardOutput(int status) {
    if (std::fclose(stdout) != 0 && status == 0) {
        std::fprintf(stderr, "svcproc-monitor: cannot write standard output: %s\n",
                     std::strerror(errno));
        return kExitOutput;
    }
    return status;
}

int UsageError(const std::string& error) {
    std::fprintf(stderr, "svcproc-monitor: %s\nTry 'svcproc-monitor --help'.\n", error.c_str());
    return kExitUsage;
}

#ifdef _WIN32
const char* const kServiceUsage =
    "\n"
    "Windows service (svcproc-exporter, started with the system, as LocalSystem):\n"
    "  svcproc-monitor --service install OPTIONS   register it; it runs the monitor with\n"
    "                                              OPTIONS: --listen [ADDR:]PORT and/or\n"
    "                                              --watch --output FILE (absolute paths)\n"
    "  svcproc-monitor --service uninstall         stop and remove it\n"
    "Start and stop it with 'sc start svcproc-exporter' and 'sc stop svcproc-exporter'.\n";

// The options a service runs with, from its command line after
// "--service install|run": refused unless it serves a port or writes a file,
// as a service has no console.
bool ParseServiceOptions(int argc, char** argv, MonitorOptions& options, std::string& error) {
    std::vector<const char*> arguments{argv[0]};
    for (int i = 3; i < argc; ++i) {
        arguments.push_back(argv[i]);
    }
    if (!ParseMonitorOptions(static_cast<int>(arguments.size()), arguments.data(), options,
                             error)) {
        return false;
    }
    if (options.help || options.version || options.simulate) {
        error = "--service takes the options of a run, not --help, --version or --simulate";
        return false;
    }
    if (options.listen.empty() && (options.outputFile.empty() || options.mode != RunMode::Watch)) {
        error = "a service needs --listen [ADDR:]PORT or --watch --output FILE";
        return false;
    }
    return true;
}

// The run under the service control manager: no console, so the standard
// streams' text goes nowhere; the exit status reaches the manager.
int RunService(const MonitorOptions& options, std::atomic<bool>& stop) {
    FILE* nowhere = std::fopen("NUL", "wb");
    MonitorStreams streams;
    streams.out = nowhere != nullptr ? nowhere : stdout;
    streams.err = streams.out;
    const int status = options.listen.empty() ? RunMonitor(options, streams, stop)
                                              : RunExporter(options, streams, stop);
    if (nowhere != nullptr) {
        std::fclose(nowhere);
    }
    return status;
}
#endif

}  // namespace

int main(int argc, char** argv) {
    // Descriptions are converted from the machine's code page.
    std::setlocale(LC_ALL, "");
    PrepareConsole();
    MonitorOptions options;
    std::string error;
#ifdef _WIN32
    if (argc > 1 && std::strcmp(argv[1], "--service") == 0) {
        const bool withOptions =
            argc > 2 && (std::strcmp(argv[2], "install") == 0 || std::strcmp(argv[2], "run") == 0);
        if (withOptions && !ParseServiceOptions(argc, argv, options, error)) {
            return UsageError(error);
        }
        int status = 0;
        monitor_service::HandleServiceCommand(
            argc, argv, [&options](std::atomic<bool>& stop) { return RunService(options, stop); },
            status);
        return status;
    }
#endif
    if (!ParseMonitorOptions(argc, argv, options, error)) {
        return UsageError(error);
    }
    if (options.help || options.version) {
        std::string text = options.help ? MonitorUsage() : MonitorVersion() + "\n";
#ifdef _WIN32
        if (options.help) {
            text += kServiceUsage;
        }
#endif
        std::fputs(text.c_str(), stdout);
        return CloseStandardOutput(0);
    }
    InstallStopHandlers();

    SimulatedMachineRun simulation;
    if (options.simulate && !simulation.Start(options.simulationFile, error)) {
        std::fprintf(stderr, "svcproc-monitor: %s\n", error.c_str());
        return kExitUsage;
    }
    const std::unique_ptr<ITerminal> terminal = OpenTerminal(stdout);
    MonitorStreams streams;
    streams.terminal = terminal.get();
    const char* noColor = std::getenv("NO_COLOR");
    streams.noColor = noColor != nullptr && *noColor != '\0';
    const int status = options.listen.empty() ? RunMonitor(options, streams, g_stop)
                                              : RunExporter(options, streams, g_stop);
    return CloseStandardOutput(status);
}
