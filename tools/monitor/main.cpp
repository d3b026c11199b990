// svcproc-monitor: the service processor's sensors and LEDs at a glance.
#include <atomic>
#include <cerrno>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "check/CheckReport.h"
#include "check/CheckRun.h"
#include "config/ConfigFile.h"
#include "events/EventReporter.h"
#include "events/EventSink.h"
#include "exporter/Exporter.h"
#include "run/CommandLine.h"
#include "run/Monitor.h"
#include "run/MonitorOptions.h"
#include "run/ServiceEntry.h"
#include "run/StopSignal.h"
#include "simulation/Simulation.h"
#include "terminal/Console.h"
#include "terminal/Terminal.h"

namespace {

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

int UsageError(const std::string& error, int status = kExitUsage) {
    std::fprintf(stderr, "svcproc-monitor: %s\nTry 'svcproc-monitor --help'.\n", error.c_str());
    if (status == Check_Unknown) {
        std::fputs(UnknownResult(error).text.c_str(), stdout);
    }
    return status;
}

// A service's refused command line goes to the system's log too: its
// standard error may be read by no one.
void ReportRefusalToServiceManager(const std::string& error) {
    std::string ignored;
    if (!StartedByServiceManager()) {
        return;
    }
    const std::unique_ptr<IEventSink> systemLog = OpenSystemLog(ignored);
    CEventReporter(systemLog.get(), [] {
        return std::chrono::steady_clock::now();
    }).ConfigurationRefused(error);
}

// --system-log: null when not asked for, or (auto) when the log is not there.
// False, said on standard error, when it was asked for and is not there.
bool OpenAskedSystemLog(const MonitorOptions& options, std::unique_ptr<IEventSink>& systemLog) {
    if (options.systemLog == SystemLogMode::Never ||
        (options.systemLog == SystemLogMode::Auto && !StartedByServiceManager())) {
        return true;
    }
    std::string error;
    systemLog = OpenSystemLog(error);
    if (!systemLog) {
        std::fprintf(stderr, "svcproc-monitor: --system-log: %s\n", error.c_str());
        return options.systemLog != SystemLogMode::Always;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    // Descriptions are converted from the machine's code page.
    std::setlocale(LC_ALL, "");
    PrepareConsole();
    std::vector<std::string> arguments = CommandLineArguments(argc, argv);
    std::vector<char*> utf8Argv;
    for (std::string& argument : arguments) {
        utf8Argv.push_back(argument.data());
    }
    utf8Argv.push_back(nullptr);
    argc = static_cast<int>(arguments.size());
    argv = utf8Argv.data();
    MonitorOptions options;
    std::string error;
    int status = 0;
    if (RunServiceCommand(argc, argv, status, error)) {
        return error.empty() ? status : UsageError(error);
    }
    if (!ParseMonitorOptions(argc, argv, options, error)) {
        ReportRefusalToServiceManager(error);
        return UsageError(error, UsageExitStatus(argc, argv));
    }
    if (!options.configFile.empty()) {
        MonitorConfig config;
        if (!LoadMonitorConfig(options.configFile, config, error) ||
            !ApplyMonitorConfig(config, argc, argv, options, error)) {
            ReportRefusalToServiceManager(error);
            return UsageError(error, options.check ? Check_Unknown : kExitUsage);
        }
    }
    // A monitoring agent reads only 0 to 3 from a check.
    const int usageStatus = options.check ? Check_Unknown : kExitUsage;
    if (options.help || options.version) {
        std::string text = options.help ? MonitorUsage() + ServiceUsage() : MonitorVersion() + "\n";
        std::fputs(text.c_str(), stdout);
        return CloseStandardOutput(0);
    }
    std::unique_ptr<IEventSink> systemLog;
    if (!OpenAskedSystemLog(options, systemLog)) {
        return options.check ? Check_Unknown : kExitOutput;
    }
    std::atomic<bool>& stop = InstallStopHandlers();

    SimulatedMachineRun simulation;
    std::string simulationFile;
    if (!PathForNarrowCall(options.simulationFile, simulationFile)) {
        return UsageError("--simulate: the path has characters outside the system's code page",
                          usageStatus);
    }
    if (options.simulate && !simulation.Start(simulationFile, error)) {
        std::fprintf(stderr, "svcproc-monitor: %s\n", error.c_str());
        if (options.check) {
            std::fputs(UnknownResult(error).text.c_str(), stdout);
        }
        return CloseStandardOutput(usageStatus);
    }
    if (options.check) {
        MonitorStreams streams;
        const int answer = RunCheck(options, streams);
        return CloseStandardOutput(answer) == answer ? answer : Check_Unknown;
    }
    const std::unique_ptr<ITerminal> terminal = OpenTerminal(stdout);
    MonitorStreams streams;
    streams.terminal = terminal.get();
    streams.events = systemLog.get();
    const char* noColor = std::getenv("NO_COLOR");
    streams.noColor = noColor != nullptr && *noColor != '\0';
    status = options.listen.empty() ? RunMonitor(options, streams, stop)
                                    : RunExporter(options, streams, stop);
    return CloseStandardOutput(status);
}
