#include "SimRelayHost.h"

#include <cstring>

#include "driver/SvcpRelayIoctl.h"

namespace svcpsim {

namespace {

HANDLE OpenControl() {
    return CreateFileW(SVCP_RELAY_CONTROL_PATH, GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
}

// One control call on a handle of its own.
bool ControlOnce(DWORD code, void* input, DWORD inputSize) {
    HANDLE control = OpenControl();
    if (control == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD returned = 0;
    const BOOL ok =
        DeviceIoControl(control, code, input, inputSize, nullptr, 0, &returned, nullptr);
    const DWORD error = GetLastError();
    CloseHandle(control);
    SetLastError(error);
    return ok != FALSE;
}

}  // namespace

CSimRelayHost::CSimRelayHost(std::shared_ptr<CSimServiceProcessor> serviceProcessor)
    : m_pServiceProcessor(std::move(serviceProcessor)) {}

CSimRelayHost::~CSimRelayHost() {
    Stop();
}

bool CSimRelayHost::Start() {
    if (m_hControl != INVALID_HANDLE_VALUE) {
        return true;
    }
    HANDLE control = OpenControl();
    if (control == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD returned = 0;
    // A host that went away without detaching holds the driver until its
    // watchdog notices (3 s): wait that long for it.
    BOOL attached = FALSE;
    for (int attempt = 0; attempt < 50; ++attempt) {
        attached = DeviceIoControl(control, SVCP_RELAY_IOCTL_ATTACH, nullptr, 0, nullptr, 0,
                                   &returned, nullptr);
        if (attached || GetLastError() != ERROR_BUSY) {
            break;
        }
        Sleep(100);
    }
    if (!attached) {
        const DWORD error = GetLastError();
        CloseHandle(control);
        SetLastError(error);
        return false;
    }
    m_hControl = control;
    m_Thread = std::thread(&CSimRelayHost::Relay, this);
    return true;
}

void CSimRelayHost::Stop() {
    if (m_hControl == INVALID_HANDLE_VALUE) {
        return;
    }
    // From a second handle: the relay thread's handle is busy with its
    // pending NEXT, which the detach ends.
    ControlOnce(SVCP_RELAY_IOCTL_DETACH, nullptr, 0);
    m_Thread.join();
    CloseHandle(m_hControl);
    m_hControl = INVALID_HANDLE_VALUE;
}

bool CSimRelayHost::SetInterface(unsigned instance, bool enabled) {
    SVCP_RELAY_INTERFACE request = {instance, enabled ? 1u : 0u};
    return ControlOnce(SVCP_RELAY_IOCTL_SET_INTERFACE, &request, sizeof request);
}

void CSimRelayHost::Relay() {
    for (;;) {
        SVCP_RELAY_REQUEST request = {};
        DWORD returned = 0;
        if (!DeviceIoControl(m_hControl, SVCP_RELAY_IOCTL_NEXT, nullptr, 0, &request,
                             sizeof request, &returned, nullptr)) {
            if (GetLastError() == ERROR_RETRY) {
                continue;  // the request was cancelled before it was handed over
            }
            return;  // detached
        }
        SVCP_RELAY_RESPONSE response = {};
        response.id = request.id;
        std::memcpy(response.packet, request.packet, sizeof response.packet);
        size_t written = 0;
        response.error =
            m_pServiceProcessor->IoControl(kIoctlRequestResponse, request.packet, kPacketSize,
                                           response.packet, kPacketSize, &written);
        ++m_nExchanges;
        // ERROR_NOT_FOUND: the library's call was cancelled meanwhile.
        DeviceIoControl(m_hControl, SVCP_RELAY_IOCTL_COMPLETE, &response, sizeof response, nullptr,
                        0, &returned, nullptr);
    }
}

}  // namespace svcpsim
