// The C interface's checks (CapiChecks.c, compiled as C) under Wine: this
// host sets up the simulated machine of the Windows end-to-end tests (the
// test WMI locator and the relay driver) and changes the chassis fan's
// reading to raise alerts; the checks use svcproc.dll through svcproc_c.h
// alone.
#include <cstdio>

#include "CapiChecks.h"
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

}  // namespace

int main() {
    UseTestWmiLocator();
    CWineMachine machine;
    if (!machine.IsReady()) {
        return 2;
    }
    CapiHost host = {SleepMs, ToggleChassisFan, &machine, 30000u};
    const int status = RunCapiChecks(&host) == 0 ? 0 : 1;
    // svcproc.dll is linked implicitly, so it would be unloaded after this
    // machine is destroyed: its polling thread would then wait for a relay
    // that no longer answers. Unload while the machine still runs is the
    // end-to-end suite's test (FreeLibrary while polling); here the process
    // ends without running destructors.
    std::fflush(stdout);
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
    return status;
}
