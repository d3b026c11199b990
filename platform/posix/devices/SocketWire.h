// The socket devices' exchange (socket_devices.h has the format): framing,
// and I/O on non-blocking sockets bounded by a deadline and interruptible by
// a wake descriptor. Used by the client provider, the server and the WMI
// table source. Functions are thread-safe; a descriptor is used by one
// thread at a time.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace svcp {
namespace wire {

constexpr uint32_t kMagic = 0x50435653;  // "SVCP"

enum Operation : uint32_t {
    kDescribe = 1,
    kIoControl = 2,
    kSmbiosTable = 3,
};

struct Request {
    uint32_t operation = 0;
    uint32_t code = 0;
    uint32_t outputSize = 0;
    std::vector<uint8_t> payload;
};

struct Reply {
    uint32_t status = 0;
    uint32_t count = 0;
    std::vector<uint8_t> payload;
};

enum class IoResult { Ok, Closed, TimedOut, Malformed };

using Deadline = std::chrono::steady_clock::time_point;
Deadline DeadlineAfter(unsigned milliseconds);

// A connected, non-blocking, close-on-exec socket, or -1 (the path is too
// long, nobody listens, the server's queue is full, or the server runs as
// a user other than this one or root: SocketTrust.h).
int Connect(const std::string& socketPath);
// Sizes a socket path may have.
bool FitsSocketPath(const std::string& socketPath);

// Sends all bytes (without SIGPIPE) or reads exactly `size` bytes. Wait at
// most until `deadline`; a readable `wakeFd` (>= 0) ends the wait as
// Closed.
IoResult SendAll(int fd, const void* data, size_t size, Deadline deadline);
IoResult ReceiveAll(int fd, void* data, size_t size, Deadline deadline, int wakeFd = -1);

// Framing. A received frame with the wrong magic or an oversized payload
// (socket_devices.h) is Malformed, and nothing is allocated for it.
std::vector<uint8_t> EncodeRequest(const Request& request);
std::vector<uint8_t> EncodeReply(const Reply& reply);
IoResult ReceiveRequest(int fd, Request* request, Deadline deadline, int wakeFd);
IoResult ReceiveReply(int fd, Reply* reply, Deadline deadline);

// One request and its reply on a connected socket.
IoResult Call(int fd, const Request& request, Reply* reply, Deadline deadline);

// The sockets (*.sock) of a directory in name order; none when the
// directory is absent or not trusted, and only the sockets trusted
// (SocketTrust.h; refusals are reported there).
std::vector<std::string> ListSockets(const std::string& directory);

}  // namespace wire
}  // namespace svcp
