#include "events/JournalSink.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "events/EventSink.h"

namespace {

// syslog(3)'s priorities.
const char* Priority(EventSeverity severity) {
    switch (severity) {
        case EventSeverity::Error:
            return "3";
        case EventSeverity::Warning:
            return "4";
        case EventSeverity::Information:
            break;
    }
    return "6";
}

void AppendField(std::string& out, const char* name, const std::string& value) {
    if (value.find('\n') == std::string::npos) {
        out += name;
        out += '=';
        out += value;
        out += '\n';
        return;
    }
    out += name;
    out += '\n';
    uint64_t size = value.size();
    for (int i = 0; i < 8; ++i) {
        out += static_cast<char>(size & 0xff);
        size >>= 8;
    }
    out += value;
    out += '\n';
}

class CJournalSink : public IEventSink {
public:
    CJournalSink(int socket, const sockaddr_un& address) : m_nSocket(socket), m_Address(address) {}
    ~CJournalSink() override { close(m_nSocket); }
    CJournalSink(const CJournalSink&) = delete;
    CJournalSink& operator=(const CJournalSink&) = delete;

    void Report(const SystemEvent& event) override {
        const std::string datagram = JournalDatagram(event);
        const ssize_t sent =
            sendto(m_nSocket, datagram.data(), datagram.size(), MSG_NOSIGNAL,
                   reinterpret_cast<const sockaddr*>(&m_Address), sizeof(m_Address));
        if (sent < 0 && !m_bFailed) {
            // Said once: the journal may be restarting, and the run goes on.
            m_bFailed = true;
            std::fprintf(stderr, "svcproc-monitor: cannot write to the journal: %s\n",
                         std::strerror(errno));
        }
    }

private:
    int m_nSocket;
    sockaddr_un m_Address;
    bool m_bFailed = false;
};

}  // namespace

std::string JournalSocketPath() {
    const char* path = std::getenv("SVCPROC_JOURNAL_SOCKET");
    return path != nullptr && *path != '\0' ? path : "/run/systemd/journal/socket";
}

bool JournalStreamMatches(const char* journalStream, int fd) {
    if (journalStream == nullptr) {
        return false;
    }
    unsigned long long device = 0;
    unsigned long long inode = 0;
    char rest = 0;
    if (std::sscanf(journalStream, "%llu:%llu%c", &device, &inode, &rest) != 2) {
        return false;
    }
    struct stat status {};
    return fstat(fd, &status) == 0 && static_cast<unsigned long long>(status.st_dev) == device &&
           static_cast<unsigned long long>(status.st_ino) == inode;
}

std::string JournalDatagram(const SystemEvent& event) {
    const EventKindInfo info = DescribeEventKind(event.kind);
    std::string out;
    AppendField(out, "MESSAGE", event.message);
    AppendField(out, "MESSAGE_ID", info.messageId);
    AppendField(out, "PRIORITY", Priority(info.severity));
    AppendField(out, "SYSLOG_IDENTIFIER", "svcproc-monitor");
    AppendField(out, "SVCPROC_EVENT_ID", std::to_string(info.eventId));
    if (!event.handle.empty()) {
        AppendField(out, "SVCPROC_SENSOR", event.sensor);
        AppendField(out, "SVCPROC_HANDLE", event.handle);
        AppendField(out, "SVCPROC_READING", event.reading);
    }
    return out;
}

bool StartedByServiceManager() {
    return JournalStreamMatches(std::getenv("JOURNAL_STREAM"), STDERR_FILENO);
}

std::unique_ptr<IEventSink> OpenSystemLog(std::string& error) {
    const std::string path = JournalSocketPath();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof(address.sun_path)) {
        error = "the journal's socket path is too long: " + path;
        return nullptr;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    struct stat status {};
    if (stat(path.c_str(), &status) != 0 || !S_ISSOCK(status.st_mode)) {
        error = "no journal at " + path;
        return nullptr;
    }
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::string("cannot open a socket for the journal: ") + std::strerror(errno);
        return nullptr;
    }
    return std::make_unique<CJournalSink>(fd, address);
}
