#include "RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace svcpsim {
namespace {

const char* KindOf(mode_t mode) {
    if (S_ISDIR(mode)) {
        return "a directory";
    }
    if (S_ISCHR(mode)) {
        return "a character device";
    }
    if (S_ISBLK(mode)) {
        return "a block device";
    }
    if (S_ISFIFO(mode)) {
        return "a FIFO";
    }
    if (S_ISSOCK(mode)) {
        return "a socket";
    }
    return "not a file";
}

std::string SizeText(size_t size) {
    if (size % (1u << 20) == 0) {
        return std::to_string(size >> 20) + " MiB";
    }
    return std::to_string(size) + " bytes";
}

class Descriptor {
public:
    explicit Descriptor(int fd) : m_Fd(fd) {}
    ~Descriptor() {
        if (m_Fd >= 0) {
            close(m_Fd);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return m_Fd; }

private:
    int m_Fd;
};

}  // namespace

bool ReadRegularFile(const std::string& path, size_t maxSize, std::string* bytes,
                     std::string* problem) {
    // Non-blocking so that opening a FIFO returns at once; it is refused
    // below. A regular file's reads ignore the flag.
    const Descriptor file(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.Get() < 0) {
        *problem = std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (fstat(file.Get(), &info) != 0) {
        *problem = std::strerror(errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        *problem = std::string("not a regular file (") + KindOf(info.st_mode) + ")";
        return false;
    }
    const std::string tooLarge = "larger than " + SizeText(maxSize);
    if (static_cast<unsigned long long>(info.st_size) > maxSize) {
        *problem = tooLarge;
        return false;
    }
    // The size may change while reading: read no more than one byte past
    // the limit whatever fstat said.
    bytes->clear();
    bytes->reserve(static_cast<size_t>(info.st_size));
    char chunk[65536];
    while (true) {
        const ssize_t count = read(file.Get(), chunk, sizeof chunk);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            *problem = std::strerror(errno);
            return false;
        }
        if (count == 0) {
            return true;
        }
        if (static_cast<size_t>(count) > maxSize - bytes->size()) {
            *problem = tooLarge;
            return false;
        }
        bytes->append(chunk, static_cast<size_t>(count));
    }
}

}  // namespace svcpsim
