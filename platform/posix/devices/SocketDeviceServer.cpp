// The serving side of socket devices: a listening socket, a thread that
// accepts, and a thread per connection that answers its requests.
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <list>
#include <mutex>
#include <new>
#include <stdexcept>
#include <thread>

#include "NoticeThrottle.h"
#include "SocketTrust.h"
#include "SocketWire.h"
#include "socket_devices.h"

namespace svcp {
namespace {

constexpr unsigned kReplyTimeoutMs = 5000;  // a client that does not read its reply is dropped
constexpr int kBacklog = 16;
// How long accepting pauses when descriptors or threads have run out: the
// pending connection stays queued, so retrying at once would spin.
constexpr std::chrono::milliseconds kResourceBackOff(100);
constexpr std::chrono::seconds kNoticePeriod(10);

bool SetCloseOnExec(int fd) {
    return fcntl(fd, F_SETFD, FD_CLOEXEC) == 0;
}

// Creates the missing directories of `path`, each with mode 0700.
bool MakeDirectories(const std::string& path) {
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string prefix = path.substr(0, slash);
        if (!prefix.empty() && mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
        if (slash == std::string::npos) {
            return true;
        }
    }
}

std::string Failure(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

void Put32(std::vector<uint8_t>& bytes, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        bytes.push_back(static_cast<uint8_t>(value >> shift));
    }
}

}  // namespace

struct SocketDeviceServer::State {
    struct Connection {
        int fd;
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };

    Device device;
    Limits limits;
    std::string socketPath;
    int listenFd = -1;
    int wake[2] = {-1, -1};  // readable once stopping: wakes every wait
    std::thread acceptor;
    std::mutex lock;
    bool stopped = false;               // guarded by lock
    std::list<Connection> connections;  // guarded by lock
    // The acceptor's alone.
    CNoticeThrottle crowdNotice{kNoticePeriod};
    CNoticeThrottle descriptorNotice{kNoticePeriod};
    CNoticeThrottle threadNotice{kNoticePeriod};

    ~State() {
        for (int fd : {listenFd, wake[0], wake[1]}) {
            if (fd >= 0) {
                close(fd);
            }
        }
    }

    void Accept() {
        while (WaitFor(listenFd, -1)) {
            const int fd = accept(listenFd, nullptr, nullptr);
            if (fd < 0) {
                if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                    Notice(descriptorNotice, std::string("cannot accept: ") + std::strerror(errno));
                    if (!Pause()) {
                        return;
                    }
                }
                continue;  // EINTR, ECONNABORTED and the like: the next one
            }
            SetCloseOnExec(fd);
            fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
            if (!Admit(fd) && !Pause()) {
                return;
            }
        }
    }

    // Starts serving `fd`, or closes it at once: false when a thread could
    // not be had (accepting should pause).
    bool Admit(int fd) {
        std::string refusal;  // told after the lock is let go
        bool crowded = false;
        {
            std::lock_guard<std::mutex> guard(lock);
            Reap();
            crowded = connections.size() >= limits.maxConnections;
            if (crowded) {
                refusal = "refused a connection: " + std::to_string(connections.size()) +
                          " open, the most served at once";
            } else {
                try {
                    // The entry first: once the thread runs, nothing may throw.
                    auto done = std::make_shared<std::atomic<bool>>(false);
                    connections.push_back(Connection{fd, std::thread(), done});
                    try {
                        connections.back().thread = std::thread(&State::Serve, this, fd, done);
                    } catch (...) {
                        connections.pop_back();
                        throw;
                    }
                    return true;
                } catch (const std::exception& failure) {  // std::system_error, std::bad_alloc
                    refusal =
                        std::string("refused a connection: no thread for it: ") + failure.what();
                }
            }
        }
        close(fd);
        Notice(crowded ? crowdNotice : threadNotice, refusal);
        return crowded;
    }

    // Waits for `fd` to be readable (true), the stop (false) or `timeoutMs`.
    bool WaitFor(int fd, int timeoutMs) {
        while (true) {
            pollfd fds[2] = {{wake[0], POLLIN, 0}, {fd, POLLIN, 0}};
            const int ready = poll(fds, fd >= 0 ? 2 : 1, timeoutMs);
            if (ready < 0 && errno == EINTR) {
                continue;
            }
            return ready >= 0 && (fds[0].revents & POLLIN) == 0;
        }
    }

    // False when stopping.
    bool Pause() { return WaitFor(-1, static_cast<int>(kResourceBackOff.count())); }

    void Notice(CNoticeThrottle& throttle, const std::string& text) {
        unsigned long heldBack = 0;
        if (limits.report && throttle.Take(CNoticeThrottle::Clock::now(), &heldBack)) {
            limits.report(heldBack == 0 ? text
                                        : text + " (and " + std::to_string(heldBack) +
                                              " more like it since the last notice)");
        }
    }

    // Joins the threads of connections that have ended. REQUIRES: lock held.
    void Reap() {
        for (auto it = connections.begin(); it != connections.end();) {
            if (it->done->load()) {
                it->thread.join();
                it = connections.erase(it);
            } else {
                ++it;
            }
        }
    }

    void Serve(int fd, std::shared_ptr<std::atomic<bool>> done) {
        try {
            ServeRequests(fd);
        } catch (const std::bad_alloc&) {
            // This connection's request or reply: the connection goes.
        }
        close(fd);
        done->store(true);
    }

