#include "windows/ServiceConfiguration.h"

#include <cstdio>
#include <iterator>

namespace monitor_service {
namespace {

constexpr const wchar_t* kDescription =
    L"Serves the service processor's sensors and LEDs (svcproc-monitor).";

// Windows knows every level used here; a manager that does not know one
// leaves the service without that setting, which is said, not fatal.
struct Changer {
    SC_HANDLE service;
    ChangeConfigFunction change;
    std::string& error;
    bool operator()(DWORD level, void* info, const char* what) const;
};

bool Changer::operator()(DWORD level, void* info, const char* what) const {
    if (change(service, level, info)) {
        return true;
    }
    const DWORD code = GetLastError();
    if (code == ERROR_INVALID_LEVEL) {
        std::fprintf(stderr,
                     "svcproc-monitor: WARNING: this system's service manager cannot set the "
                     "service's %s; it runs without it\n",
                     what);
        return true;
    }
    error = ErrorText("ChangeServiceConfig2", code) + " (" + what + ")";
    return false;
}

}  // namespace

std::string ErrorText(const char* what, DWORD code) {
    char* text = nullptr;
    FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = std::string(what) + " failed (" + std::to_string(code) + ")";
    if (text != nullptr) {
        std::string detail(text);
        LocalFree(text);
        while (!detail.empty() && (detail.back() == '\n' || detail.back() == '\r')) {
            detail.pop_back();
        }
        message += ": " + detail;
    }
    return message;
}

bool ConfigureService(SC_HANDLE service, std::string& error, ChangeConfigFunction change) {
    SERVICE_DESCRIPTIONW description{const_cast<wchar_t*>(kDescription)};
    // Started after the boot's rush: the till's own services come first.
    SERVICE_DELAYED_AUTO_START_INFO delayed{TRUE};

    SC_ACTION actions[std::size(kRestartDelaysMs)];
    for (size_t i = 0; i < std::size(kRestartDelaysMs); ++i) {
        actions[i] = SC_ACTION{SC_ACTION_RESTART, kRestartDelaysMs[i]};
    }
    SERVICE_FAILURE_ACTIONSW failure{};
    failure.dwResetPeriod = kFailureResetSeconds;
    failure.cActions = static_cast<DWORD>(std::size(actions));
    failure.lpsaActions = actions;
    // A run that ends with an error status (a port in use, a file it cannot
    // write) counts as a failure too, not only a crash.
    SERVICE_FAILURE_ACTIONS_FLAG onErrorExit{TRUE};

    // Its token holds the service SID as a restricting SID: it writes only
    // where the service itself has been granted access by name.
    SERVICE_SID_INFO sid{SERVICE_SID_TYPE_RESTRICTED};
    SERVICE_REQUIRED_PRIVILEGES_INFOW privileges{const_cast<wchar_t*>(kRequiredPrivileges)};

    const Changer apply{service, change, error};
    return apply(SERVICE_CONFIG_DESCRIPTION, &description, "description") &&
           apply(SERVICE_CONFIG_DELAYED_AUTO_START_INFO, &delayed, "delayed start") &&
           apply(SERVICE_CONFIG_FAILURE_ACTIONS, &failure, "failure actions") &&
           apply(SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &onErrorExit,
                 "restart after an error exit") &&
           apply(SERVICE_CONFIG_SERVICE_SID_INFO, &sid, "restricted service SID") &&
           apply(SERVICE_CONFIG_REQUIRED_PRIVILEGES_INFO, &privileges, "list of privileges");
}

}  // namespace monitor_service
