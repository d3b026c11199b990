// The target is looked at without following a reparse point, the temporary
// is created new (CREATE_NEW fails on any existing name, a link included),
// and an existing file is replaced by ReplaceFile, which keeps its security
// descriptor (owner, access) and attributes. A reader that holds the file
// open without delete sharing (a collector reading it this moment) makes
// the replacement fail for a while: it is retried for up to half a second.
// Paths are UTF-8 (run/CommandLine.h); the wide calls keep every character.
#define _CRT_RAND_S  // rand_s: the system's random numbers
#include <windows.h>

#include <stdlib.h>

#include <algorithm>
#include <string>

#include "output/FileOutput.h"

namespace {

constexpr int kNameAttempts = 8;
constexpr int kReplaceAttempts = 10;
constexpr size_t kLongestStem = 200;

std::string ErrorText(DWORD code) {
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = length != 0 && text != nullptr ? std::string(text, length)
                                                         : "error " + std::to_string(code);
    if (text != nullptr) {
        LocalFree(text);
    }
    while (!message.empty() &&
           (message.back() == '\n' || message.back() == '\r' || message.back() == '.')) {
        message.pop_back();
    }
    return message;
}

std::wstring Wide(const std::string& path) {
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) {
        MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), wide.data(),
                            length);
    }
    return wide;
}

// What is at `path`, looked at without following a reparse point: true with
// *exists, or false with *error.
bool Inspect(const std::string& path, bool* exists, std::string* error) {
    const HANDLE handle =
        CreateFileW(Wide(path).c_str(), FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        *exists = false;
        if (code == ERROR_FILE_NOT_FOUND) {
            return true;
        }
        *error = ErrorText(code);
        return false;
    }
    *exists = true;
    BY_HANDLE_FILE_INFORMATION information{};
    const DWORD type = GetFileType(handle);
    const bool known = GetFileInformationByHandle(handle, &information) != 0;
    CloseHandle(handle);
    if (type != FILE_TYPE_DISK) {
        *error = type == FILE_TYPE_PIPE
                     ? "not a regular file but a pipe, which is never replaced"
                     : "not a regular file but a device, which is never replaced";
        return false;
    }
    if (!known) {
        *error = ErrorText(GetLastError());
        return false;
    }
    if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        *error =
            "a symbolic link or other reparse point, which is neither written through nor "
            "replaced; give the file's own path";
        return false;
    }
    if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        *error = "not a regular file but a directory, which is never replaced";
        return false;
    }
    return true;
}

bool WriteAll(HANDLE file, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(text.size() - done, 1u << 20));
        DWORD written = 0;
        if (!WriteFile(file, text.data() + done, chunk, &written, nullptr) || written == 0) {
            return false;
        }
        done += written;
    }
    return FlushFileBuffers(file) != 0;
}

// Replaces (or, when there was none, puts in place) `path` by `temporary`.
// False with the last error.
bool PutInPlace(const std::string& temporary, const std::string& path, bool exists) {
    for (int attempt = 0; attempt < kReplaceAttempts; ++attempt) {
        if (attempt > 0) {
            Sleep(50);
        }
        if (exists && ReplaceFileW(Wide(path).c_str(), Wide(temporary).c_str(), nullptr,
                                   REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
            return true;
        }
        if (exists) {
            const DWORD code = GetLastError();
            if (code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION ||
                code == ERROR_ACCESS_DENIED || code == ERROR_UNABLE_TO_REMOVE_REPLACED) {
                continue;  // in use: a reader has it open
            }
            // Anything else (the old file went meanwhile, or went aside):
            // a move puts the new one in place.
            exists = false;
        }
        if (MoveFileExW(Wide(temporary).c_str(), Wide(path).c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::string RandomTemporaryName(const std::string& name) {
    // Lower case only: names do not differ by case here.
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string text = name.substr(0, kLongestStem) + ".tmp.";
    for (int i = 0; i < 16; ++i) {
        unsigned int value = 0;
        if (rand_s(&value) != 0) {
            value =
                GetTickCount() * 2654435761u + static_cast<unsigned>(i);  // CREATE_NEW still holds
        }
        text.push_back(kLetters[value % (sizeof kLetters - 1)]);
    }
    return text;
}

bool WriteFileAtomically(const std::string& path, const std::string& text, std::string* error,
                         const TemporaryNamer& namer) {
    // A name without a folder is made relative to the current one, as
    // ReplaceFile wants it (Wine's fails on a bare name).
    const size_t slash = path.find_last_of("\\/");
    const std::string folder = slash == std::string::npos ? ".\\" : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string target = folder + name;
    if (name.empty() || name == "." || name == "..") {
        *error = "not a file name";
        return false;
    }
    bool exists = false;
    if (!Inspect(target, &exists, error)) {
        return false;
    }
    std::string temporary;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < kNameAttempts && file == INVALID_HANDLE_VALUE; ++attempt) {
        temporary = folder + namer(name);
        file = CreateFileW(Wide(temporary).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS &&
            GetLastError() != ERROR_ALREADY_EXISTS) {
            break;
        }
    }
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        *error = code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS
                     ? "no free name for a temporary file"
                     : ErrorText(code);
        return false;
    }
    const bool written = WriteAll(file, text);
    DWORD code = written ? ERROR_SUCCESS : GetLastError();
    CloseHandle(file);
    if (written && !PutInPlace(temporary, target, exists)) {
        code = GetLastError() != ERROR_SUCCESS ? GetLastError() : ERROR_SHARING_VIOLATION;
    }
    if (code != ERROR_SUCCESS) {
        DeleteFileW(Wide(temporary).c_str());
        *error = ErrorText(code);
        return false;
    }
    return true;
}
