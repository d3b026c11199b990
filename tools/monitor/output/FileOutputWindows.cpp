// The C runtime's rename refuses an existing target, so the replacement is
// MoveFileEx's. A reader that holds the file open without delete sharing
// (a collector reading it this moment) makes the move fail for a while:
// it is retried for up to half a second.
#include <windows.h>

#include <io.h>

#include <cerrno>
#include <cstdio>

#include "output/FileOutput.h"

bool WriteFileAtomically(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".tmp." + std::to_string(GetCurrentProcessId());
    FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size() &&
                         std::fflush(file) == 0 && _commit(_fileno(file)) == 0;
    const bool closed = std::fclose(file) == 0;
    bool moved = false;
    if (written && closed) {
        for (int attempt = 0; attempt < 10 && !moved; ++attempt) {
            if (attempt > 0) {
                Sleep(50);
            }
            moved = MoveFileExA(temporary.c_str(), path.c_str(),
                                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
        }
        if (!moved) {
            errno = GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
        }
    }
    if (!moved) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}
