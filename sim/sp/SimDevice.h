// The simulated service processor as a device of this host: its driver,
// registered in the platform's device registry (device_registry.h) under the
// service processor's interface class, so that SetupAPI lists it and
// CreateFileW/DeviceIoControl reach it as they would the real driver.
//
// A CSimDevice is one interface instance. Two of them (instances 0 and 1)
// make the "two interfaces" machine; removing the only one makes the "no
// interface" machine. Several devices may serve one service processor.
//
// Thread-safety: the CSimDevice object itself is used from one thread (its
// owner's); the service processor it serves may be used from any thread, and
// the driver is called concurrently by every thread doing I/O.
#pragma once

#include <memory>
#include <string>

#include "SimServiceProcessor.h"
#include "device_registry.h"

namespace svcpsim {

// {FF1A9A71-A14D-4A6B-A778-76A541A78F1A}, the driver's interface class.
extern const GUID kSimInterfaceClass;

// \\?\ROOT#SVCPSIM#000n#{ff1a9a71-a14d-4a6b-a778-76a541a78f1a}
std::wstring SimDevicePath(unsigned instance);

// The driver of the service processor, for a device registered elsewhere
// (served to other processes, say).
std::shared_ptr<svcp::IDeviceDriver> MakeSimDriver(
    std::shared_ptr<CSimServiceProcessor> serviceProcessor);

class CSimDevice {
public:
    // Registers the interface at once (IsRegistered tells whether that
    // worked: it fails when the path is taken).
    explicit CSimDevice(std::shared_ptr<CSimServiceProcessor> serviceProcessor,
                        unsigned instance = 0);
    // Removes the interface.
    ~CSimDevice();
    CSimDevice(const CSimDevice&) = delete;
    CSimDevice& operator=(const CSimDevice&) = delete;

    // Registers again after Remove; true when registered afterwards.
    bool Register();
    // Takes the interface away: waits for the driver's calls in progress;
    // handles still open then fail with ERROR_DEVICE_NOT_CONNECTED.
    void Remove();
    bool IsRegistered() const { return m_Registration != 0; }

    const std::wstring& GetPath() const { return m_sPath; }
    CSimServiceProcessor& GetServiceProcessor() const { return *m_pServiceProcessor; }

private:
    std::shared_ptr<CSimServiceProcessor> m_pServiceProcessor;
    std::wstring m_sPath;
    svcp::DeviceRegistration m_Registration = 0;
};

}  // namespace svcpsim
