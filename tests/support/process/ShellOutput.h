// A shell command's standard output and exit status, and whether a program
// is on the PATH: for tests that check with tools of the host (curl,
// promtool, tmux) and are left out where they are missing.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>

// The command's standard output; `status`, when given, its exit status
// (-1 when it did not exit).
inline std::string ShellOutput(const std::string& command, int* status = nullptr) {
    FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    if (pipe == nullptr) {
        if (status != nullptr) {
            *status = -1;
        }
        return out;
    }
    char buffer[4096];
    size_t size = 0;
    while ((size = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        out.append(buffer, size);
    }
    const int code = pclose(pipe);
    if (status != nullptr) {
        *status = WIFEXITED(code) ? WEXITSTATUS(code) : -1;
    }
    return out;
}

inline bool Installed(const std::string& program) {
    return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}
