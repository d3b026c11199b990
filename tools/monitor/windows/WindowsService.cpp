// Install, removal and the run under the service control manager. The
// options arrive as UTF-8 from the wide command line (run/CommandLine.h) and
// go into the service's command line as UTF-16, every character kept; the
// run reads them back the same way.
#include "windows/WindowsService.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "run/Monitor.h"
#include "run/WideText.h"
#include "windows/InstallFolder.h"
#include "windows/ServiceConfiguration.h"

namespace monitor_service {
namespace {

constexpr const wchar_t* kDisplayName = L"svcproc exporter";

int Fail(const std::string& message) {
    std::fprintf(stderr, "svcproc-monitor: %s\n", message.c_str());
    return 1;
}

// One argument quoted as CommandLineToArgvW reads it back.
std::wstring Quote(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        return argument;
    }
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"') {
            quoted.append(backslashes * 2 + 1, L'\\');
        } else {
            quoted.append(backslashes, L'\\');
        }
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    quoted += L'"';
    return quoted;
}

class ServiceHandle {
public:
    explicit ServiceHandle(SC_HANDLE handle) : m_hHandle(handle) {}
    ~ServiceHandle() {
        if (m_hHandle != nullptr) {
            CloseServiceHandle(m_hHandle);
        }
    }
    ServiceHandle(const ServiceHandle&) = delete;
    ServiceHandle& operator=(const ServiceHandle&) = delete;
    SC_HANDLE get() const { return m_hHandle; }
    explicit operator bool() const { return m_hHandle != nullptr; }

private:
    SC_HANDLE m_hHandle;
};

constexpr const wchar_t* kEventSourceKey =
    L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\svcproc-exporter";

// The service's event source: Event Viewer shows the events' text from the
// message table in this program (events/EventMessages.mc).
bool RegisterEventMessages(const std::wstring& program, std::string& error) {
    HKEY key = nullptr;
    LSTATUS result = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kEventSourceKey, 0, nullptr, 0,
                                     KEY_SET_VALUE, nullptr, &key, nullptr);
    if (result != ERROR_SUCCESS) {
        error = ErrorText("RegCreateKeyEx (the event source)", static_cast<DWORD>(result));
        return false;
    }
    const DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
    result = RegSetValueExW(key, L"EventMessageFile", 0, REG_EXPAND_SZ,
                            reinterpret_cast<const BYTE*>(program.c_str()),
                            static_cast<DWORD>((program.size() + 1) * sizeof(wchar_t)));
    if (result == ERROR_SUCCESS) {
        result = RegSetValueExW(key, L"TypesSupported", 0, REG_DWORD,
                                reinterpret_cast<const BYTE*>(&types), sizeof(types));
    }
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) {
        error = ErrorText("RegSetValueEx (the event source)", static_cast<DWORD>(result));
        return false;
    }
    return true;
}

// Refused when ordinary users can change the program's folder: the service
// would run whatever they put there.
int Install(int argc, char** argv) {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length == MAX_PATH) {
        return Fail(ErrorText("GetModuleFileName", GetLastError()));
    }
    std::wstring folder(path, length);
    const size_t separator = folder.find_last_of(L'\\');
    folder.resize(separator == std::wstring::npos ? 0 : separator);
    std::string writers;
    std::string error;
    if (!FindOrdinaryWriters(folder, writers, error)) {
        return Fail(error);
    }
    if (!writers.empty()) {
        return Fail("ordinary users can change " + writers +
                    ", and whoever can runs code as the service: install it in a folder that "
                    "only administrators can change (Program Files)");
    }
    std::wstring command = Quote(path) + L" --service run";
    for (int i = 3; i < argc; ++i) {
        command += L" " + Quote(Utf8ToWide(argv[i]));
    }
    ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
    if (!manager) {
        return Fail(ErrorText("OpenSCManager", GetLastError()));
    }
    ServiceHandle service(
        CreateServiceW(manager.get(), kServiceName, kDisplayName,
                       SERVICE_CHANGE_CONFIG | SERVICE_START | SERVICE_QUERY_STATUS | DELETE,
                       SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                       command.c_str(), nullptr, nullptr, nullptr, kServiceAccount, nullptr));
    if (!service) {
        return Fail(ErrorText("CreateService", GetLastError()));
    }
    if (!ConfigureService(service.get(), error) ||
        !RegisterEventMessages(std::wstring(path, length), error)) {
        // Not left half configured: without its restarts, its restricted SID
        // or its events' text.
        DeleteService(service.get());
        return Fail(error);
    }
    std::printf(
        "service svcproc-exporter installed (account NT SERVICE\\svcproc-exporter); start it "
        "with: sc start svcproc-exporter\n");
    return 0;
}

