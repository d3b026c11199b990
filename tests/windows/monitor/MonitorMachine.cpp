// The simulated machine the Windows monitor runs against, as a process of
// its own: it writes the SMBIOS table, points the prefix's WMI locator at the
// test locator (which reads the table from the path it leaves in the
// registry, so that a service started by the service control manager finds
// it too) and answers the relay driver's exchanges until told to quit.
//   svcp_monitor_machine.exe TABLE_PATH
// Commands, one a line on standard input, each acknowledged with "ok" (or
// "error ...") on standard output:
//   alert    the chassis fan drops to 300 RPM (below its 500 RPM limit)
//   clear    it runs at 1980 RPM again
//   detach   the service processor stops answering (exchanges fail)
//   attach   it answers again
//   quit     (or end of input) ends the process
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "WineMachine.h"
#include "relay/SimRelayHost.h"
#include "sim/smbios/SmbiosTableBuilder.h"

namespace {

// The descriptions are in the machine's ANSI code page (1252 here), as the
// SMBIOS strings of a real machine are: "Température CPU" tests the
// conversion to the monitor's UTF-8.
std::vector<uint8_t> BuildTable() {
    using namespace svcp::sim;
    SmbiosTableBuilder builder;
    BiosInformation bios;
    bios.vendor = "Orvane";
    bios.version = "85.12";
    builder.AddBiosInformation(bios);
    ManagementDevice device;
    device.description = "Orvane Telk Service Processor";
    device.address = 0x2B0;
    builder.AddManagementDevice(device);
    const uint16_t deviceHandle = builder.LastHandle();
    auto link = [&](const std::string& description, uint16_t component,
                    const std::array<uint16_t, 6>& limits) {
        builder.AddComponentWithThresholds(description, deviceHandle, component, limits);
    };
    const uint16_t u = kSmbiosUnknownWord;
    Probe volts;
    volts.description = "+12V";
    builder.AddVoltageProbe(volts);
    link("+12V", builder.LastHandle(), {11400, 12600, 10800, 13200, u, u});
    const char* const fans[] = {"CPU Fan", "Chassis Fan"};
    for (uint32_t index = 0; index < 2; ++index) {
        CoolingDevice fan;
        fan.oemDefined = index;
        builder.AddCoolingDevice(fan);
        link(fans[index], builder.LastHandle(), {u, u, 500, u, u, u});
    }
    Probe cpu;
    cpu.description = "Temp\xE9rature CPU";
    builder.AddTemperatureProbe(cpu);
    link(cpu.description, builder.LastHandle(), {u, u, u, 850, u, u});
    builder.AddLed({std::nullopt, 0x0001, "Power"});
    builder.AddLed({std::nullopt, 0x0002, "Fault"});
    return builder.AddEndOfTable().Build();
}

svcpsim::MachineSetup Setup() {
    svcpsim::MachineSetup setup;
    setup.voltages = {{12000, {10800, 13200}}};
    setup.fans = {{2400, {500, std::nullopt}}, {1980, {500, std::nullopt}}};
    setup.temperatures = {{415, {std::nullopt, 850}}};
    setup.leds = 0x0001;
    return setup;
}

bool WriteTable(const std::string& path) {
    const std::vector<uint8_t> table = BuildTable();
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(table.data()),
               static_cast<std::streamsize>(table.size()));
    return static_cast<bool>(file);
}

// Where the test locator looks when its process has no
// SVCP_TEST_SMBIOS_TABLE (a service's environment is the service control
// manager's).
bool SetTablePathInRegistry(const std::wstring& path) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\svcproc-tests", 0, nullptr, 0,
                        KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const LSTATUS status =
        RegSetValueExW(key, L"SmbiosTable", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                       static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

void Say(const std::string& text) {
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s TABLE_PATH\n", argv[0]);
        return 2;
    }
    if (!WriteTable(argv[1])) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    const std::wstring path(argv[1], argv[1] + std::char_traits<char>::length(argv[1]));
    if (!SetTablePathInRegistry(path)) {
        std::fprintf(stderr, "cannot record the table's path in the registry\n");
        return 1;
    }
    UseTestWmiLocator();
    auto serviceProcessor = std::make_shared<svcpsim::CSimServiceProcessor>(Setup());
    svcpsim::CSimRelayHost host(serviceProcessor);
    if (!host.Start()) {
        std::fprintf(stderr, "cannot attach to the relay driver (error %lu)\n", GetLastError());
        return 1;
    }
    Say("ready");
    std::string command;
    while (std::getline(std::cin, command)) {
        if (!command.empty() && command.back() == '\r') {
            command.pop_back();
        }
        if (command == "alert" || command == "clear") {
            serviceProcessor->SetReading(svcpsim::SensorKind::Fan, 1,
                                         command == "alert" ? 300 : 1980);
        } else if (command == "detach") {
            host.Stop();
        } else if (command == "attach") {
            if (!host.Start()) {
                Say("error attach " + std::to_string(GetLastError()));
                continue;
            }
        } else if (command == "quit") {
            break;
        } else {
            Say("error unknown command " + command);
            continue;
        }
        Say("ok");
    }
    host.Stop();
    return 0;
}
