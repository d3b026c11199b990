// svcproc-monitor: the service processor's sensors and LEDs at a glance.
#include <unistd.h>

#include <atomic>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <string>

#include "Monitor.h"
#include "MonitorOptions.h"
#include "Simulation.h"

namespace {

std::atomic<bool> g_stop{false};

void RequestStop(int) {
    g_stop.store(true);
}

}  // namespace

int main(int argc, char** argv) {
    // Descriptions are converted from the machine's code page.
    std::setlocale(LC_ALL, "");
    MonitorOptions options;
    std::string error;
    if (!ParseMonitorOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "svcproc-monitor: %s\n%s", error.c_str(), MonitorUsage());
        return kExitUsage;
    }
    if (options.help) {
        std::fputs(MonitorUsage(), stdout);
        return 0;
    }
    std::signal(SIGINT, &RequestStop);
    std::signal(SIGTERM, &RequestStop);

    SimulatedMachineRun simulation;
    if (options.simulate && !simulation.Start(options.simulationFile, error)) {
        std::fprintf(stderr, "svcproc-monitor: %s\n", error.c_str());
        return kExitUsage;
    }
    MonitorStreams streams;
    streams.outIsTerminal = isatty(fileno(stdout)) != 0;
    return RunMonitor(options, streams, g_stop);
}
