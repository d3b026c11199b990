// CommandLineToArgvW splits the wide command line as the C runtime splits
// the narrow one, so the arguments are the same ones, only whole.
#include <windows.h>

#include <shellapi.h>

#include "common/Utf8Encode.h"
#include "run/CommandLine.h"

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) {
        return std::vector<std::string>(argv, argv + argc);
    }
    std::vector<std::string> arguments;
    arguments.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        arguments.push_back(svcp::utf8::WideToUtf8(std::wstring(wide[i])));
    }
    LocalFree(wide);
    return arguments;
}

bool PathForNarrowCall(const std::string& utf8, std::string& narrow) {
    narrow.clear();
    if (utf8.empty()) {
        return true;
    }
    const int wideLength = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                               static_cast<int>(utf8.size()), nullptr, 0);
    if (wideLength <= 0) {
        return false;
    }
    std::wstring wide(static_cast<size_t>(wideLength), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                        wide.data(), wideLength);
    // No best fit: "Ω" must not quietly become "O" and name another file.
    BOOL lost = FALSE;
    const int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), wideLength,
                                           nullptr, 0, nullptr, &lost);
    if (length <= 0 || lost) {
        return false;
    }
    narrow.resize(static_cast<size_t>(length));
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), wideLength, narrow.data(),
                        length, nullptr, &lost);
    return !lost;
}
