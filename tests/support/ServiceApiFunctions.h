// The exported functions as an application that loads the library at run
// time sees them: pointers found by their (Itanium C++ ABI) names, which
// g++ and mingw-w64 spell the same.
#pragma once

#include <type_traits>

#include "svcproc/api/ServiceApi.h"
#include "svcproc/api/machine/MachineInfo.h"
#include "svcproc/api/ServiceProcessorStatus.h"

struct ServiceApiFunctions {
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
    // The machine-information extension.
    SERVICE_CODE (*GetMachineInfo)(CMachineInfo&) = nullptr;

    // Looks each function up with `find(name)` (a void* or function pointer,
    // null when missing); the name of the first one missing, or null.
    template <class Find>
    const char* Resolve(Find find) {
        const char* missing = nullptr;
        auto one = [&](const char* name, auto*& function) {
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(
                reinterpret_cast<void*>(find(name)));
            if (function == nullptr && missing == nullptr) {
                missing = name;
            }
        };
        one("_ZN10ServiceApi23InitialiseServiceDriverEv", InitialiseServiceDriver);
        one("_ZN10ServiceApi22EnumerateSensorHandlesER17CSensorHandleList", EnumerateSensorHandles);
        one("_ZN10ServiceApi19EnumerateLedHandlesER14CLedHandleList", EnumerateLedHandles);
        one("_ZN10ServiceApi20GetSensorInformationEmR18CSensorInformation", GetSensorInformation);
        one("_ZN10ServiceApi17GetLedInformationEmR15CLedInformation", GetLedInformation);
        one("_ZN10ServiceApi10ReadSensorEmR14CSensorReading", ReadSensor);
        one("_ZN10ServiceApi7ReadLedEmR11CLedReading", ReadLed);
        one("_ZN10ServiceApi27RegisterSensorStateListenerEP20ISensorStateListener",
            RegisterSensorStateListener);
        one("_ZN10ServiceApi29UnregisterSensorStateListenerEP20ISensorStateListener",
            UnregisterSensorStateListener);
        one("_ZN10ServiceApi25GetServiceProcessorStatusER23CServiceProcessorStatus",
            GetServiceProcessorStatus);
        one("_ZN10ServiceApi14GetMachineInfoER12CMachineInfo", GetMachineInfo);
        return missing;
    }
};
