// The command line as the monitor reads it: UTF-8 on every platform, so that
// an option (a path in --output) keeps every character whatever the system's
// code page. Windows hands a program its arguments in that code page; the
// wide command line has them whole.
#pragma once

#include <string>
#include <vector>

// The arguments, argv[0] first, as UTF-8. On Windows taken from the process's
// wide command line (argc and argv are used only if it cannot be read);
// elsewhere argv as it is.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// A UTF-8 path for a call that takes a narrow path in the C runtime's
// encoding (the log library's LogSetFile): on Windows converted to the
// system's code page, and false when a character has no place in it;
// elsewhere the path itself.
bool PathForNarrowCall(const std::string& utf8, std::string& narrow);
