// Reading machine description files (docs/machine-description.md).
//
// Errors name the place: "pos.json:23: /sensors/4/kind: expected "voltage",
// "fan" or "temperature", not "fann"". Text that is not JSON is reported at
// the line and column where parsing stopped; a problem in a document that is
// JSON at the line of the value concerned (for a missing member, the line of
// the object that lacks it), with its JSON pointer.
//
// Bounded whatever the input: a file is read only when it is a regular file
// of at most kMaxMachineFileSize bytes, containers nest at most
// kMaxDescriptionDepth levels (refused while parsing, before the tree is
// built), memory grows linearly with the text and nothing recurses with its
// depth.
//
// Free functions without shared state: thread-safe.
#pragma once

#include <string>

#include "MachineDescription.h"
#include "RegularFile.h"

namespace svcpsim {

// The root object is the first level: {"a": [1]} nests 2 deep.
constexpr size_t kMaxDescriptionDepth = 64;

// Parses a description. `origin` names it in messages (a file name).
// `baseDirectory` is where a relative "smbiosTable" path starts; the table
// is read here. On failure returns false with *error set and *machine
// unspecified.
bool ParseMachineDescription(const std::string& text, const std::string& origin,
                             const std::string& baseDirectory, MachineDescription* machine,
                             std::string* error);

// Reads and parses the file at `path` (origin: the path; base directory: the
// file's own).
bool LoadMachineDescription(const std::string& path, MachineDescription* machine,
                            std::string* error);

}  // namespace svcpsim