int Uninstall() {
    ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) {
        return Fail(ErrorText("OpenSCManager", GetLastError()));
    }
    ServiceHandle service(
        OpenServiceW(manager.get(), kServiceName, SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE));
    if (!service) {
        return Fail(ErrorText("OpenService", GetLastError()));
    }
    // The process, to wait for its end: it reports "stopped" before it has
    // unloaded the DLLs and left its program, which an uninstall removes next.
    SERVICE_STATUS_PROCESS running{};
    DWORD size = 0;
    HANDLE process = nullptr;
    if (QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO,
                             reinterpret_cast<BYTE*>(&running), sizeof(running), &size) &&
        running.dwProcessId != 0) {
        process = OpenProcess(SYNCHRONIZE, FALSE, running.dwProcessId);
    }
    SERVICE_STATUS status{};
    if (ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) {
        // Give the run up to 10 s to leave its loop.
        for (int i = 0; i < 100 && status.dwCurrentState != SERVICE_STOPPED; ++i) {
            Sleep(100);
            if (!QueryServiceStatus(service.get(), &status)) {
                break;
            }
        }
    }
    if (process != nullptr) {
        WaitForSingleObject(process, 10000);
        CloseHandle(process);
    }
    if (!DeleteService(service.get())) {
        return Fail(ErrorText("DeleteService", GetLastError()));
    }
    // The events already logged keep their text only while the source is
    // registered; an uninstall takes that with it.
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kEventSourceKey);
    std::printf("service svcproc-exporter removed\n");
    return 0;
}

// The run under the service control manager. Its callbacks take no context
// argument that reaches ServiceMain, so the one service's state is here.
struct Run {
    const ServiceBody* body = nullptr;
    SERVICE_STATUS_HANDLE statusHandle = nullptr;
    std::mutex statusLock;  // the control handler and the run both report
    SERVICE_STATUS status{};
    std::atomic<bool> stop{false};
    int exitCode = 0;
};
Run g_run;

void Report(DWORD state, DWORD exitCode = NO_ERROR) {
    std::lock_guard<std::mutex> lock(g_run.statusLock);
    const bool pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING;
    g_run.status.dwCheckPoint = pending ? g_run.status.dwCheckPoint + 1 : 0;
    g_run.status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    g_run.status.dwCurrentState = state;
    g_run.status.dwControlsAccepted =
        state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    g_run.status.dwWin32ExitCode = exitCode == 0 ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR;
    g_run.status.dwServiceSpecificExitCode = exitCode;
    g_run.status.dwWaitHint = state == SERVICE_RUNNING || state == SERVICE_STOPPED ? 0 : 5000;
    SetServiceStatus(g_run.statusHandle, &g_run.status);
}

DWORD WINAPI Control(DWORD control, DWORD, void*, void*) {
    switch (control) {
        case SERVICE_CONTROL_STOP:
        case SERVICE_CONTROL_SHUTDOWN:
            Report(SERVICE_STOP_PENDING);
            g_run.stop.store(true);
            return NO_ERROR;
        case SERVICE_CONTROL_INTERROGATE:
            return NO_ERROR;
        default:
            return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void WINAPI ServiceMain(DWORD, LPWSTR*) {
    g_run.statusHandle = RegisterServiceCtrlHandlerExW(kServiceName, &Control, nullptr);
    if (g_run.statusHandle == nullptr) {
        g_run.exitCode = 1;
        return;
    }
    Report(SERVICE_START_PENDING);
    Report(SERVICE_RUNNING);
    g_run.exitCode = (*g_run.body)(g_run.stop);
    Report(SERVICE_STOPPED, static_cast<DWORD>(g_run.exitCode));
}

int RunUnderServiceManager(const ServiceBody& body) {
    g_run.body = &body;
    SERVICE_TABLE_ENTRYW table[] = {{const_cast<wchar_t*>(kServiceName), &ServiceMain},
                                    {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherW(table)) {
        const DWORD error = GetLastError();
        if (error == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) {
            return Fail(
                "--service run is what the service control manager starts; "
                "use --service install");
        }
        return Fail(ErrorText("StartServiceCtrlDispatcher", error));
    }
    return g_run.exitCode;
}

}  // namespace

bool HandleServiceCommand(int argc, char** argv, const ServiceBody& body, int& exitCode) {
    if (argc < 2 || std::strcmp(argv[1], "--service") != 0) {
        return false;
    }
    const char* action = argc > 2 ? argv[2] : "";
    if (std::strcmp(action, "install") == 0) {
        exitCode = Install(argc, argv);
    } else if (std::strcmp(action, "uninstall") == 0) {
        if (argc > 3) {
            Fail("--service uninstall takes no options");
            exitCode = kExitUsage;
        } else {
            exitCode = Uninstall();
        }
    } else if (std::strcmp(action, "run") == 0) {
        exitCode = RunUnderServiceManager(body);
    } else {
        Fail("--service needs install, uninstall or run");
        exitCode = kExitUsage;
    }
    return true;
}

}  // namespace monitor_service
