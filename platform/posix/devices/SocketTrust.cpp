#include "SocketTrust.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>

namespace svcp {
namespace wire {
namespace {

// Past this many distinct refusals a process is being flooded with them;
// one more line would say nothing new.
constexpr size_t kRememberedRefusals = 32;

std::string Octal(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

std::string OwnerText(uid_t uid) {
    return "owned by uid " + std::to_string(static_cast<unsigned long>(uid)) +
           ", neither this user (uid " + std::to_string(static_cast<unsigned long>(geteuid())) +
           ") nor root";
}

}  // namespace

bool TrustedUser(uid_t uid) {
    return uid == 0 || uid == geteuid();
}

bool CheckDeviceDirectory(const std::string& directory, std::string* why) {
    struct stat info {};
    if (stat(directory.c_str(), &info) != 0) {
        *why = std::strerror(errno);
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        *why = "not a directory";
        return false;
    }
    if (!TrustedUser(info.st_uid)) {
        *why = OwnerText(info.st_uid);
        return false;
    }
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        *why = "writable by " +
               std::string((info.st_mode & S_IWOTH) != 0 ? "others" : "its group") + " (mode " +
               Octal(info.st_mode) + "), so anyone there could serve a device";
        return false;
    }
    return true;
}

bool CheckSocketFile(const std::string& path, std::string* why) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) {
        *why = std::strerror(errno);
        return false;
    }
    if (!S_ISSOCK(info.st_mode)) {
        *why = S_ISLNK(info.st_mode) ? "a symbolic link, not a socket" : "not a socket";
        return false;
    }
    if (!TrustedUser(info.st_uid)) {
        *why = OwnerText(info.st_uid);
        return false;
    }
    return true;
}

bool CheckPeer(int fd, std::string* why) {
#ifdef SO_PEERCRED
    ucred peer{};
    socklen_t size = sizeof peer;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || size != sizeof peer) {
        *why = std::string("its server's user is unknown: ") + std::strerror(errno);
        return false;
    }
    const uid_t uid = peer.uid;
#else
    uid_t uid = 0;
    gid_t gid = 0;
    if (getpeereid(fd, &uid, &gid) != 0) {
        *why = std::string("its server's user is unknown: ") + std::strerror(errno);
        return false;
    }
#endif
    if (!TrustedUser(uid)) {
        *why = "served by uid " + std::to_string(static_cast<unsigned long>(uid)) +
               ", neither this user nor root";
        return false;
    }
    return true;
}

void ReportRefusal(const std::string& what, const std::string& why) {
    static std::mutex lock;
    static std::set<std::string>* said = new std::set<std::string>();  // used during exit too
    const std::string line = "svcproc: ignoring " + what + ": " + why;
    {
        std::lock_guard<std::mutex> guard(lock);
        if (said->size() >= kRememberedRefusals || !said->insert(line).second) {
            return;
        }
    }
    std::fprintf(stderr, "%s\n", line.c_str());
}

}  // namespace wire
}  // namespace svcp
