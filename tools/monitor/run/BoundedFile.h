// Reading a configuration file given on the command line: a regular file
// only (no device, pipe or directory that could block or never end), of
// bounded size, named in UTF-8 on every platform.
#pragma once

#include <cstddef>
#include <string>

// The whole file into text; false with "PATH: reason" when it is not a
// regular file, cannot be read or holds more than maxBytes.
bool ReadBoundedFile(const std::string& path, size_t maxBytes, std::string& text,
                     std::string& error);
