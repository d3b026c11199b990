// The nine exported functions: log, refuse before initialisation, forward to
// the service manager, log the result.
#include "svcproc/api/ServiceApi.h"

#include <new>

#include "svcproc/api/ModuleState.h"
#include "svcproc/logging/Log.h"
#include "svcproc/service/ServiceManager.h"

namespace {

unsigned InitFlag() {
    return bInit.load(std::memory_order_acquire) ? 1u : 0u;
}

// Allocation failures are the only exceptions below this layer; each function
// turns one into a refusal with its own level-1 line, so nothing is thrown
// into the application.
constexpr SERVICE_CODE kOutOfMemory = ServiceCode_SmbiosInventoryFailed;

// The course of the six functions with a result once their entry line is
// written: refused before start-up, else forwarded, an allocation failure
// refused with the function's own level-1 line; then the exit line.
template <typename Operation>
SERVICE_CODE ForwardOnceStarted(unsigned init, const char* name, const char* outOfMemoryLine,
                                Operation operation) {
    SERVICE_CODE result = ServiceCode_NotInitialised;
    if (init) {
        try {
            result = operation(TheServiceManager());
        } catch (const std::bad_alloc&) {
            LogQuick(kLogError, outOfMemoryLine);
            result = kOutOfMemory;
        }
    }
    Log(kLogCall, "API: %s exit, sscode=0x%x", name, static_cast<unsigned>(result));
    return result;
}

}  // namespace

namespace ServiceApi {

SERVICE_CODE InitialiseServiceDriver() {
    EnterCriticalSection(&g_csApi);
    Log(kLogCall, "API: InitialiseServiceDriver, bInit=%x", InitFlag());
    SERVICE_CODE result = ServiceCode_Success;
    if (!bInit.load(std::memory_order_acquire)) {
        try {
            result = TheServiceManager().Initialise();
        } catch (const std::bad_alloc&) {
            // The inventory could not be built; a later call starts again.
            LogQuick(kLogError, "API: InitialiseServiceDriver - out of memory");
            result = kOutOfMemory;
        }
        if (result == ServiceCode_Success) {
            bInit.store(true, std::memory_order_release);
        }
    }
    LeaveCriticalSection(&g_csApi);
    Log(kLogCall, "API: InitialiseServiceDriver exit, sscode=0x%x", static_cast<unsigned>(result));
    return result;
}

SERVICE_CODE EnumerateSensorHandles(CSensorHandleList& handles) {
    const unsigned init = InitFlag();
    Log(kLogCall, "API: EnumerateSensorHandles(0x%08x), bInit=%x", LogAddress(&handles), init);
    return ForwardOnceStarted(
        init, "EnumerateSensorHandles", "API: EnumerateSensorHandles - out of memory",
        [&](CServiceManager& manager) { return manager.EnumerateSensorHandles(handles); });
}

SERVICE_CODE EnumerateLedHandles(CLedHandleList& handles) {
    const unsigned init = InitFlag();
    Log(kLogCall, "API: EnumerateLedHandles(0x%08x), bInit=%x", LogAddress(&handles), init);
    return ForwardOnceStarted(
        init, "EnumerateLedHandles", "API: EnumerateLedHandles - out of memory",
        [&](CServiceManager& manager) { return manager.EnumerateLedHandles(handles); });
}

SERVICE_CODE GetSensorInformation(unsigned long handle, CSensorInformation& information) {
    const unsigned init = InitFlag();
    Log(kLogCall, "API: GetSensorInformation(0x%08x,0x%08x), bInit=%x",
        static_cast<unsigned>(handle), LogAddress(&information), init);
    return ForwardOnceStarted(init, "GetSensorInformation",
                              "API: GetSensorInformation - out of memory",
                              [&](CServiceManager& manager) {
                                  return manager.GetSensorInformation(handle, information);
                              });
}

SERVICE_CODE GetLedInformation(unsigned long handle, CLedInformation& information) {
    const unsigned init = InitFlag();
    Log(kLogCall, "API: GetLedInformation(0x%08x,0x%08x), bInit=%x", static_cast<unsigned>(handle),
        LogAddress(&information), init);
    return ForwardOnceStarted(
        init, "GetLedInformation", "API: GetLedInformation - out of memory",
        [&](CServiceManager& manager) { return manager.GetLedInformation(handle, information); });
}

SERVICE_CODE ReadSensor(unsigned long handle, CSensorReading& reading) {
    const unsigned init = InitFlag();
    Log(kLogCall, "API: ReadSensor(0x%08x,0x%08x), bInit=%x", static_cast<unsigned>(handle),
        LogAddress(&reading), init);
    return ForwardOnceStarted(
        init, "ReadSensor", "API: ReadSensor - out of memory",
        [&](CServiceManager& manager) { return manager.ReadSensor(handle, reading); });
}

SERVICE_CODE ReadLed(unsigned long handle, CLedReading& reading) {
    const unsigned init = InitFlag();
    Log(kLogCall, "API: ReadLed(0x%08x,0x%08x), bInit=%x", static_cast<unsigned>(handle),
        LogAddress(&reading), init);
    return ForwardOnceStarted(
        init, "ReadLed", "API: ReadLed - out of memory",
        [&](CServiceManager& manager) { return manager.ReadLed(handle, reading); });
}

void RegisterSensorStateListener(ISensorStateListener* listener) {
    const unsigned init = InitFlag();
    Log(kLogCall, "API: RegisterSensorStateListener(0x%08x), bInit=%x", LogAddress(listener), init);
    if (listener == nullptr) {
        return;
    }
    if (init) {
        try {
            TheServiceManager().RegisterSensorStateListener(listener);
        } catch (const std::bad_alloc&) {
            LogQuick(kLogError, "API: RegisterSensorStateListener - out of memory");
        }
    }
    LogQuick(kLogCall, "API: RegisterSensorStateListener exit");
}

void UnregisterSensorStateListener(ISensorStateListener* listener) {
    const unsigned init = InitFlag();
    Log(kLogCall, "API: UnregisterSensorStateListener(0x%08x), bInit=%x", LogAddress(listener),
        init);
    if (listener == nullptr) {
        return;
    }
    if (init) {
        try {
            TheServiceManager().UnregisterSensorStateListener(listener);
        } catch (const std::bad_alloc&) {
            LogQuick(kLogError, "API: UnregisterSensorStateListener - out of memory");
        }
    }
    LogQuick(kLogCall, "API: UnregisterSensorStateListener exit");
}

}  // namespace ServiceApi
