// The module's load and unload hooks, standing for the runtime's DLL start-up
// code: DllMain at load and unload, then the module's exit functions.
#include <dlfcn.h>

#include "OnExitTable.h"
#include "win/crt.h"
#include "win/kernel32.h"

namespace {

// The module's base address serves as its HMODULE.
HMODULE ThisModule() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&ThisModule), &info) != 0 && info.dli_fbase != nullptr) {
        return info.dli_fbase;
    }
    return reinterpret_cast<HMODULE>(&ThisModule);
}

}  // namespace

SvcpModuleEntry::SvcpModuleEntry() {
    svcp_module::AttachToModuleEntry();
    DllMain(ThisModule(), DLL_PROCESS_ATTACH, nullptr);
}

SvcpModuleEntry::~SvcpModuleEntry() {
    DllMain(ThisModule(), DLL_PROCESS_DETACH, nullptr);
    svcp_module::RunOnExitTable();
}
