// The machine-information extension: logs its own entry and exit at level 4
// and reads the manager's record under the start-up lock, so it never sees
// one half-written.
#include "svcproc/api/machine/MachineInfo.h"

#include "svcproc/api/ModuleState.h"
#include "svcproc/logging/Log.h"
#include "svcproc/service/ServiceManager.h"

namespace ServiceApi {

SERVICE_CODE GetMachineInfo(CMachineInfo& info) {
    Log(kLogCall, "API: GetMachineInfo(0x%08x), bInit=%x", LogAddress(&info),
        bInit.load(std::memory_order_acquire) ? 1u : 0u);
    EnterCriticalSection(&g_csApi);
    const SERVICE_CODE result = TheServiceManager().GetMachineInfo(info);
    LeaveCriticalSection(&g_csApi);
    Log(kLogCall, "API: GetMachineInfo exit, sscode=0x%x", static_cast<unsigned>(result));
    return result;
}

}  // namespace ServiceApi
