// Child process of the environment tests: the configuration is read once per
// process, so each environment needs a fresh one.
//
//   log_env_child [set-level N] [set-file PATH] [trace-lines N]...
// prints "level N" (LogGetLevel) on standard output, then logs one line at
// each level 1..4, then N lines "trace line I" at level 4, and returns from
// main. With LOG_CHILD_STATIC_LINES set it also logs from a static
// constructor and a static destructor.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "LogControl.h"
#include "svcproc/logging/Log.h"

namespace {

struct StaticLines {
    StaticLines() : enabled(std::getenv("LOG_CHILD_STATIC_LINES") != nullptr) {
        if (enabled) {
            Log(LOG_LEVEL_ERROR, "static construction %d", 1);
        }
    }
    ~StaticLines() {
        if (enabled) {
            Log(LOG_LEVEL_ERROR, "static destruction %d", 2);
        }
    }
    bool enabled;
};

StaticLines g_staticLines;

}  // namespace

int main(int argc, char** argv) {
    int traceLines = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "set-level") == 0) {
            LogSetLevel(std::atoi(argv[i + 1]));
        } else if (std::strcmp(argv[i], "set-file") == 0) {
            if (LogSetFile(argv[i + 1]) != 0) {
                return 2;
            }
        } else if (std::strcmp(argv[i], "trace-lines") == 0) {
            traceLines = std::atoi(argv[i + 1]);
        } else {
            return 3;
        }
    }
    std::printf("level %d\n", LogGetLevel());
    for (int level = LOG_LEVEL_ERROR; level <= LOG_LEVEL_DEBUG; ++level) {
        Log(static_cast<_LOG_LEVEL>(level), "line at level %d", level);
    }
    for (int i = 0; i < traceLines; ++i) {
        Log(LOG_LEVEL_DEBUG, "trace line %d", i);
    }
    return 0;
}
