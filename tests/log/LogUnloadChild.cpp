// Child process of the unload test: loads the logging library at run time
// (it is not linked in), writes level-4 lines to a file, unloads the library
// and checks that it is gone, then exits.
//
//   log_unload_child LIBRARY PATH LINES
// Exit status 0 when the library was unloaded; 2 when it cannot be loaded or
// lacks a function; 4 when it stays loaded after dlclose.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

namespace {

using LogFunction = void (*)(int, const char*, ...);
using SetLevelFunction = void (*)(int);
using SetFileFunction = int (*)(const char*);

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        return 3;
    }
    void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        std::fprintf(stderr, "%s\n", dlerror());
        return 2;
    }
    auto log = reinterpret_cast<LogFunction>(dlsym(library, "Log"));
    auto setLevel = reinterpret_cast<SetLevelFunction>(dlsym(library, "LogSetLevel"));
    auto setFile = reinterpret_cast<SetFileFunction>(dlsym(library, "LogSetFile"));
    if (log == nullptr || setLevel == nullptr || setFile == nullptr || setFile(argv[2]) != 0) {
        return 2;
    }
    setLevel(4);
    const int lines = std::atoi(argv[3]);
    for (int i = 0; i < lines; ++i) {
        log(4, "trace line %d", i);
    }
    dlclose(library);
    if (dlopen(argv[1], RTLD_NOW | RTLD_NOLOAD) != nullptr) {
        std::fprintf(stderr, "still loaded after dlclose\n");
        return 4;
    }
    return 0;
}
