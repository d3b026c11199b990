#include "LoadedLibrary.h"

#include <dlfcn.h>

#include <stdexcept>

namespace {

template <class Function>
void Resolve(void* module, const char* name, Function*& function) {
    void* symbol = dlsym(module, name);
    if (symbol == nullptr) {
        throw std::runtime_error(std::string("missing export ") + name);
    }
    function = reinterpret_cast<Function*>(symbol);
}

}  // namespace

LoadedLibrary::LoadedLibrary() {
    m_pModule = dlopen(SVCPROC_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (m_pModule == nullptr) {
        throw std::runtime_error(dlerror());
    }
    // The exported names, as the C++ ABI mangles them.
    Resolve(m_pModule, "_ZN10ServiceApi23InitialiseServiceDriverEv", InitialiseServiceDriver);
    Resolve(m_pModule, "_ZN10ServiceApi22EnumerateSensorHandlesER17CSensorHandleList",
            EnumerateSensorHandles);
    Resolve(m_pModule, "_ZN10ServiceApi19EnumerateLedHandlesER14CLedHandleList",
            EnumerateLedHandles);
    Resolve(m_pModule, "_ZN10ServiceApi20GetSensorInformationEmR18CSensorInformation",
            GetSensorInformation);
    Resolve(m_pModule, "_ZN10ServiceApi17GetLedInformationEmR15CLedInformation", GetLedInformation);
    Resolve(m_pModule, "_ZN10ServiceApi10ReadSensorEmR14CSensorReading", ReadSensor);
    Resolve(m_pModule, "_ZN10ServiceApi7ReadLedEmR11CLedReading", ReadLed);
    Resolve(m_pModule, "_ZN10ServiceApi27RegisterSensorStateListenerEP20ISensorStateListener",
            RegisterSensorStateListener);
    Resolve(m_pModule, "_ZN10ServiceApi29UnregisterSensorStateListenerEP20ISensorStateListener",
            UnregisterSensorStateListener);
    Resolve(m_pModule, "_ZN10ServiceApi25GetServiceProcessorStatusER23CServiceProcessorStatus",
            GetServiceProcessorStatus);
}

LoadedLibrary::~LoadedLibrary() {
    Unload();
}

bool LoadedLibrary::Unload() {
    if (m_pModule != nullptr) {
        dlclose(m_pModule);
        m_pModule = nullptr;
    }
    return !IsLoaded();
}

bool LoadedLibrary::IsLoaded() {
    void* module = dlopen(SVCPROC_LIBRARY, RTLD_NOW | RTLD_NOLOAD);
    if (module == nullptr) {
        return false;
    }
    dlclose(module);
    return true;
}
