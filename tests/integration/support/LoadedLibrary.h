// libsvcproc.so loaded afresh, as an application that loads it at run time:
// each LoadedLibrary starts from the loaded, not-initialised state, and its
// destruction unloads the library for real (its static objects are
// destroyed at dlclose).
#pragma once

#include <string>

#include "svcproc/api/ServiceApi.h"
#include "svcproc/api/ServiceProcessorStatus.h"

class LoadedLibrary {
public:
    LoadedLibrary();
    ~LoadedLibrary();
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;

    // Unloads now; true when the library is really gone from the process.
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
    // The link-status extension.
    SERVICE_CODE (*GetServiceProcessorStatus)(CServiceProcessorStatus&) = nullptr;

private:
    void* m_pModule = nullptr;
};
