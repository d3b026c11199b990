// Load and unload order of a module: static objects, then the entry routine's
// attach; at unload the entry routine's detach, then the module's exit
// functions, then the static objects' destructors. Checked for dlclose and for
// process exit.
#include <dlfcn.h>

#include <cstdio>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

std::vector<std::string> g_steps;

void Record(const char* step) {
    g_steps.emplace_back(step);
}

using ::testing::ElementsAre;

TEST(ModuleEntry, DlcloseRunsDetachThenExitFunctionsThenStaticDestructors) {
    g_steps.clear();
    void* module = dlopen(MODULE_ORDER_PROBE_LIB, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    auto start = reinterpret_cast<void (*)(void (*)(const char*))>(dlsym(module, "ProbeStart"));
    ASSERT_NE(start, nullptr);
    start(&Record);
    EXPECT_THAT(g_steps, ElementsAre("static object constructed", "process attach"));

    g_steps.clear();
    ASSERT_EQ(dlclose(module), 0);
    EXPECT_THAT(g_steps,
                ElementsAre("process detach", "late exit function", "static object destroyed"));
}

TEST(ModuleEntry, ProcessExitKeepsTheSameUnloadOrder) {
    const std::string command = std::string(MODULE_ORDER_PROBE) + " " + MODULE_ORDER_PROBE_LIB;
    FILE* probe = popen(command.c_str(), "r");
    ASSERT_NE(probe, nullptr);
    std::vector<std::string> lines;
    char line[128];
    while (std::fgets(line, sizeof line, probe) != nullptr) {
        std::string text(line);
        if (!text.empty() && text.back() == '\n') {
            text.pop_back();
        }
        lines.push_back(text);
    }
    ASSERT_EQ(pclose(probe), 0);
    EXPECT_THAT(lines,
                ElementsAre("static object constructed", "process attach", "main returns",
                            "process detach", "late exit function", "static object destroyed"));
}

}  // namespace
