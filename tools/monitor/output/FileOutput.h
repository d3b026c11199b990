// --output FILE: each snapshot replaces the file whole.
#pragma once

#include <string>

// Writes through a temporary file beside `path` and a rename over it, so
// that a reader (node_exporter's or windows_exporter's textfile collector)
// never sees a half-written file. The bytes are written as they are, with
// no newline translation. False, with errno set where the platform has one,
// when the file could not be written or replaced.
bool WriteFileAtomically(const std::string& path, const std::string& text);
