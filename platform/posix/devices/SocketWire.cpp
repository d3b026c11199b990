// Framing and bounded I/O of the socket devices.
#include "SocketWire.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <initializer_list>

#include "SocketTrust.h"
#include "socket_devices.h"

namespace svcp {
namespace wire {
namespace {

#ifdef MSG_NOSIGNAL
constexpr int kSendFlags = MSG_NOSIGNAL;
#else
constexpr int kSendFlags = 0;  // SO_NOSIGPIPE is set on the socket instead
#endif

void Put32(std::vector<uint8_t>& bytes, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        bytes.push_back(static_cast<uint8_t>(value >> shift));
    }
}

uint32_t Get32(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

// Milliseconds left, rounded up; 0 when past.
int Remaining(Deadline deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now() + std::chrono::microseconds(999));
    return static_cast<int>(std::max<int64_t>(0, std::min<int64_t>(left.count(), 1 << 30)));
}

// Waits for `events` on fd (or a readable wakeFd).
IoResult Wait(int fd, short events, Deadline deadline, int wakeFd) {
    while (true) {
        pollfd fds[2] = {{fd, events, 0}, {wakeFd, POLLIN, 0}};
        const int timeout = Remaining(deadline);
        const int ready = poll(fds, wakeFd >= 0 ? 2 : 1, timeout);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0) {
            return IoResult::Closed;
        }
        if (ready == 0) {
            return IoResult::TimedOut;
        }
        if (wakeFd >= 0 && (fds[1].revents & POLLIN) != 0) {
            return IoResult::Closed;
        }
        return IoResult::Ok;  // ready, or an error the next call reports
    }
}

IoResult ReceiveFrame(int fd, size_t headerWords, uint32_t maxPayload, uint32_t* header,
                      std::vector<uint8_t>* payload, Deadline deadline, int wakeFd) {
    uint8_t bytes[5 * 4];
    IoResult result = ReceiveAll(fd, bytes, headerWords * 4, deadline, wakeFd);
    if (result != IoResult::Ok) {
        return result;
    }
    for (size_t i = 0; i < headerWords; ++i) {
        header[i] = Get32(bytes + 4 * i);
    }
    const uint32_t length = header[headerWords - 1];
    if (header[0] != kMagic || length > maxPayload) {
        return IoResult::Malformed;
    }
    payload->resize(length);
    return length == 0 ? IoResult::Ok : ReceiveAll(fd, payload->data(), length, deadline, wakeFd);
}

}  // namespace

Deadline DeadlineAfter(unsigned milliseconds) {
    return std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
}

bool FitsSocketPath(const std::string& socketPath) {
    return !socketPath.empty() && socketPath.size() < sizeof(sockaddr_un{}.sun_path);
}

int Connect(const std::string& socketPath) {
    if (!FitsSocketPath(socketPath)) {
        return -1;
    }
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return -1;
    }
#ifdef SO_NOSIGPIPE
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on);
#endif
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    // A Unix-domain connect completes at once or fails (EAGAIN: the server's
    // queue is full, which a live server empties; treated as unreachable).
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    std::string why;
    if (!CheckPeer(fd, &why)) {
        ReportRefusal("device socket " + socketPath, why);
        close(fd);
        return -1;
    }
    return fd;
}

IoResult SendAll(int fd, const void* data, size_t size, Deadline deadline) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    while (size != 0) {
        const ssize_t sent = send(fd, bytes, size, kSendFlags | MSG_DONTWAIT);
        if (sent > 0) {
            bytes += sent;
            size -= static_cast<size_t>(sent);
            continue;
        }
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            const IoResult waited = Wait(fd, POLLOUT, deadline, -1);
            if (waited != IoResult::Ok) {
                return waited;
            }
            continue;
        }
        return IoResult::Closed;  // EPIPE, ECONNRESET and the like
    }
    return IoResult::Ok;
}

IoResult ReceiveAll(int fd, void* data, size_t size, Deadline deadline, int wakeFd) {
    auto* bytes = static_cast<uint8_t*>(data);
    while (size != 0) {
        const IoResult waited = Wait(fd, POLLIN, deadline, wakeFd);
        if (waited != IoResult::Ok) {
            return waited;
        }
        const ssize_t got = recv(fd, bytes, size, MSG_DONTWAIT);
        if (got > 0) {
            bytes += got;
            size -= static_cast<size_t>(got);
            continue;
        }
        if (got < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) {
            continue;
        }
        return IoResult::Closed;  // the peer closed, or the connection broke
    }
    return IoResult::Ok;
}

namespace {

// The magic, `fields`, the payload's length, then the payload.
std::vector<uint8_t> Encode(std::initializer_list<uint32_t> fields,
                            const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> bytes;
    bytes.reserve(4 * (fields.size() + 2) + payload.size());
    Put32(bytes, kMagic);
    for (uint32_t field : fields) {
        Put32(bytes, field);
    }
    Put32(bytes, static_cast<uint32_t>(payload.size()));
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    return bytes;
}

}  // namespace

std::vector<uint8_t> EncodeRequest(const Request& request) {
    return Encode({request.operation, request.code, request.outputSize}, request.payload);
}

std::vector<uint8_t> EncodeReply(const Reply& reply) {
    return Encode({reply.status, reply.count}, reply.payload);
}

IoResult ReceiveRequest(int fd, Request* request, Deadline deadline, int wakeFd) {
    uint32_t header[5] = {};
    const IoResult result =
        ReceiveFrame(fd, 5, kMaxRequestPayload, header, &request->payload, deadline, wakeFd);
    request->operation = header[1];
    request->code = header[2];
    request->outputSize = header[3];
    return result;
}

IoResult ReceiveReply(int fd, Reply* reply, Deadline deadline) {
    uint32_t header[4] = {};
    const IoResult result =
        ReceiveFrame(fd, 4, kMaxSocketPayload, header, &reply->payload, deadline, -1);
    reply->status = header[1];
    reply->count = header[2];
    return result;
}

IoResult Call(int fd, const Request& request, Reply* reply, Deadline deadline) {
    const std::vector<uint8_t> bytes = EncodeRequest(request);
    const IoResult sent = SendAll(fd, bytes.data(), bytes.size(), deadline);
    return sent != IoResult::Ok ? sent : ReceiveReply(fd, reply, deadline);
}

std::vector<std::string> ListSockets(const std::string& directory) {
    std::vector<std::string> sockets;
    struct stat info {};
    if (directory.empty() || (stat(directory.c_str(), &info) != 0 && errno == ENOENT)) {
        return sockets;  // no server has made it: nothing to say
    }
    std::string why;
    if (!CheckDeviceDirectory(directory, &why)) {
        ReportRefusal("device directory " + directory, why);
        return sockets;
    }
    DIR* listing = opendir(directory.c_str());
    if (listing == nullptr) {
        return sockets;
    }
    while (const dirent* entry = readdir(listing)) {
        const std::string name = entry->d_name;
        if (name.size() <= 5 || name.compare(name.size() - 5, 5, ".sock") != 0) {
            continue;
        }
        const std::string path = directory + "/" + name;
        if (!CheckSocketFile(path, &why)) {
            ReportRefusal("device socket " + path, why);
            continue;
        }
        sockets.push_back(path);
    }
    closedir(listing);
    std::sort(sockets.begin(), sockets.end());
    return sockets;
}

}  // namespace wire
}  // namespace svcp