    // Requests until the client leaves, breaks the exchange or the server
    // stops. A connection may idle between requests as long as it likes.
    void ServeRequests(int fd) {
        while (WaitFor(fd, -1)) {
            wire::Request request;
            if (wire::ReceiveRequest(fd, &request, wire::DeadlineAfter(limits.requestTimeoutMs),
                                     wake[0]) != wire::IoResult::Ok) {
                return;
            }
            const std::vector<uint8_t> reply = wire::EncodeReply(Answer(request));
            if (wire::SendAll(fd, reply.data(), reply.size(),
                              wire::DeadlineAfter(kReplyTimeoutMs)) != wire::IoResult::Ok) {
                return;
            }
        }
    }

    wire::Reply Answer(const wire::Request& request) {
        wire::Reply reply;
        switch (request.operation) {
            case wire::kDescribe: {
                const GUID& c = device.interfaceClass;
                Put32(reply.payload, c.Data1);
                Put32(reply.payload, static_cast<uint32_t>(c.Data2) | (uint32_t{c.Data3} << 16));
                reply.payload.insert(reply.payload.end(), c.Data4, c.Data4 + 8);
                for (wchar_t character : device.path) {
                    Put32(reply.payload, static_cast<uint32_t>(character));
                }
                return reply;
            }
            case wire::kIoControl: {
                if (request.outputSize > kMaxRequestPayload) {
                    reply.status = ERROR_INVALID_PARAMETER;
                    return reply;
                }
                const auto inputSize = static_cast<DWORD>(request.payload.size());
                std::vector<uint8_t> buffer(std::max<size_t>(inputSize, request.outputSize));
                std::copy(request.payload.begin(), request.payload.end(), buffer.begin());
                DWORD returned = 0;
                reply.status =
                    device.driver->IoControl(request.code, buffer.data(), inputSize, buffer.data(),
                                             request.outputSize, &returned);
                if (reply.status == ERROR_SUCCESS) {
                    reply.count = std::min<DWORD>(returned, request.outputSize);
                    reply.payload.assign(buffer.begin(), buffer.begin() + reply.count);
                }
                return reply;
            }
            case wire::kSmbiosTable:
                if (device.smbiosTable) {
                    reply.payload = *device.smbiosTable;
                } else {
                    reply.status = ERROR_NOT_FOUND;
                }
                return reply;
            default:
                reply.status = ERROR_INVALID_FUNCTION;
                return reply;
        }
    }
};

std::unique_ptr<SocketDeviceServer> SocketDeviceServer::Start(const std::string& directory,
                                                              const std::string& name,
                                                              Device device, std::string* error) {
    return Start(directory, name, std::move(device), Limits(), error);
}

std::unique_ptr<SocketDeviceServer> SocketDeviceServer::Start(const std::string& directory,
                                                              const std::string& name,
                                                              Device device, Limits limits,
                                                              std::string* error) {
    if (!device.driver || device.path.empty()) {
        *error = "a device needs a driver and a path";
        return nullptr;
    }
    if (directory.empty() || !MakeDirectories(directory)) {
        *error = directory.empty() ? "no device directory" : Failure("cannot create " + directory);
        return nullptr;
    }
    // Clients would refuse a directory they cannot trust; so does the server.
    std::string why;
    if (!wire::CheckDeviceDirectory(directory, &why)) {
        *error = "cannot serve in " + directory + ": " + why;
        return nullptr;
    }
    auto state = std::make_unique<State>();
    state->device = std::move(device);
    state->limits = std::move(limits);
    state->socketPath = directory + "/" + name + ".sock";
    if (!wire::FitsSocketPath(state->socketPath)) {
        *error = "socket path too long: " + state->socketPath;
        return nullptr;
    }
    if (const int live = wire::Connect(state->socketPath); live >= 0) {
        close(live);
        *error = state->socketPath + " is already served by another process";
        return nullptr;
    }
    unlink(state->socketPath.c_str());  // a stale socket of a server that died

    state->listenFd = socket(AF_UNIX, SOCK_STREAM, 0);
    if (state->listenFd < 0 || !SetCloseOnExec(state->listenFd)) {
        *error = Failure("socket");
        return nullptr;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, state->socketPath.c_str(), state->socketPath.size() + 1);
    if (bind(state->listenFd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(state->listenFd, kBacklog) != 0) {
        *error = Failure("cannot listen on " + state->socketPath);
        unlink(state->socketPath.c_str());
        return nullptr;
    }
    if (pipe(state->wake) != 0 || !SetCloseOnExec(state->wake[0]) ||
        !SetCloseOnExec(state->wake[1])) {
        *error = Failure("pipe");
        unlink(state->socketPath.c_str());
        return nullptr;
    }
    state->acceptor = std::thread(&State::Accept, state.get());
    return std::unique_ptr<SocketDeviceServer>(new SocketDeviceServer(std::move(state)));
}

SocketDeviceServer::SocketDeviceServer(std::unique_ptr<State> state) : m_pState(std::move(state)) {}

SocketDeviceServer::~SocketDeviceServer() {
    Stop();
}

void SocketDeviceServer::Stop() {
    State& state = *m_pState;
    {
        std::lock_guard<std::mutex> guard(state.lock);
        if (state.stopped) {
            return;
        }
        state.stopped = true;
    }
    const char stop = 1;
    while (write(state.wake[1], &stop, 1) < 0 && errno == EINTR) {
    }
    state.acceptor.join();
    close(state.listenFd);
    state.listenFd = -1;
    unlink(state.socketPath.c_str());
    // No more connections come: the list is the acceptor's no longer.
    for (State::Connection& connection : state.connections) {
        connection.thread.join();
    }
    state.connections.clear();
}

const std::string& SocketDeviceServer::SocketPath() const {
    return m_pState->socketPath;
}

}  // namespace svcp
