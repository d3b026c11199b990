// The machine of the end-to-end tests under Wine: the library loaded with
// LoadLibrary, an SMBIOS table served by the test WMI locator
// (wmi/TestWbemLocator.cpp, registered in the prefix for the test's
// duration) and the simulated service processor answering through the relay
// driver.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "SimServiceProcessor.h"
#include "platform.h"
#include "relay/SimRelayHost.h"
#include "svcproc/api/ServiceApi.h"

// svcproc.dll from beside the test program, its nine functions found by their
// (mingw-w64 C++) names. Unloads on destruction.
class CLoadedLibrary {
public:
    CLoadedLibrary();
    ~CLoadedLibrary();
    CLoadedLibrary(const CLoadedLibrary&) = delete;
    CLoadedLibrary& operator=(const CLoadedLibrary&) = delete;

    bool IsComplete() const;  // loaded and all nine found
    // FreeLibrary; true when the module is gone from the process.
    bool Unload();
    static bool IsLoaded();

    SERVICE_CODE (*InitialiseServiceDriver)() = nullptr;
    SERVICE_CODE (*EnumerateSensorHandles)(CSensorHandleList&) = nullptr;
    SERVICE_CODE (*EnumerateLedHandles)(CLedHandleList&) = nullptr;
    SERVICE_CODE (*GetSensorInformation)(unsigned long, CSensorInformation&) = nullptr;
    SERVICE_CODE (*GetLedInformation)(unsigned long, CLedInformation&) = nullptr;
    SERVICE_CODE (*ReadSensor)(unsigned long, CSensorReading&) = nullptr;
    SERVICE_CODE (*ReadLed)(unsigned long, CLedReading&) = nullptr;
    void (*RegisterSensorStateListener)(ISensorStateListener*) = nullptr;
    void (*UnregisterSensorStateListener)(ISensorStateListener*) = nullptr;

private:
    HMODULE m_hModule = nullptr;
};

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
