// The nine exported functions: log, refuse before initialisation, forward to
// the service manager, log the result.
#include "svcproc/api/ServiceApi.h"

#include "svcproc/api/ModuleState.h"
#include "svcproc/logging/Log.h"
#include "svcproc/service/ServiceManager.h"

namespace {

unsigned InitFlag() {
    return bInit.load(std::memory_order_acquire) ? 1u : 0u;
}

}  // namespace

namespace ServiceApi {

SERVICE_CODE InitialiseServiceDriver() {
    EnterCriticalSection(&g_csApi);
    Log(kLogCall, "API: InitialiseServiceDriver, bInit=%x", InitFlag());
    SERVICE_CODE result = ServiceCode_Success;
    if (!bInit.load(std::memory_order_acquire)) {
        result = TheServiceManager().Initialise();
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
    const SERVICE_CODE result =
        init ? TheServiceManager().EnumerateSensorHandles(handles) : ServiceCode_NotInitialised;
    Log(kLogCall, "API: EnumerateSensorHandles exit, sscode=0x%x", static_cast<unsigned>(result));
    return result;
}

SERVICE_CODE EnumerateLedHandles(CLedHandleList& handles) {
    const unsigned init = InitFlag();
    Log(kLogCall, "API: EnumerateLedHandles(0x%08x), bInit=%x", LogAddress(&handles), init);
    const SERVICE_CODE result =
        init ? TheServiceManager().EnumerateLedHandles(handles) : ServiceCode_NotInitialised;
    Log(kLogCall, "API: EnumerateLedHandles exit, sscode=0x%x", static_cast<unsigned>(result));
    return result;
}

SERVICE_CODE GetSensorInformation(unsigned long handle, CSensorInformation& information) {
    const unsigned init = InitFlag();
    Log(kLogCall, "API: GetSensorInformation(0x%08x,0x%08x), bInit=%x",
        static_cast<unsigned>(handle), LogAddress(&information), init);
    const SERVICE_CODE result = init ? TheServiceManager().GetSensorInformation(handle, information)
                                     : ServiceCode_NotInitialised;
    Log(kLogCall, "API: GetSensorInformation exit, sscode=0x%x", static_cast<unsigned>(result));
    return result;
}

SERVICE_CODE GetLedInformation(unsigned long handle, CLedInformation& information) {
    const unsigned init = InitFlag();
    Log(kLogCall, "API: GetLedInformation(0x%08x,0x%08x), bInit=%x", static_cast<unsigned>(handle),
        LogAddress(&information), init);
    const SERVICE_CODE result = init ? TheServiceManager().GetLedInformation(handle, information)
                                     : ServiceCode_NotInitialised;
    Log(kLogCall, "API: GetLedInformation exit, sscode=0x%x", static_cast<unsigned>(result));
    return result;
}

SERVICE_CODE ReadSensor(unsigned long handle, CSensorReading& reading) {
    const unsigned init = InitFlag();
    Log(kLogCall, "API: ReadSensor(0x%08x,0x%08x), bInit=%x", static_cast<unsigned>(handle),
        LogAddress(&reading), init);
    const SERVICE_CODE result =
        init ? TheServiceManager().ReadSensor(handle, reading) : ServiceCode_NotInitialised;
    Log(kLogCall, "API: ReadSensor exit, sscode=0x%x", static_cast<unsigned>(result));
    return result;
}

SERVICE_CODE ReadLed(unsigned long handle, CLedReading& reading) {
    const unsigned init = InitFlag();
    Log(kLogCall, "API: ReadLed(0x%08x,0x%08x), bInit=%x", static_cast<unsigned>(handle),
        LogAddress(&reading), init);
    const SERVICE_CODE result =
        init ? TheServiceManager().ReadLed(handle, reading) : ServiceCode_NotInitialised;
    Log(kLogCall, "API: ReadLed exit, sscode=0x%x", static_cast<unsigned>(result));
    return result;
}

void RegisterSensorStateListener(ISensorStateListener* listener) {
    const unsigned init = InitFlag();
    Log(kLogCall, "API: RegisterSensorStateListener(0x%08x), bInit=%x", LogAddress(listener), init);
    if (listener == nullptr) {
        return;
    }
    if (init) {
        TheServiceManager().RegisterSensorStateListener(listener);
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
        TheServiceManager().UnregisterSensorStateListener(listener);
    }
    LogQuick(kLogCall, "API: UnregisterSensorStateListener exit");
}

}  // namespace ServiceApi
