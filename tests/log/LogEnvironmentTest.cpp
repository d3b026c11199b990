// Configuration from SVCP_LOG_LEVEL and SVCP_LOG_FILE, each case in a child
// process of its own (log_env_child), since a process reads them once; and
// the lines still buffered when a process exits or unloads the library.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "LogTestSupport.h"

extern char** environ;

namespace {

using logtest::ParseWrittenLine;
using logtest::SplitLines;
using logtest::TempPath;
using logtest::WrittenLine;

struct ChildResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs the child with the test's own environment less the variables under
// test, plus `variables`.
ChildResult RunChild(const std::vector<std::string>& variables,
                     const std::vector<std::string>& arguments = {},
                     const char* program = LOG_ENV_CHILD) {
    std::vector<std::string> environment;
    auto overridden = [&variables](const char* entry) {
        for (const std::string& variable : variables) {
            const size_t nameEnd = variable.find('=') + 1;
            if (std::strncmp(entry, variable.c_str(), nameEnd) == 0) {
                return true;
            }
        }
        return false;
    };
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, "SVCP_LOG_", 9) != 0 &&
            std::strncmp(*entry, "LOG_CHILD_", 10) != 0 && !overridden(*entry)) {
            environment.emplace_back(*entry);
        }
    }
    environment.insert(environment.end(), variables.begin(), variables.end());
    std::vector<char*> envp;
    for (std::string& entry : environment) {
        envp.push_back(&entry[0]);
    }
    envp.push_back(nullptr);
    std::vector<std::string> args = {program};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(&arg[0]);
    }
    argv.push_back(nullptr);

    TempPath out("child_out");
    TempPath err("child_err");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ChildResult result;
    if (spawned != 0) {
        ADD_FAILURE() << "cannot start " << argv[0] << ": " << std::strerror(spawned);
        return result;
    }
    int status = 0;
    if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
    }
    result.out = out.Read();
    result.err = err.Read();
    return result;
}

// The texts of written lines, each checked for shape; the level must match
// the one the text names.
std::vector<std::string> Texts(const std::string& written) {
    std::vector<std::string> texts;
    for (const std::string& text : SplitLines(written)) {
        WrittenLine line;
        if (!ParseWrittenLine(text, line)) {
            ADD_FAILURE() << "not a log line: " << text;
            continue;
        }
        texts.push_back(line.text);
    }
    return texts;
}

using Texts_t = std::vector<std::string>;
const Texts_t kUpToLevel1 = {"line at level 1"};
const Texts_t kUpToLevel2 = {"line at level 1", "line at level 2"};
const Texts_t kUpToLevel3 = {"line at level 1", "line at level 2", "line at level 3"};
const Texts_t kUpToLevel4 = {"line at level 1", "line at level 2", "line at level 3",
                             "line at level 4"};

TEST(LogEnvironment, DefaultsAreErrorsToStandardError) {
    const ChildResult child = RunChild({});
    ASSERT_EQ(0, child.exitCode) << child.err;
    EXPECT_EQ("level 1\n", child.out);
    EXPECT_EQ(kUpToLevel1, Texts(child.err));
}

TEST(LogEnvironment, LevelAndFile) {
    TempPath file("env_file");
    const ChildResult child = RunChild({"SVCP_LOG_LEVEL=3", "SVCP_LOG_FILE=" + file.str()});
    ASSERT_EQ(0, child.exitCode) << child.err;
    EXPECT_EQ("level 3\n", child.out);
    EXPECT_EQ("", child.err);
    EXPECT_EQ(kUpToLevel3, Texts(file.Read()));
}

TEST(LogEnvironment, FileNoneWritesNothing) {
    const ChildResult child = RunChild({"SVCP_LOG_LEVEL=4", "SVCP_LOG_FILE=none"});
    ASSERT_EQ(0, child.exitCode) << child.err;
    EXPECT_EQ("level 4\n", child.out);
    EXPECT_EQ("", child.err);
}

TEST(LogEnvironment, FileStderr) {
    const ChildResult child = RunChild({"SVCP_LOG_LEVEL=2", "SVCP_LOG_FILE=stderr"});
    ASSERT_EQ(0, child.exitCode) << child.err;
    EXPECT_EQ(kUpToLevel2, Texts(child.err));
}

TEST(LogEnvironment, LevelZeroWritesNothing) {
    const ChildResult child = RunChild({"SVCP_LOG_LEVEL=0"});
    ASSERT_EQ(0, child.exitCode) << child.err;
    EXPECT_EQ("level 0\n", child.out);
    EXPECT_EQ("", child.err);
}

