#include "run/BoundedFile.h"

#include <filesystem>
#include <fstream>
#include <system_error>

#include "run/CommandLine.h"

bool ReadBoundedFile(const std::string& path, size_t maxBytes, std::string& text,
                     std::string& error) {
    std::string narrow;
    if (!PathForNarrowCall(path, narrow)) {
        error = path + ": the path has characters outside the system's code page";
        return false;
    }
    std::error_code failure;
    const std::filesystem::path file(narrow);
    if (!std::filesystem::is_regular_file(file, failure)) {
        error = path + ": " + (failure ? failure.message() : "not a regular file");
        return false;
    }
    std::ifstream in(file, std::ios::binary);
    // One byte more than allowed tells a file too large from one just large enough.
    text.assign(maxBytes + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (in.bad() || (!in && !in.eof())) {
        error = path + ": cannot be read";
        return false;
    }
    text.resize(static_cast<size_t>(in.gcount()));
    if (text.size() > maxBytes) {
        error = path + ": larger than " + std::to_string(maxBytes) + " bytes";
        return false;
    }
    return true;
}
