// The C interface's checks (CapiChecks.c, compiled as C) under Wine: this
// host sets up the simulated machine of the Windows end-to-end tests (the
// test WMI locator and the relay driver) and changes the chassis fan's
// reading to raise alerts; the checks use svcproc.dll through svcproc_c.h
// alone.
//
//   capi_wine_host [directory]
//
// loads svcproc.dll and its log.dll from the directory (an unpacked zip's
// bin), by default from beside this program, and unloads it before the
// machine stops: the polling thread then ends against a relay that still
// answers, and the driver is left with no exchange waiting for this process.
#include <chrono>
#include <cstdio>
#include <future>
#include <string>

#include "CapiChecks.h"
#include "CapiLoader.h"
#include "WineMachine.h"

namespace {

void SleepMs(unsigned milliseconds) {
    Sleep(milliseconds);
}

// Below the fan's critical threshold, then back to its nominal speed.
void ToggleChassisFan(void* host) {
    static bool low = false;
    low = !low;
    static_cast<CWineMachine*>(host)->ServiceProcessor().SetReading(svcpsim::SensorKind::Fan, 1,
                                                                    low ? 300 : 1980);
}

std::wstring LibraryDirectory(int argc, char** argv) {
    if (argc > 1) {
        std::wstring directory(MAX_PATH, L'\0');
        const int length = MultiByteToWideChar(CP_ACP, 0, argv[1], -1, &directory[0], MAX_PATH);
        directory.resize(length > 0 ? static_cast<size_t>(length - 1) : 0);
        return directory;
    }
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring program(path, length);
    return program.substr(0, program.find_last_of(L"\\/") + 1);
}

// FreeLibrary on another thread, so that a deadlock under the loader lock
// ends this program with a message rather than leaving it to the timeout.
bool UnloadWithin10s() {
    auto unloaded = std::async(std::launch::async, [] { return CapiUnloadLibrary() == 0; });
    if (unloaded.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        std::fprintf(stderr, "FreeLibrary deadlocked\n");
        std::fflush(stderr);
        TerminateProcess(GetCurrentProcess(), 3);
    }
    return unloaded.get();
}

}  // namespace

int main(int argc, char** argv) {
    UseTestWmiLocator();
    CWineMachine machine;
    if (!machine.IsReady() || CapiLoadLibrary(LibraryDirectory(argc, argv).c_str()) != 0) {
        return 2;
    }
    CapiHost host = {SleepMs, ToggleChassisFan, &machine, 30000u};
    int status = RunCapiChecks(&host) == 0 ? 0 : 1;
    if (!UnloadWithin10s()) {
        std::printf("FAILED: svcproc.dll still loaded after FreeLibrary\n");
        status = 1;
    }
    return status;
}
