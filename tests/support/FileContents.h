// What was written to a temporary FILE (tmpfile()), from its start.
#pragma once

#include <cstdio>
#include <string>

inline std::string FileContents(FILE* file) {
    std::fflush(file);
    std::rewind(file);
    std::string text;
    char buffer[4096];
    size_t read = 0;
    while ((read = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        text.append(buffer, read);
    }
    return text;
}
