// The per-module exit-function table. Each module (shared library or
// executable) that links svcp_module_crt has its own, as each DLL has its own
// with the Windows runtime.
#include <cstdlib>
#include <mutex>

#include "OnExitTable.h"
#include "win/crt.h"

namespace {

// Fixed storage: no constructor or destructor runs, so the table is usable at
// any point of static construction and destruction.
constexpr int kMaxFunctions = 64;
std::mutex g_lock;
_onexit_t g_functions[kMaxFunctions];
int g_count = 0;
bool g_ownedByModuleEntry = false;
bool g_registeredAtExit = false;

void RunAtProcessExit() {
    svcp_module::RunOnExitTable();
}

}  // namespace

namespace svcp_module {

void AttachToModuleEntry() {
    std::lock_guard<std::mutex> guard(g_lock);
    g_ownedByModuleEntry = true;
}

void RunOnExitTable() {
    for (;;) {
        _onexit_t function = nullptr;
        {
            std::lock_guard<std::mutex> guard(g_lock);
            if (g_count == 0) {
                return;
            }
            function = g_functions[--g_count];
        }
        function();
    }
}

}  // namespace svcp_module

extern "C" _onexit_t __cdecl _onexit(_onexit_t function) {
    if (function == nullptr) {
        return nullptr;
    }
    std::lock_guard<std::mutex> guard(g_lock);
    if (g_count == kMaxFunctions) {
        return nullptr;
    }
    if (!g_ownedByModuleEntry && !g_registeredAtExit) {
        // An executable: no entry object runs the table, so process exit does.
        if (std::atexit(&RunAtProcessExit) != 0) {
            return nullptr;
        }
        g_registeredAtExit = true;
    }
    g_functions[g_count++] = function;
    return function;
}
