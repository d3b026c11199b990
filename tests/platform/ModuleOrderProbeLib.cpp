// A module shaped like the library: a static object, then the module entry,
// and an exit function registered after load. Each step is reported through a
// callback the loader installs.
#include <cstdio>

#include "platform.h"

namespace {

void (*g_report)(const char*) = nullptr;
// Steps before the loader could install its callback are kept here.
const char* g_early[4];
int g_earlyCount = 0;

void Report(const char* step) {
    if (g_report != nullptr) {
        g_report(step);
    } else if (g_earlyCount < 4) {
        g_early[g_earlyCount++] = step;
    } else {
        std::puts(step);
    }
}

struct StaticObject {
    StaticObject() { Report("static object constructed"); }
    ~StaticObject() { Report("static object destroyed"); }
};

int __cdecl LateExitFunction() {
    Report("late exit function");
    return 0;
}

StaticObject g_staticObject;
SvcpModuleEntry g_moduleEntry;

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    Report(reason == DLL_PROCESS_ATTACH ? "process attach" : "process detach");
    return TRUE;
}

extern "C" __attribute__((visibility("default"))) void ProbeStart(void (*report)(const char*)) {
    g_report = report;
    for (int i = 0; i < g_earlyCount; ++i) {
        report(g_early[i]);
    }
    g_earlyCount = 0;
    _onexit(&LateExitFunction);
}
