// The monitor's UTF-8 text (run/CommandLine.h) as UTF-16, for the wide
// Windows calls that take paths and command lines. Windows only.
#pragma once

#include <windows.h>

#include <string>

// Invalid UTF-8 becomes U+FFFD, as Windows converts it.
inline std::wstring Utf8ToWide(const std::string& text) {
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) {
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                            length);
    }
    return wide;
}
