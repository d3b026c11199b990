#include "SimDevice.h"

#include <cwchar>

#include "platform.h"

namespace svcpsim {

static_assert(kErrorInvalidFunction == ERROR_INVALID_FUNCTION, "Win32 code");
static_assert(kErrorNotSupported == ERROR_NOT_SUPPORTED, "Win32 code");
static_assert(kErrorInvalidParameter == ERROR_INVALID_PARAMETER, "Win32 code");
static_assert(kErrorIoDevice == ERROR_IO_DEVICE, "Win32 code");
static_assert(kIoctlRequestResponse == CTL_CODE(0x8077u, 0x801u, METHOD_BUFFERED, FILE_ANY_ACCESS),
              "I/O-control code");

const GUID kSimInterfaceClass = {
    0xFF1A9A71, 0xA14D, 0x4A6B, {0xA7, 0x78, 0x76, 0xA5, 0x41, 0xA7, 0x8F, 0x1A}};

namespace {

class SimDriver : public svcp::IDeviceDriver {
public:
    explicit SimDriver(std::shared_ptr<CSimServiceProcessor> serviceProcessor)
        : m_pServiceProcessor(std::move(serviceProcessor)) {}

    DWORD IoControl(DWORD code, const void* input, DWORD inputSize, void* output, DWORD outputSize,
                    DWORD* bytesReturned) override {
        size_t answered = 0;
        const uint32_t result =
            m_pServiceProcessor->IoControl(code, input, inputSize, output, outputSize, &answered);
        *bytesReturned = static_cast<DWORD>(answered);
        return result;
    }

private:
    const std::shared_ptr<CSimServiceProcessor> m_pServiceProcessor;
};

}  // namespace

std::shared_ptr<svcp::IDeviceDriver> MakeSimDriver(
    std::shared_ptr<CSimServiceProcessor> serviceProcessor) {
    return std::make_shared<SimDriver>(std::move(serviceProcessor));
}

std::wstring SimDevicePath(unsigned instance) {
    wchar_t path[96];
    std::swprintf(path, sizeof path / sizeof path[0],
                  L"\\\\?\\ROOT#SVCPSIM#%04u#{ff1a9a71-a14d-4a6b-a778-76a541a78f1a}",
                  instance % 10000);
    return path;
}

CSimDevice::CSimDevice(std::shared_ptr<CSimServiceProcessor> serviceProcessor, unsigned instance)
    : m_pServiceProcessor(std::move(serviceProcessor)), m_sPath(SimDevicePath(instance)) {
    Register();
}

CSimDevice::~CSimDevice() {
    Remove();
}

bool CSimDevice::Register() {
    if (m_Registration == 0) {
        m_Registration =
            svcp::RegisterDevice(kSimInterfaceClass, m_sPath, MakeSimDriver(m_pServiceProcessor));
    }
    return m_Registration != 0;
}

void CSimDevice::Remove() {
    if (m_Registration != 0) {
        svcp::RemoveDevice(m_Registration);
        m_Registration = 0;
    }
}

}  // namespace svcpsim
