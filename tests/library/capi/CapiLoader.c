#include "CapiLoader.h"

#include <stdio.h>
#include <windows.h>

#include "svcproc/api/machine/svcproc_machine_c.h"
#include "svcproc/api/svcproc_c.h"

/* result, name, parameters, arguments: every function of svcproc_c.h and
   svcproc_machine_c.h. */
#define CAPI_FUNCTIONS(X)                                                                          \
    X(SVCP_UINT32, SvcpGetApiVersion, (void), ())                                                  \
    X(SVCP_RESULT, SvcpInitialiseServiceDriver, (void), ())                                        \
    X(SVCP_RESULT, SvcpEnumerateSensorHandles, (SVCP_HANDLE * h, size_t c, size_t * n), (h, c, n)) \
    X(SVCP_RESULT, SvcpEnumerateLedHandles, (SVCP_HANDLE * h, size_t c, size_t * n), (h, c, n))    \
    X(SVCP_RESULT, SvcpGetSensorInformation,                                                       \
      (SVCP_HANDLE h, SVCP_SENSOR_INFORMATION * i, char* d, size_t s, size_t* l), (h, i, d, s, l)) \
    X(SVCP_RESULT, SvcpGetSensorPossibleState,                                                     \
      (SVCP_HANDLE h, SVCP_UINT32 state, char* t, size_t s, size_t* l), (h, state, t, s, l))       \
    X(SVCP_RESULT, SvcpGetLedInformation,                                                          \
      (SVCP_HANDLE h, SVCP_LED_INFORMATION * i, char* d, size_t s, size_t* l), (h, i, d, s, l))    \
    X(SVCP_RESULT, SvcpReadSensor, (SVCP_HANDLE h, SVCP_SENSOR_READING * r), (h, r))               \
    X(SVCP_RESULT, SvcpReadLed, (SVCP_HANDLE h, SVCP_LED_READING * r), (h, r))                     \
    X(SVCP_RESULT, SvcpRegisterSensorStateListener, (SVCP_SENSOR_STATE_CALLBACK f, void* c),       \
      (f, c))                                                                                      \
    X(SVCP_RESULT, SvcpUnregisterSensorStateListener, (SVCP_SENSOR_STATE_CALLBACK f, void* c),     \
      (f, c))                                                                                      \
    X(const char*, SvcpResultName, (SVCP_RESULT r), (r))                                           \
    X(const char*, SvcpResultMeaning, (SVCP_RESULT r), (r))                                        \
    X(SVCP_RESULT, SvcpGetMachineInfo, (SVCP_MACHINE_INFO * i), (i))

#define CAPI_POINTER(result, name, parameters, arguments) \
    typedef result(SVCP_CALL* name##Function) parameters; \
    static name##Function g_p##name;
CAPI_FUNCTIONS(CAPI_POINTER)

/* Called only between a successful CapiLoadLibrary and CapiUnloadLibrary. */
#define CAPI_FORWARD(result, name, parameters, arguments) \
    result SVCP_CALL name parameters {                    \
        return g_p##name arguments;                       \
    }
CAPI_FUNCTIONS(CAPI_FORWARD)

static HMODULE g_hLibrary;

/* Whether `module` was loaded from `directory` (a path ending in a
   separator). */
static int IsFrom(const wchar_t* module, const wchar_t* directory) {
    wchar_t path[MAX_PATH];
    HMODULE handle = GetModuleHandleW(module);
    DWORD length = handle != NULL ? GetModuleFileNameW(handle, path, MAX_PATH) : 0;
    size_t prefix = wcslen(directory);
    if (length == 0 || length >= MAX_PATH) {
        return 0;
    }
    path[length] = L'\0';
    return _wcsnicmp(path, directory, prefix) == 0 && wcschr(path + prefix, L'\\') == NULL;
}

int CapiLoadLibrary(const wchar_t* directory) {
    wchar_t folder[MAX_PATH];
    wchar_t path[MAX_PATH];
    int complete = 1;
    size_t i;
    if (wcslen(directory) + 13 >= MAX_PATH) {
        fprintf(stderr, "CapiLoadLibrary: path too long\n");
        return 1;
    }
    wcscpy(folder, directory);
    for (i = 0; folder[i] != L'\0'; ++i) {
        if (folder[i] == L'/') {
            folder[i] = L'\\';
        }
    }
    if (i > 0 && folder[i - 1] != L'\\') {
        wcscat(folder, L"\\");
    }
    wcscpy(path, folder);
    wcscat(path, L"svcproc.dll");
    /* The altered search path: svcproc.dll's own imports (log.dll) come
       from its directory too, as for an application that ships them beside
       itself. */
    g_hLibrary = LoadLibraryExW(path, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (g_hLibrary == NULL) {
        fprintf(stderr, "CapiLoadLibrary: %ls not loaded (error %lu)\n", path,
                (unsigned long)GetLastError());
        return 1;
    }
#define CAPI_RESOLVE(result, name, parameters, arguments)                          \
    g_p##name = (name##Function)(void (*)(void))GetProcAddress(g_hLibrary, #name); \
    if (g_p##name == NULL) {                                                       \
        fprintf(stderr, "CapiLoadLibrary: %s not exported\n", #name);              \
        complete = 0;                                                              \
    }
    CAPI_FUNCTIONS(CAPI_RESOLVE)
    if (!IsFrom(L"svcproc.dll", folder) || !IsFrom(L"log.dll", folder)) {
        fprintf(stderr, "CapiLoadLibrary: svcproc.dll or log.dll not loaded from %ls\n", folder);
        complete = 0;
    }
    if (!complete) {
        CapiUnloadLibrary();
        return 1;
    }
    return 0;
}

int CapiUnloadLibrary(void) {
    if (g_hLibrary != NULL) {
        FreeLibrary(g_hLibrary);
        g_hLibrary = NULL;
    }
    return GetModuleHandleW(L"svcproc.dll") == NULL ? 0 : 1;
}
