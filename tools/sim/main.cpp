// svcproc-sim: a simulated machine served to the other processes of this
// machine (socket_devices.h), as a driver serves a real one.
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "DefaultMachine.h"
#include "SimDevice.h"
#include "SimOptions.h"
#include "SimulatedMachine.h"
#include "SimulationClock.h"
#include "socket_devices.h"

namespace {

std::string Reading(svcpsim::SensorKind kind, int32_t value) {
    char text[32];
    switch (kind) {
        case svcpsim::SensorKind::Voltage:
            std::snprintf(text, sizeof text, "%.3f V", value / 1000.0);
            break;
        case svcpsim::SensorKind::Fan:
            std::snprintf(text, sizeof text, "%" PRId32 " RPM", value);
            break;
        case svcpsim::SensorKind::Temperature:
            std::snprintf(text, sizeof text,
                          "%.1f \xC2\xB0"
                          "C",
                          value / 10.0);
            break;
    }
    return text;
}

std::string Summary(const svcpsim::MachinePlan& plan) {
    size_t counts[svcpsim::kSensorKinds] = {};
    for (const svcpsim::SensorPlan& sensor : plan.sensors) {
        ++counts[svcpsim::KindIndex(sensor.kind)];
    }
    return std::to_string(counts[0]) + " voltages, " + std::to_string(counts[1]) + " fans, " +
           std::to_string(counts[2]) + " temperatures, " + std::to_string(plan.leds.size()) +
           " LEDs";
}

// The server makes the device directory, but only the last level of it: a
// missing parent is a mistyped name, not something to create.
bool ParentExists(const std::string& directory, std::string* error) {
    std::string parent = directory;
    while (parent.size() > 1 && parent.back() == '/') {
        parent.pop_back();
    }
    const size_t slash = parent.rfind('/');
    parent = slash == std::string::npos ? "." : parent.substr(0, slash == 0 ? 1 : slash);
    struct stat info {};
    if (stat(parent.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        *error = "cannot serve in " + directory + ": " + parent + " is not a directory";
        return false;
    }
    return true;
}

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());  // device paths are ASCII
}

}  // namespace

int main(int argc, char** argv) {
    SimOptions options;
    std::string error;
    if (!ParseSimOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "svcproc-sim: %s\nTry svcproc-sim --help.\n", error.c_str());
        return kSimExitUsage;
    }
    if (options.help) {
        std::fputs(SimUsage().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("%s\n", SimVersion().c_str());
        return 0;
    }
    svcpsim::MachineDescription description;
    if (!svcpsim::LoadMachine(options.machineFile, &description, &error)) {
        std::fprintf(stderr, "svcproc-sim: %s\n", error.c_str());
        return kSimExitUsage;
    }
    const std::string directory =
        options.deviceDirectory.empty() ? svcp::GetDeviceDirectory() : options.deviceDirectory;
    if (directory.empty()) {
        std::fprintf(stderr, "svcproc-sim: no device directory (SVCP_DEVICE_DIR is empty)\n");
        return kSimExitUnavailable;
    }
    if (!ParentExists(directory, &error)) {
        std::fprintf(stderr, "svcproc-sim: %s\n", error.c_str());
        return kSimExitUnavailable;
    }
    // Signals are taken by the main thread's wait below; every thread
    // started from here on inherits the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    svcpsim::CSimulatedMachine machine(svcpsim::PlanMachine(description));
    svcp::SocketDeviceServer::Device device;
    device.interfaceClass = svcpsim::kSimInterfaceClass;
    device.path = svcpsim::SimDevicePath(options.instance);
    device.driver = svcpsim::MakeSimDriver(machine.ServiceProcessor());
    device.smbiosTable = machine.Table();
    // What it refused from clients (a flood of connections, descriptors or
    // threads run out) is said on standard error, at most every 10 s.
    svcp::SocketDeviceServer::Limits limits;
    limits.report = [](const std::string& text) {
        std::fprintf(stderr, "svcproc-sim: %s\n", text.c_str());
    };
    std::unique_ptr<svcp::SocketDeviceServer> server = svcp::SocketDeviceServer::Start(
        directory, "svcproc-sim-" + std::to_string(options.instance), device, limits, &error);
    if (!server) {
        std::fprintf(stderr, "svcproc-sim: %s\n", error.c_str());
        return kSimExitUnavailable;
    }
    const std::string name = machine.Plan().name.empty() ? "machine" : machine.Plan().name;
    std::printf("svcproc-sim: %s (%s): %s\n", name.c_str(),
                options.machineFile.empty() ? "built in" : options.machineFile.c_str(),
                Summary(machine.Plan()).c_str());
    std::printf("svcproc-sim: serving %s on %s\n", Narrow(device.path).c_str(),
                server->SocketPath().c_str());
    std::fflush(stdout);

    const bool quiet = options.quiet;
    svcpsim::CSimulationClock clock([&machine, quiet](double seconds) {
        for (const svcpsim::SensorStateChange& change : machine.AdvanceTo(seconds)) {
            if (!quiet) {
                std::printf("svcproc-sim: %7.2f s  %-24s %-8s %s\n", seconds,
                            change.sensor->description.c_str(), change.critical ? "CRITICAL" : "ok",
                            Reading(change.sensor->kind, change.reading).c_str());
                std::fflush(stdout);
            }
        }
    });
    try {
        clock.Start();
    } catch (const std::system_error& failure) {
        std::fprintf(stderr, "svcproc-sim: cannot start the machine's clock: %s\n",
                     failure.what());
        return kSimExitUnavailable;
    }

    // Until a stop signal or the end of the run.
    const timespec started = [] {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        return now;
    }();
    while (true) {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        const double elapsed = static_cast<double>(now.tv_sec - started.tv_sec) +
                               (now.tv_nsec - started.tv_nsec) / 1e9;
        if (options.durationSeconds >= 0 && elapsed >= options.durationSeconds) {
            break;
        }
        const timespec wait = {0, 100 * 1000 * 1000};
        const int signal = sigtimedwait(&stopSignals, nullptr, &wait);
        if (signal == SIGINT || signal == SIGTERM) {
            break;
        }
    }
    clock.Stop();
    server->Stop();
    std::printf("svcproc-sim: stopped\n");
    return 0;
}
