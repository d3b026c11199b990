// Devices of other processes. A process (svcproc-sim, a test) serves a
// device driver, and optionally an SMBIOS table, on a Unix-domain socket in
// the device directory; every process's device registry lists the devices
// found there after its own (device_registry.h) and routes CreateFileW and
// DeviceIoControl to them, and the WMI provider serves the table
// (wmi_provider.h), so that an application finds a served device as it
// finds a real driver.
//
// The device directory, decided once per process from its environment:
//   SVCP_DEVICE_DIR        when set; set but empty turns discovery off
//   $XDG_RUNTIME_DIR/svcproc  otherwise, when XDG_RUNTIME_DIR is set
//   /tmp/svcproc-<uid>     otherwise
// Only this process's user and root may serve it: a directory owned by
// anyone else, or that its group or others may write to (sticky or not), is
// ignored, and so is a socket file of another owner or a server process
// running as another user (checked on every connection, SO_PEERCRED). Each
// refusal is said once on standard error ("svcproc: ignoring ..."). Every
// socket named *.sock in the directory is asked, in name order, what it
// serves; one that does not answer (its server is gone) is passed over.
//
// The exchange. A client connects and sends requests, one at a time, each
// answered before the next; a connection may carry any number of them.
// Numbers are 32-bit little-endian.
//   request  magic "SVCP" (0x50435653), operation, code, output size,
//            payload length, then the payload
//   reply    magic, status (a Win32 error code, 0 for success), count,
//            payload length, then the payload
// Operations:
//   1 describe      reply payload: the interface class (GUID fields,
//                   little-endian) then the device path, 32 bits per
//                   character
//   2 I/O control   request: the code, the output size and the input
//                   bytes; reply: the driver's status and, on success, the
//                   bytes it returned (count = their number, at most the
//                   output size)
//   3 SMBIOS table  reply payload: the table; status ERROR_NOT_FOUND when
//                   the server serves none
// A reply's payload is at most kMaxSocketPayload bytes, a request's at most
// kMaxRequestPayload and so is an I/O control's output size; a request that
// breaks these rules ends its connection, read no further than its header.
//
// Failures reach the caller as Win32 codes: a server that cannot be reached
// or closes the connection gives ERROR_DEVICE_NOT_CONNECTED, one that does
// not answer within the time-out ERROR_TIMEOUT, a malformed reply
// ERROR_IO_DEVICE. No call blocks longer than its time-out; SIGPIPE is never
// raised.
//
// Everything here is thread-safe.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device_registry.h"

namespace svcp {

constexpr uint32_t kMaxSocketPayload = 4u << 20;
// The largest request: an I/O control's input (the service processor's
// packets are 96 bytes).
constexpr uint32_t kMaxRequestPayload = 64u << 10;
// Longer than any answer the simulated service processor delays.
constexpr unsigned kSocketDeviceTimeoutMs = 3000;

// The directory the environment names (rules above); "" when discovery is off.
SVCP_PLATFORM_API std::string DefaultDeviceDirectory();

// The directory the process's registry and WMI provider look in: the
// default until set. "" turns discovery off. Handles already open stay with
// their devices.
SVCP_PLATFORM_API std::string GetDeviceDirectory();
SVCP_PLATFORM_API void SetDeviceDirectory(const std::string& directory);

// A provider of the devices served in `directory`, for a caller that adds it
// itself (AddDeviceProvider). Each listing asks the sockets again; a device
// whose server has gone is removed (its handles then fail with
// ERROR_DEVICE_NOT_CONNECTED).
SVCP_PLATFORM_API std::shared_ptr<IDeviceProvider> MakeSocketDeviceProvider(
    std::string directory, unsigned timeoutMs = kSocketDeviceTimeoutMs);

// The SMBIOS table of the first server in `directory` that serves one.
SVCP_PLATFORM_API bool ReadServedSmbiosTable(const std::string& directory,
                                             std::vector<uint8_t>* table,
                                             unsigned timeoutMs = kSocketDeviceTimeoutMs);

// The serving side: one device on <directory>/<name>.sock.
class SVCP_PLATFORM_API SocketDeviceServer {
public:
    struct Device {
        GUID interfaceClass{};
        std::wstring path;
        std::shared_ptr<IDeviceDriver> driver;
        std::optional<std::vector<uint8_t>> smbiosTable;
    };

    // What a server bears from its clients, and where it says what it
    // refused.
    struct Limits {
        // Connections served at once; more are closed as soon as accepted.
        unsigned maxConnections = 64;
        // A request must arrive whole this soon after its first byte.
        unsigned requestTimeoutMs = 5000;
        // Called on the accepting thread, at most once per 10 s for each
        // kind of trouble (too many connections, no descriptors, no
        // threads), with the number held back since; may be empty.
        std::function<void(const std::string&)> report;
    };

    // Creates the directory (mode 0700) when absent and starts serving: a
    // thread accepts connections and each connection is served by a thread
    // of its own, which calls the driver (concurrently, as the registry
    // does). When descriptors or threads run out, the connection is closed and
    // accepting pauses for 100 ms; no client can end the server. Fails,
    // with *error set, when clients would not trust the directory (above),
    // the path is too long for a socket, or a live server already holds
    // the socket (a stale socket file is replaced).
    static std::unique_ptr<SocketDeviceServer> Start(const std::string& directory,
                                                     const std::string& name, Device device,
                                                     std::string* error);
    static std::unique_ptr<SocketDeviceServer> Start(const std::string& directory,
                                                     const std::string& name, Device device,
                                                     Limits limits, std::string* error);
    ~SocketDeviceServer();  // Stop
    SocketDeviceServer(const SocketDeviceServer&) = delete;
    SocketDeviceServer& operator=(const SocketDeviceServer&) = delete;

    // Removes the socket file, ends every connection and waits for the
    // threads (a driver call in progress finishes first). Idempotent.
    void Stop();
    const std::string& SocketPath() const;

private:
    struct State;
    explicit SocketDeviceServer(std::unique_ptr<State> state);
    std::unique_ptr<State> m_pState;
};

}  // namespace svcp