TEST(LogEnvironment, UnusableLevelsAreIgnored) {
    for (const char* value : {"5", "-1", "x", "", "12", "3 "}) {
        const ChildResult child = RunChild({std::string("SVCP_LOG_LEVEL=") + value});
        ASSERT_EQ(0, child.exitCode) << child.err;
        EXPECT_EQ("level 1\n", child.out) << "SVCP_LOG_LEVEL=" << value;
        EXPECT_EQ(kUpToLevel1, Texts(child.err)) << "SVCP_LOG_LEVEL=" << value;
    }
}

TEST(LogEnvironment, UnopenableFileFallsBackToStandardError) {
    const ChildResult child =
        RunChild({"SVCP_LOG_LEVEL=2", "SVCP_LOG_FILE=/nonexistent-directory/svcp/log.txt"});
    ASSERT_EQ(0, child.exitCode) << child.err;
    const Texts_t texts = Texts(child.err);
    ASSERT_EQ(3u, texts.size()) << child.err;
    EXPECT_NE(std::string::npos, texts[0].find("/nonexistent-directory/svcp/log.txt"));
    EXPECT_EQ(kUpToLevel2, Texts_t(texts.begin() + 1, texts.end()));
}

TEST(LogEnvironment, CallsOverrideTheEnvironment) {
    TempPath fromEnvironment("env_ignored");
    TempPath fromCall("env_call");
    const ChildResult child =
        RunChild({"SVCP_LOG_LEVEL=4", "SVCP_LOG_FILE=" + fromEnvironment.str()},
                 {"set-level", "2", "set-file", fromCall.str()});
    ASSERT_EQ(0, child.exitCode) << child.err;
    EXPECT_EQ("level 2\n", child.out);
    EXPECT_EQ("", child.err);
    EXPECT_EQ(kUpToLevel2, Texts(fromCall.Read()));
    EXPECT_FALSE(fromEnvironment.Exists()) << "the environment's file was opened";
}

TEST(LogEnvironment, SetFileNoneOverridesTheEnvironment) {
    TempPath fromEnvironment("env_none");
    const ChildResult child =
        RunChild({"SVCP_LOG_FILE=" + fromEnvironment.str()}, {"set-file", "none"});
    ASSERT_EQ(0, child.exitCode) << child.err;
    EXPECT_EQ("", child.err);
    EXPECT_FALSE(fromEnvironment.Exists());
}

TEST(LogEnvironment, LinesDuringStaticConstructionAndDestruction) {
    TempPath file("env_static");
    const ChildResult child =
        RunChild({"LOG_CHILD_STATIC_LINES=1", "SVCP_LOG_LEVEL=1", "SVCP_LOG_FILE=" + file.str()});
    ASSERT_EQ(0, child.exitCode) << child.err;
    EXPECT_EQ("", child.err);
    const Texts_t expected = {"static construction 1", "line at level 1", "static destruction 2"};
    EXPECT_EQ(expected, Texts(file.Read()));
}

// Lines after the level-1 one wait in the file buffer; returning from main
// writes them.
TEST(LogEnvironment, BufferedLinesAreWrittenAtExit) {
    TempPath file("env_exit");
    const ChildResult child =
        RunChild({"SVCP_LOG_LEVEL=4", "SVCP_LOG_FILE=" + file.str()}, {"trace-lines", "200"});
    ASSERT_EQ(0, child.exitCode) << child.err;
    Texts_t expected = kUpToLevel4;
    for (int i = 0; i < 200; ++i) {
        expected.push_back("trace line " + std::to_string(i));
    }
    EXPECT_EQ(expected, Texts(file.Read()));
}

// A process that loads the library at run time and unloads it before it
// exits: the lines are written at the unload.
TEST(LogEnvironment, BufferedLinesAreWrittenWhenTheLibraryIsUnloaded) {
    TempPath file("env_unload");
    // The library's small state outlives an unload by design; the sanitizer
    // options of the test run would report it as a leak.
    const ChildResult child = RunChild({"ASAN_OPTIONS=detect_leaks=0"},
                                       {LOG_LIBRARY, file.str(), "200"}, LOG_UNLOAD_CHILD);
    ASSERT_EQ(0, child.exitCode) << child.err;
    Texts_t expected;
    for (int i = 0; i < 200; ++i) {
        expected.push_back("trace line " + std::to_string(i));
    }
    EXPECT_EQ(expected, Texts(file.Read()));
}

}  // namespace
