// The C runtime's rename refuses an existing target, so the replacement is
// MoveFileEx's. A reader that holds the file open without delete sharing
// (a collector reading it this moment) makes the move fail for a while:
// it is retried for up to half a second.
#include <windows.h>

#include <io.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "output/FileOutput.h"

namespace {

// The path is UTF-8 (run/CommandLine.h); the wide calls keep every character.
std::wstring WidePath(const std::string& path) {
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) {
        MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), wide.data(),
                            length);
    }
    return wide;
}

}  // namespace

bool WriteFileAtomically(const std::string& path, const std::string& text) {
    const std::wstring target = WidePath(path);
    const std::wstring temporary = target + L".tmp." + std::to_wstring(GetCurrentProcessId());
    FILE* file = _wfopen(temporary.c_str(), L"wb");
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
            moved = MoveFileExW(temporary.c_str(), target.c_str(),
                                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
        }
        if (!moved) {
            errno = GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
        }
    }
    if (!moved) {
        _wremove(temporary.c_str());
        return false;
    }
    return true;
}
