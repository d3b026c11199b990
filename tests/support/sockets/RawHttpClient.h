// An HTTP/1.1 client on a bare loopback socket, for the server tests that
// need what an ordinary client hides: exact bytes sent (drips, oversized
// lines, pipelined requests), responses read one at a time from a kept-alive
// connection, and the moment the server closes.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <strings.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

struct RawHttpResponse {
    int status = 0;
    std::string head;  // status line and fields, up to the blank line
    std::string body;

    // A field's value (the name matched without regard to case); "" if absent.
    std::string Field(const std::string& name) const {
        size_t at = head.find("\r\n");
        while (at != std::string::npos && at + 2 < head.size()) {
            const size_t start = at + 2;
            const size_t end = head.find("\r\n", start);
            const std::string line = head.substr(start, end - start);
            const size_t colon = line.find(':');
            if (colon == name.size() && strncasecmp(line.c_str(), name.c_str(), name.size()) == 0) {
                const size_t value = line.find_first_not_of(' ', colon + 1);
                return value == std::string::npos ? "" : line.substr(value);
            }
            at = end;
        }
        return "";
    }
};

class RawHttpClient {
public:
    // Connects to the loopback port; every later read gives up after
    // `timeout_ms`, so a test never hangs on a server that says nothing.
    explicit RawHttpClient(int port, int timeout_ms = 5000)
        : m_Fd(socket(AF_INET, SOCK_STREAM, 0)) {
        timeval timeout{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
        setsockopt(m_Fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        setsockopt(m_Fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
        const int yes = 1;
        setsockopt(m_Fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_bConnected =
            connect(m_Fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }
    ~RawHttpClient() { close(m_Fd); }
    RawHttpClient(const RawHttpClient&) = delete;
    RawHttpClient& operator=(const RawHttpClient&) = delete;

    bool Connected() const { return m_bConnected; }

    // All of `bytes`; false once the server has closed or stopped reading.
    bool Send(const std::string& bytes) {
        size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = send(m_Fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) {
                return false;
            }
            sent += static_cast<size_t>(n);
        }
        return true;
    }

    // The next response; `bodiless` for the answer to a HEAD. False when the
    // connection ends or times out first.
    bool Read(RawHttpResponse& response, bool bodiless = false) {
        size_t end;
        while ((end = m_Pending.find("\r\n\r\n")) == std::string::npos) {
            if (!Fill()) {
                return false;
            }
        }
        response.head = m_Pending.substr(0, end + 2);
        m_Pending.erase(0, end + 4);
        response.status = response.head.size() > 12 && response.head.compare(0, 5, "HTTP/") == 0
                              ? std::atoi(response.head.c_str() + 9)
                              : 0;
        const std::string length = response.Field("Content-Length");
        const size_t size =
            bodiless || length.empty() ? 0 : std::strtoul(length.c_str(), nullptr, 10);
        while (m_Pending.size() < size) {
            if (!Fill()) {
                return false;
            }
        }
        response.body = m_Pending.substr(0, size);
        m_Pending.erase(0, size);
        return true;
    }

    // True when the server has closed the connection (end of stream or a
    // reset) with nothing more to read; false on data or a timeout.
    bool ClosedByServer() {
        if (!m_Pending.empty()) {
            return false;
        }
        char byte;
        const ssize_t n = recv(m_Fd, &byte, 1, 0);
        return n == 0 || (n < 0 && errno == ECONNRESET);
    }

    int Fd() const { return m_Fd; }

private:
    bool Fill() {
        char chunk[16384];
        const ssize_t n = recv(m_Fd, chunk, sizeof chunk, 0);
        if (n <= 0) {
            return false;
        }
        m_Pending.append(chunk, static_cast<size_t>(n));
        return true;
    }

    int m_Fd;
    bool m_bConnected = false;
    std::string m_Pending;
};

// One request on a connection of its own, and its answer (HEAD's without a
// body); a failure to send or read fails the calling test.
inline RawHttpResponse Ask(int port, const std::string& request, bool bodiless = false) {
    RawHttpClient client(port);
    RawHttpResponse response;
    EXPECT_TRUE(client.Send(request));
    EXPECT_TRUE(client.Read(response, bodiless)) << request;
    return response;
}
