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

#include "Exporter.h"
#include "Monitor.h"
#include "MonitorOptions.h"
#include "Simulation.h"
#include "Terminal.h"

namespace {

std::atomic<bool> g_stop{false};

void RequestStop(int) {
    g_stop.store(true);
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

}  // namespace

int main(int argc, char** argv) {
    // Descriptions are converted from the machine's code page.
    std::setlocale(LC_ALL, "");
    MonitorOptions options;
    std::string error;
    if (!ParseMonitorOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "svcproc-monitor: %s\nTry 'svcproc-monitor --help'.\n", error.c_str());
        return kExitUsage;
    }
    if (options.help || options.version) {
        const std::string text = options.help ? MonitorUsage() : MonitorVersion() + "\n";
        std::fputs(text.c_str(), stdout);
        return CloseStandardOutput(0);
    }
    std::signal(SIGINT, &RequestStop);
    std::signal(SIGTERM, &RequestStop);

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
