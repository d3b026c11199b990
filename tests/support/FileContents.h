// What was written to a temporary FILE (tmpfile()), from its start, and
// counting in it.
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

// How many times `what` occurs in `text`, overlaps included.
inline size_t CountOccurrences(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++count;
    }
    return count;
}
