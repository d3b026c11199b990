// Arguments and paths are bytes, passed on as they are.
#include "run/CommandLine.h"

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

bool PathForNarrowCall(const std::string& utf8, std::string& narrow) {
    narrow = utf8;
    return true;
}
