// Prints an installed service's configuration as "key=value" lines, UTF-8,
// for the package tests to compare:
//   service_config_query.exe NAME
// Exit 0 when printed, 2 when the service does not exist, 1 on other errors.
// A setting the service manager cannot report reads "unsupported".
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/Utf8Encode.h"

namespace {

std::string Utf8(const wchar_t* text) {
    return text == nullptr ? std::string() : svcp::utf8::WideToUtf8(std::wstring(text));
}

void Print(const char* key, const std::string& value) {
    std::printf("%s=%s\n", key, value.c_str());
}

// The level's structure in `buffer`, or false when the manager cannot say.
bool Query(SC_HANDLE service, DWORD level, std::vector<BYTE>& buffer, const char* key) {
    DWORD needed = 0;
    QueryServiceConfig2W(service, level, nullptr, 0, &needed);
    buffer.assign(needed > 0 ? needed : 64, 0);
    if (!QueryServiceConfig2W(service, level, buffer.data(), static_cast<DWORD>(buffer.size()),
                              &needed)) {
        Print(key, "unsupported");
        return false;
    }
    return true;
}

struct ValueName {
    DWORD value;
    const char* name;
};

// The name of `value` in `names`; "other" for a value not there.
template <size_t Count>
const char* NameOf(const ValueName (&names)[Count], DWORD value) {
    for (const ValueName& entry : names) {
        if (entry.value == value) {
            return entry.name;
        }
    }
    return "other";
}

const ValueName kStartTypes[] = {
    {SERVICE_AUTO_START, "auto"}, {SERVICE_DEMAND_START, "demand"}, {SERVICE_DISABLED, "disabled"}};
const ValueName kSidTypes[] = {{SERVICE_SID_TYPE_NONE, "none"},
                               {SERVICE_SID_TYPE_UNRESTRICTED, "unrestricted"},
                               {SERVICE_SID_TYPE_RESTRICTED, "restricted"}};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: service_config_query NAME\n");
        return 1;
    }
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (manager == nullptr) {
        std::fprintf(stderr, "OpenSCManager failed (%lu)\n", GetLastError());
        return 1;
    }
    SC_HANDLE service = OpenServiceW(manager, argv[1], SERVICE_QUERY_CONFIG);
    if (service == nullptr) {
        const DWORD error = GetLastError();
        CloseServiceHandle(manager);
        std::fprintf(stderr, "OpenService failed (%lu)\n", error);
        return error == ERROR_SERVICE_DOES_NOT_EXIST ? 2 : 1;
    }
    DWORD needed = 0;
    QueryServiceConfigW(service, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed > 0 ? needed : sizeof(QUERY_SERVICE_CONFIGW));
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (!QueryServiceConfigW(service, config, static_cast<DWORD>(buffer.size()), &needed)) {
        std::fprintf(stderr, "QueryServiceConfig failed (%lu)\n", GetLastError());
        return 1;
    }
    Print("account", Utf8(config->lpServiceStartName));
    Print("start", NameOf(kStartTypes, config->dwStartType));
    Print("command", Utf8(config->lpBinaryPathName));

    if (Query(service, SERVICE_CONFIG_DELAYED_AUTO_START_INFO, buffer, "delayed")) {
        auto* info = reinterpret_cast<SERVICE_DELAYED_AUTO_START_INFO*>(buffer.data());
        Print("delayed", info->fDelayedAutostart ? "1" : "0");
    }
    if (Query(service, SERVICE_CONFIG_FAILURE_ACTIONS, buffer, "failure_actions")) {
        auto* info = reinterpret_cast<SERVICE_FAILURE_ACTIONSW*>(buffer.data());
        std::string actions;
        for (DWORD i = 0; i < info->cActions; ++i) {
            const SC_ACTION& action = info->lpsaActions[i];
            actions += (i > 0 ? "," : "") +
                       std::string(action.Type == SC_ACTION_RESTART ? "restart/" : "other/") +
                       std::to_string(action.Delay);
        }
        Print("failure_reset", std::to_string(info->dwResetPeriod));
        Print("failure_actions", actions);
    } else {
        Print("failure_reset", "unsupported");
    }
    if (Query(service, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, buffer, "failure_on_error_exit")) {
        auto* info = reinterpret_cast<SERVICE_FAILURE_ACTIONS_FLAG*>(buffer.data());
        Print("failure_on_error_exit", info->fFailureActionsOnNonCrashFailures ? "1" : "0");
    }
    if (Query(service, SERVICE_CONFIG_SERVICE_SID_INFO, buffer, "sid_type")) {
        auto* info = reinterpret_cast<SERVICE_SID_INFO*>(buffer.data());
        Print("sid_type", NameOf(kSidTypes, info->dwServiceSidType));
    }
    if (Query(service, SERVICE_CONFIG_REQUIRED_PRIVILEGES_INFO, buffer, "privileges")) {
        auto* info = reinterpret_cast<SERVICE_REQUIRED_PRIVILEGES_INFOW*>(buffer.data());
        std::string privileges;
        for (const wchar_t* p = info->pmszRequiredPrivileges; p != nullptr && *p != L'\0';
             p += wcslen(p) + 1) {
            privileges += (privileges.empty() ? "" : ",") + Utf8(p);
        }
        Print("privileges", privileges);
    }
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return 0;
}
