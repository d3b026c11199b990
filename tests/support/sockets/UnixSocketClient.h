// A client's end of a Unix stream socket, as the simulator's clients hold one.
#pragma once

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <string>

// A descriptor connected to the socket at `path` (with `flags` such as
// SOCK_NONBLOCK), or -1.
inline int ConnectTo(const std::string& path, int flags = 0) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | flags, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// True when the server closed `fd` (end of stream) within `timeoutMs`.
inline bool ClosedByServer(int fd, int timeoutMs) {
    pollfd ready = {fd, POLLIN, 0};
    char byte = 0;
    return poll(&ready, 1, timeoutMs) == 1 && recv(fd, &byte, 1, MSG_DONTWAIT) == 0;
}
