// What the installed service is set to beyond CreateService's arguments:
// a delayed automatic start, restarts after a failure, a restricted service
// SID and only the privileges it uses. Set by --service install, read back by
// the tests.
#pragma once

#include <windows.h>

#include <string>

namespace monitor_service {

// A virtual account: no password, no rights beyond those granted to it or to
// its service SID by name.
constexpr const wchar_t* kServiceAccount = L"NT SERVICE\\svcproc-exporter";

// After a failure the manager restarts the service after these delays; a day
// without a failure starts the count again.
constexpr DWORD kRestartDelaysMs[] = {5000, 30000, 60000};
constexpr DWORD kFailureResetSeconds = 86400;

// Traverse checking only: the service opens its device, its files and a
// socket; it makes no global objects, debugs, backs up or impersonates.
constexpr const wchar_t kRequiredPrivileges[] = L"SeChangeNotifyPrivilege\0";

// ChangeServiceConfig2W, or a test's stand-in.
using ChangeConfigFunction = BOOL(WINAPI*)(SC_HANDLE, DWORD, LPVOID);

// Applies the settings above and the description to `service` (opened with
// SERVICE_CHANGE_CONFIG and SERVICE_START) through `change`; false with
// `error` at the first that the manager refuses. A setting the manager does
// not know at all (ERROR_INVALID_LEVEL: Wine knows few) is left out with a
// warning on standard error.
bool ConfigureService(SC_HANDLE service, std::string& error,
                      ChangeConfigFunction change = &ChangeServiceConfig2W);

// Windows' message for `code`, after "`what` failed (code)".
std::string ErrorText(const char* what, DWORD code);

}  // namespace monitor_service
