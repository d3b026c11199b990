// A datagram socket bound where the monitor is told the journal is
// (SVCPROC_JOURNAL_SOCKET), and the fields of what arrives there.
#pragma once

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <string>

using JournalFields = std::map<std::string, std::string>;

class CFakeJournal {
public:
    explicit CFakeJournal(std::string path) : m_sPath(std::move(path)) {
        std::remove(m_sPath.c_str());
        m_nSocket = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof(address.sun_path), "%s", m_sPath.c_str());
        m_bBound = bind(m_nSocket, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    }
    ~CFakeJournal() {
        close(m_nSocket);
        std::remove(m_sPath.c_str());
    }
    CFakeJournal(const CFakeJournal&) = delete;
    CFakeJournal& operator=(const CFakeJournal&) = delete;

    bool Bound() const { return m_bBound; }
    const std::string& Path() const { return m_sPath; }

    // The next datagram's fields, both of the native protocol's forms read;
    // empty when none arrives in time.
    std::optional<JournalFields> Receive(std::chrono::milliseconds timeout) {
        pollfd ready{m_nSocket, POLLIN, 0};
        if (poll(&ready, 1, static_cast<int>(timeout.count())) != 1) {
            return std::nullopt;
        }
        char buffer[65536];
        const ssize_t size = recv(m_nSocket, buffer, sizeof(buffer), 0);
        if (size <= 0) {
            return std::nullopt;
        }
        const std::string datagram(buffer, static_cast<size_t>(size));
        JournalFields fields;
        size_t at = 0;
        while (at < datagram.size()) {
            const size_t end = datagram.find('\n', at);
            const std::string line = datagram.substr(at, end - at);
            const size_t equals = line.find('=');
            if (equals != std::string::npos) {
                fields[line.substr(0, equals)] = line.substr(equals + 1);
                at = end + 1;
                continue;
            }
            uint64_t length = 0;
            for (int i = 7; i >= 0; --i) {
                length = (length << 8) | static_cast<unsigned char>(datagram[end + 1 + i]);
            }
            fields[line] = datagram.substr(end + 9, length);
            at = end + 9 + length + 1;
        }
        return fields;
    }

private:
    std::string m_sPath;
    int m_nSocket = -1;
    bool m_bBound = false;
};
