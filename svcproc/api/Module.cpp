// The library's static objects and its entry routine. Their order here is the
// load and unload order: the service manager is constructed first; then the
// module entry (on Windows, the runtime) calls DllMain, which creates the
// lock. At unload DllMain deletes the lock first; then the exit functions run
// in reverse order of registration (the BIOS version holder, registered at
// the first start-up), and last the service manager is destroyed.
#include "svcproc/api/ModuleState.h"
#include "svcproc/service/ServiceManager.h"

CRITICAL_SECTION g_csApi;
std::atomic<bool> bInit{false};

namespace {

CServiceManager g_ServiceManager;

// Must stay the last static object of the library.
SvcpModuleEntry g_ModuleEntry;

}  // namespace

CServiceManager& TheServiceManager() {
    return g_ServiceManager;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            DisableThreadLibraryCalls(instance);
            InitializeCriticalSection(&g_csApi);
            break;
        case DLL_PROCESS_DETACH:
            DeleteCriticalSection(&g_csApi);
            break;
        default:
            break;
    }
    return TRUE;
}
