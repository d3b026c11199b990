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

#include "TestMachineTable.h"
#include "WineMachine.h"
#include "relay/SimRelayHost.h"

namespace {

// The standard small machine without the CPU core voltage and the disk LED.
// The descriptions are in the machine's ANSI code page (1252 here), as the
// SMBIOS strings of a real machine are: "Température CPU" tests the
// conversion to the monitor's UTF-8.
TestMachineSpec Machine() {
    TestMachineSpec spec = TestMachineSpec::Small();
    spec.sensors.erase(spec.sensors.begin() + 1);  // CPU Core
    spec.sensors.back().description = "Temp\xE9rature CPU";
    spec.leds.pop_back();  // Disk
    spec.ledWord = 0x0001;
    return spec;
}

bool WriteTable(const std::string& path) {
    const std::vector<uint8_t> table = BuildTestTable(Machine());
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
    auto serviceProcessor =
        std::make_shared<svcpsim::CSimServiceProcessor>(BuildTestSetup(Machine()));
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
