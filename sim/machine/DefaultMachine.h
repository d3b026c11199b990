// The built-in machine: sim/machines/pos-terminal.json, compiled in (the
// build generates its text from that file).
#pragma once

#include <string>

#include "MachineDescription.h"

namespace svcpsim {

constexpr const char* kDefaultMachineOrigin = "pos-terminal.json (built in)";

// The text of sim/machines/pos-terminal.json.
const char* DefaultMachineText();

// The machine described in the file at `path`, or the built-in one when
// `path` is empty. False with *error set when the description is unusable.
bool LoadMachine(const std::string& path, MachineDescription* machine, std::string* error);

}  // namespace svcpsim
