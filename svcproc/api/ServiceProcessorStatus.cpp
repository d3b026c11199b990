// The link-status extension: logs its own entry and exit at level 4, refuses
// before start-up like the nine functions, and forwards to the manager.
#include "svcproc/api/ServiceProcessorStatus.h"

#include "svcproc/api/ModuleState.h"
#include "svcproc/logging/Log.h"
#include "svcproc/service/ServiceManager.h"

namespace ServiceApi {

SERVICE_CODE GetServiceProcessorStatus(CServiceProcessorStatus& status) {
    const bool init = bInit.load(std::memory_order_acquire);
    Log(kLogCall, "API: GetServiceProcessorStatus(0x%08x), bInit=%x", LogAddress(&status),
        init ? 1u : 0u);
    const SERVICE_CODE result =
        init ? TheServiceManager().GetServiceProcessorStatus(status) : ServiceCode_NotInitialised;
    Log(kLogCall, "API: GetServiceProcessorStatus exit, sscode=0x%x",
        static_cast<unsigned>(result));
    return result;
}

}  // namespace ServiceApi
