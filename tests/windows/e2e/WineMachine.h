// The machine of the end-to-end tests under Wine: an SMBIOS table served by
// the test WMI locator (wmi/TestWbemLocator.cpp, registered in the prefix
// for the test's duration) and the simulated service processor answering
// through the relay driver. The library itself is support/process's
// LoadedLibrary.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "SimServiceProcessor.h"
#include "platform.h"
#include "relay/SimRelayHost.h"

// Which WMI locator the prefix's CLSID_WbemLocator names: the test's, or
// Wine's own wbemprox. Set in the registry before the library's first COM
// call of the process.
void UseTestWmiLocator();
void UseWineWmiLocator();

// Two voltages (+12 V at index 0, CPU core at 1), two fans, one temperature
// and three LEDs (Power 0x1, Fault 0x2, Disk 0x4), with the simulated
// service processor set up to match and a relay host attached.
class CWineMachine {
public:
    CWineMachine();
    ~CWineMachine();

    bool IsReady() const { return m_bReady; }
    svcpsim::CSimServiceProcessor& ServiceProcessor() { return *m_pServiceProcessor; }

private:
    std::shared_ptr<svcpsim::CSimServiceProcessor> m_pServiceProcessor;
    std::unique_ptr<svcpsim::CSimRelayHost> m_pHost;
    std::wstring m_sTablePath;
    bool m_bReady = false;
};
