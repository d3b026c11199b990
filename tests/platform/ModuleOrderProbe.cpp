// Loads the probe module and returns from main without unloading it, so that
// its unload happens at process exit. Prints each step on its own line.
#include <dlfcn.h>

#include <cstdio>

namespace {
void Print(const char* step) {
    std::puts(step);
    std::fflush(stdout);
}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        return 2;
    }
    void* module = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        std::fprintf(stderr, "%s\n", dlerror());
        return 1;
    }
    auto start = reinterpret_cast<void (*)(void (*)(const char*))>(dlsym(module, "ProbeStart"));
    if (start == nullptr) {
        return 1;
    }
    start(&Print);
    Print("main returns");
    return 0;
}
