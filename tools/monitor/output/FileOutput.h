// --output FILE: each snapshot replaces the file whole.
#pragma once

#include <functional>
#include <string>

// The name of a temporary file beside `name` (a file name without folder),
// tried once; called again when that name is taken.
using TemporaryNamer = std::function<std::string(const std::string& name)>;

// `name`.tmp. and 16 random letters and digits: nobody can foresee it.
std::string RandomTemporaryName(const std::string& name);

// Writes through a temporary file beside `path` and a rename over it, so
// that a reader (node_exporter's or windows_exporter's textfile collector)
// never sees a half-written file. The bytes are written as they are, with
// no newline translation.
//
// Nothing at a name it uses can make it write elsewhere: the temporary file
// is created exclusively, never through a link, under an unpredictable
// name. Only a regular file is replaced: a symbolic link (or other reparse
// point) at `path` is refused rather than written through or replaced, and
// so are a device, a fifo, a socket and a directory. An existing file keeps
// its permissions and, where the process may set them, its owner and group;
// a new one gets 0644 less the umask (on Windows, the folder's inherited
// access).
//
// False, with *error saying why in a few words ("not a regular file but a
// character device"), when the file was not replaced; the temporary file
// is removed then.
bool WriteFileAtomically(const std::string& path, const std::string& text, std::string* error,
                         const TemporaryNamer& namer = RandomTemporaryName);
