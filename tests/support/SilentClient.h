// A TCP client of a server on the loopback that connects and sends nothing
// until destroyed: what a stalled or hostile scraper looks like.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

class SilentClient {
public:
    explicit SilentClient(int port) : m_Fd(socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_bConnected =
            connect(m_Fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }
    ~SilentClient() { close(m_Fd); }
    SilentClient(const SilentClient&) = delete;
    SilentClient& operator=(const SilentClient&) = delete;
    bool Connected() const { return m_bConnected; }

private:
    int m_Fd;
    bool m_bConnected = false;
};
