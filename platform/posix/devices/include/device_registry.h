// The devices behind SetupAPI and CreateFileW/DeviceIoControl on this host:
// what a kernel's device tree is on Windows. Drivers (the simulated service
// processor, test drivers) register device interfaces here; the library never
// includes this header and finds them through SetupAPI like any application.
//
// Devices come from providers. The built-in one holds the interfaces
// registered with RegisterDevice; the second, present from the start, lists
// the devices other processes serve in the device directory
// (socket_devices.h); other sources (devices found elsewhere and reached
// another way) implement IDeviceProvider and are added with
// AddDeviceProvider. Enumeration lists the providers' interfaces in the order
// the providers were added (the built-in one first), and a path is opened
// through the first provider that knows it.
//
// Every function here is thread-safe.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <condition_variable>
#include <string>
#include <vector>

#include "win/types.h"

namespace svcp {

// A device driver: the code that DeviceIoControl reaches.
class SVCP_PLATFORM_API IDeviceDriver {
public:
    virtual ~IDeviceDriver();

    // Handles one I/O-control request. `input` holds inputSize bytes of the
    // request; the answer goes to `output` (outputSize bytes), with the
    // number of valid answer bytes in *bytesReturned. As with
    // METHOD_BUFFERED, input and output are one buffer: read the request
    // before writing the answer. Returns ERROR_SUCCESS or the Win32 error
    // code the caller's DeviceIoControl fails with.
    //
    // Called concurrently from every thread that does I/O on the device, with
    // no lock of the registry held; may block (the caller waits). Must not
    // remove its own device (RemoveDevice waits for calls in progress).
    virtual DWORD IoControl(DWORD code, const void* input, DWORD inputSize, void* output,
                            DWORD outputSize, DWORD* bytesReturned) = 0;

    // A handle is being opened: ERROR_SUCCESS admits it, any other code fails
    // the CreateFileW with it. Same calling rules as IoControl.
    virtual DWORD OnOpen() { return ERROR_SUCCESS; }
    // A handle opened successfully has been closed. Not called once the device
    // has been removed.
    virtual void OnClose() {}
};

// One device interface as CreateFileW and DeviceIoControl see it: its class,
// path and driver, with the exclusive-open state and the removal. Providers
// create one per interface and hand out the same node for as long as the
// interface is present, so that exclusive opening holds across opens.
class SVCP_PLATFORM_API DeviceNode {
public:
    DeviceNode(const GUID& interfaceClass, std::wstring path,
               std::shared_ptr<IDeviceDriver> driver);
    ~DeviceNode();
    DeviceNode(const DeviceNode&) = delete;
    DeviceNode& operator=(const DeviceNode&) = delete;

    const GUID& InterfaceClass() const { return m_InterfaceClass; }
    const std::wstring& Path() const { return m_sPath; }

    // Admits a new handle (exclusive for share mode 0) and tells the driver.
    // ERROR_SUCCESS, ERROR_SHARING_VIOLATION, ERROR_FILE_NOT_FOUND when
    // removed, or the driver's refusal.
    DWORD Open(bool exclusive);
    // Ends a handle admitted by Open with the same `exclusive`.
    void Close(bool exclusive);
    // Forwards to the driver; ERROR_DEVICE_NOT_CONNECTED once removed.
    DWORD IoControl(DWORD code, const void* input, DWORD inputSize, void* output, DWORD outputSize,
                    DWORD* bytesReturned);

    // Takes the device away: later opens and I/O fail. Waits until the
    // driver's calls in progress have returned, then drops the node's
    // reference to the driver, so the driver is never called again and is not
    // kept alive by handles still open. Idempotent. Must not be called from
    // inside one of this driver's calls.
    void Remove();
    bool IsRemoved() const;

private:
    // The driver, counted as called until the object goes; null once removed.
    class CallScope {
    public:
        explicit CallScope(DeviceNode& node);
        ~CallScope();
        CallScope(const CallScope&) = delete;
        CallScope& operator=(const CallScope&) = delete;
        IDeviceDriver* Driver() const { return m_pDriver.get(); }

    private:
        DeviceNode& m_Node;
        std::shared_ptr<IDeviceDriver> m_pDriver;
    };

    const GUID m_InterfaceClass;
    const std::wstring m_sPath;
    mutable std::mutex m_Lock;
    std::condition_variable m_CallsDone;
    std::shared_ptr<IDeviceDriver> m_pDriver;  // null once removed
    bool m_bRemoved = false;
    bool m_bExclusiveHeld = false;
    unsigned m_nOpenHandles = 0;
    unsigned m_nCallsInProgress = 0;
};

// A source of devices.
class SVCP_PLATFORM_API IDeviceProvider {
public:
    virtual ~IDeviceProvider();
    // Appends the present interfaces of the class, in a stable order.
    virtual void ListInterfaces(const GUID& interfaceClass,
                                std::vector<std::shared_ptr<DeviceNode>>& nodes) = 0;
    // The present interface with this path (compared without regard to ASCII
    // case, as Windows does), or null.
    virtual std::shared_ptr<DeviceNode> FindInterface(const std::wstring& path) = 0;
};

// Adds a provider after those already present. Adding one twice does nothing.
SVCP_PLATFORM_API void AddDeviceProvider(std::shared_ptr<IDeviceProvider> provider);
// Takes a provider out of enumeration and lookup; its open handles stay as
// they are (the provider removes its nodes if their I/O must end).
SVCP_PLATFORM_API void RemoveDeviceProvider(const std::shared_ptr<IDeviceProvider>& provider);

// What the SetupAPI and CreateFileW stand-ins use: every provider asked in
// order.
SVCP_PLATFORM_API std::vector<std::shared_ptr<DeviceNode>> ListDeviceInterfaces(
    const GUID& interfaceClass);
SVCP_PLATFORM_API std::shared_ptr<DeviceNode> FindDeviceInterface(const std::wstring& path);

// The built-in provider. A registration names one interface of
// `interfaceClass` at `path` served by `driver`. Returns its id, or 0 when the
// path is empty, the driver null, or the path already registered here.
typedef uint64_t DeviceRegistration;
SVCP_PLATFORM_API DeviceRegistration RegisterDevice(const GUID& interfaceClass,
                                                    const std::wstring& path,
                                                    std::shared_ptr<IDeviceDriver> driver);
// Removes a registered interface (DeviceNode::Remove: waits for the driver's
// calls in progress; open handles then fail their I/O with
// ERROR_DEVICE_NOT_CONNECTED). False for an unknown id.
SVCP_PLATFORM_API bool RemoveDevice(DeviceRegistration registration);

}  // namespace svcp
