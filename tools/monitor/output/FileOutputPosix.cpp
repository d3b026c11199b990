// Every step is taken relative to the target's folder, opened once, and the
// target itself is only ever renamed over: never opened, so never written
// through whatever it is.
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "output/FileOutput.h"

namespace {

// Tries on names already taken (by anything: file, link, fifo) before
// giving up; with random names a second try already means mischief.
constexpr int kNameAttempts = 8;

// Longer names leave no room for the temporary's suffix (NAME_MAX is 255).
constexpr size_t kLongestStem = 200;

std::string ErrnoText(int error) {
    return std::strerror(error);
}

const char* KindOf(mode_t mode) {
    switch (mode & S_IFMT) {
        case S_IFLNK:
            return "a symbolic link";
        case S_IFDIR:
            return "a directory";
        case S_IFCHR:
            return "a character device";
        case S_IFBLK:
            return "a block device";
        case S_IFIFO:
            return "a fifo";
        case S_IFSOCK:
            return "a socket";
        default:
            return "not a regular file";
    }
}

struct Target {
    std::string folder;  // "." when the path names none
    std::string name;
};

Target Split(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return {".", path};
    }
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

bool WriteAll(int fd, const std::string& text) {
    const char* bytes = text.data();
    size_t left = text.size();
    while (left != 0) {
        const ssize_t written = write(fd, bytes, left);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        bytes += written;
        left -= static_cast<size_t>(written);
    }
    return true;
}

// The existing file's permissions, then owner and group where permitted
// (only root gives a file away; a group the process is in is fine too).
// Set-id bits are not carried over: an output file has no use for them.
void CarryOver(int fd, const struct stat& existing) {
    struct stat created {};
    if (fstat(fd, &created) != 0) {
        return;
    }
    const bool owned = created.st_uid == existing.st_uid && created.st_gid == existing.st_gid;
    if (!owned && fchown(fd, existing.st_uid, existing.st_gid) != 0 &&
        fchown(fd, static_cast<uid_t>(-1), existing.st_gid) != 0) {
        // Neither permitted: the file stays the process's own.
    }
    if (fchmod(fd, existing.st_mode & 0777) != 0) {
        // Then it keeps 0644 less the umask, as a new file would.
    }
}

class Folder {
public:
    explicit Folder(const std::string& path)
        : m_Fd(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}
    ~Folder() {
        if (m_Fd >= 0) {
            close(m_Fd);
        }
    }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    int Fd() const { return m_Fd; }

private:
    int m_Fd;
};

}  // namespace

std::string RandomTemporaryName(const std::string& name) {
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    unsigned char random[16] = {};
    size_t got = 0;
    while (got < sizeof random) {
        const ssize_t n = getrandom(random + got, sizeof random - got, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;  // the open with O_EXCL still refuses a taken name
        }
        got += static_cast<size_t>(n);
    }
    std::string text = name.substr(0, kLongestStem) + ".tmp.";
    for (unsigned char byte : random) {
        text.push_back(kLetters[byte % (sizeof kLetters - 1)]);
    }
    return text;
}

bool WriteFileAtomically(const std::string& path, const std::string& text, std::string* error,
                         const TemporaryNamer& namer) {
    const Target target = Split(path);
    if (target.name.empty() || target.name == "." || target.name == "..") {
        *error = "not a file name";
        return false;
    }
    const Folder folder(target.folder);
    if (folder.Fd() < 0) {
        *error = ErrnoText(errno);
        return false;
    }
    struct stat existing {};
    const bool exists =
        fstatat(folder.Fd(), target.name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0;
    if (!exists && errno != ENOENT) {
        *error = ErrnoText(errno);
        return false;
    }
    if (exists && S_ISLNK(existing.st_mode)) {
        *error =
            "a symbolic link, which is neither written through nor replaced; give the file's own "
            "path";
        return false;
    }
    if (exists && !S_ISREG(existing.st_mode)) {
        *error = std::string("not a regular file but ") + KindOf(existing.st_mode) +
                 ", which is never replaced";
        return false;
    }

    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < kNameAttempts && fd < 0; ++attempt) {
        temporary = namer(target.name);
        fd = openat(folder.Fd(), temporary.c_str(),
                    O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0 && errno != EEXIST) {
            break;
        }
    }
    if (fd < 0) {
        *error = errno == EEXIST ? "no free name for a temporary file" : ErrnoText(errno);
        return false;
    }
    if (exists) {
        CarryOver(fd, existing);
    }
    bool written = WriteAll(fd, text) && fsync(fd) == 0;
    int failure = errno;
    if (close(fd) != 0 && written) {
        written = false;
        failure = errno;
    }
    if (written &&
        renameat(folder.Fd(), temporary.c_str(), folder.Fd(), target.name.c_str()) != 0) {
        written = false;
        failure = errno;
    }
    if (!written) {
        unlinkat(folder.Fd(), temporary.c_str(), 0);
        *error = ErrnoText(failure);
        return false;
    }
    // The rename itself survives a power cut once the folder is on disk.
    (void)fsync(folder.Fd());
    return true;
}
