// svcproc-monitor's watch on a real terminal, driven through tmux: at 100x24
// the frame fits and does not scroll, a resize redraws it for the new width
// without leaving old frames behind, and SIGTERM or SIGINT restore the
// screen (main screen, cursor shown).
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/process/ShellOutput.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

// One tmux server of the test's own, with its own configuration.
class CTmux {
public:
    CTmux() : m_sSocket("svcp-monitor-test-" + std::to_string(getpid())) {
        m_sConfig = testing::TempDir() + "/" + m_sSocket + ".conf";
        std::ofstream(m_sConfig) << "set -g status off\n";
    }
    ~CTmux() {
        Run("kill-server");
        std::remove(m_sConfig.c_str());
    }

    static bool Available() { return Installed("tmux"); }

    // A tmux command's standard output.
    std::string Run(const std::string& arguments) {
        const std::string command =
            "tmux -L " + m_sSocket + " -f " + Quote(m_sConfig) + " " + arguments + " 2>/dev/null";
        return ShellOutput(command);
    }

    std::string Format(const std::string& format) {
        std::string value = Run("display-message -p -t m " + Quote(format));
        while (!value.empty() && value.back() == '\n') {
            value.pop_back();
        }
        return value;
    }

    // The pane's lines, wrapped lines joined (a line too long for the
    // window shows as one longer line).
    std::vector<std::string> Screen() {
        const std::string text = Run("capture-pane -p -J -t m");
        std::vector<std::string> lines;
        size_t start = 0;
        for (size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
            lines.push_back(text.substr(start, end - start));
            start = end + 1;
        }
        return lines;
    }

    // Polls the screen until `ready` holds or 8 s pass.
    template <typename Predicate>
    bool WaitFor(Predicate ready) {
        const Clock::time_point deadline = Clock::now() + std::chrono::seconds(8);
        while (Clock::now() < deadline) {
            if (ready(Screen())) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

private:
    std::string m_sSocket;
    std::string m_sConfig;
};

size_t Columns(const std::string& line) {
    size_t columns = 0;
    for (char c : line) {
        columns += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }
    return columns;
}

size_t CountContaining(const std::vector<std::string>& lines, const std::string& text) {
    size_t count = 0;
    for (const std::string& line : lines) {
        count += line.find(text) != std::string::npos;
    }
    return count;
}

bool Contains(const std::vector<std::string>& lines, const std::string& text) {
    return CountContaining(lines, text) != 0;
}

// The whole frame is there: its title, the last LED, the alerts heading.
bool FrameDrawn(const std::vector<std::string>& lines) {
    return Contains(lines, "svcproc-monitor  ") && Contains(lines, "Standby") &&
           Contains(lines, "Alerts:");
}

void ExpectOneFrameWithin(const std::vector<std::string>& lines, size_t columns) {
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0].rfind("svcproc-monitor  ", 0), 0u) << "the title on the first row";
    EXPECT_EQ(CountContaining(lines, "svcproc-monitor  "), 1u) << "one frame, no old ones";
    EXPECT_EQ(CountContaining(lines, "Chassis Fan"), 1u);
    for (const std::string& line : lines) {
        EXPECT_LE(Columns(line), columns) << line;
    }
}

// SIGTERM runs with NO_COLOR=1, SIGINT with NO_COLOR empty (colour).
class MonitorTerminal : public testing::TestWithParam<int> {
protected:
    static std::string NoColor() { return GetParam() == SIGTERM ? "1" : ""; }
};

TEST_P(MonitorTerminal, FitsSurvivesAResizeAndRestoresTheScreen) {
    if (!CTmux::Available()) {
        GTEST_SKIP() << "tmux is not installed";
    }
    CTmux tmux;
    // The monitor's shell stays after it, so that the screen it leaves can
    // be looked at (tmux hides the cursor of a dead pane).
    // Per test process: CTest runs the signal cases at the same time.
    const std::string pidFile =
        testing::TempDir() + "/monitor-terminal-" + std::to_string(getpid()) + ".pid";
    std::remove(pidFile.c_str());
    const std::string monitor = "echo $$ > " + Quote(pidFile) +
                                "; exec env SVCP_DEVICE_DIR= NO_COLOR=" + NoColor() + " " +
                                std::string(SVCPROC_MONITOR) + " --simulate --interval 0.2";
    const std::string command = "sh -c " + Quote(monitor) + "; echo monitor-exit=$?; sleep 60";
    tmux.Run("new-session -d -s m -x 100 -y 24 " + Quote(command));
    ASSERT_TRUE(tmux.WaitFor(FrameDrawn)) << tmux.Run("capture-pane -p -t m");
    EXPECT_EQ(tmux.Format("#{pane_width}x#{pane_height}"), "100x24");
    EXPECT_EQ(tmux.Format("#{alternate_on}"), "1");
    EXPECT_EQ(tmux.Format("#{cursor_flag}"), "0") << "the cursor hidden while drawing";
    std::vector<std::string> lines = tmux.Screen();
    ExpectOneFrameWithin(lines, 100);
    const std::string styled = tmux.Run("capture-pane -p -e -t m");
    EXPECT_EQ(styled.find("\033[32mOk") != std::string::npos, NoColor().empty())
        << "colour unless NO_COLOR is set and not empty";
    EXPECT_FALSE(Contains(lines, "LNR")) << "the compact layout at 100 columns";
    EXPECT_TRUE(Contains(lines, "LCR"));

    tmux.Run("resize-window -t m -x 160 -y 40");
    ASSERT_TRUE(tmux.WaitFor([](const std::vector<std::string>& shown) {
        return FrameDrawn(shown) && Contains(shown, "LNR");
    })) << tmux.Run("capture-pane -p -t m");
    lines = tmux.Screen();
    ExpectOneFrameWithin(lines, 160);
    EXPECT_TRUE(Contains(lines, "UNR")) << "the full layout at 160 columns";

    tmux.Run("resize-window -t m -x 90 -y 20");
    ASSERT_TRUE(tmux.WaitFor([](const std::vector<std::string>& shown) {
        return Contains(shown, "svcproc-monitor  ") && !Contains(shown, "LNR");
    })) << tmux.Run("capture-pane -p -t m");
    lines = tmux.Screen();
    ExpectOneFrameWithin(lines, 90);
    EXPECT_LE(lines.size(), 20u);

    pid_t pid = 0;
    std::ifstream(pidFile) >> pid;
    ASSERT_GT(pid, 0);
    ASSERT_EQ(kill(pid, GetParam()), 0);
    ASSERT_TRUE(tmux.WaitFor([](const std::vector<std::string>& shown) {
        return Contains(shown, "monitor-exit=");
    })) << tmux.Run("capture-pane -p -t m");
    EXPECT_TRUE(Contains(tmux.Screen(), "monitor-exit=0"));
    EXPECT_EQ(tmux.Format("#{alternate_on}"), "0") << "back on the main screen";
    EXPECT_EQ(tmux.Format("#{cursor_flag}"), "1") << "the cursor shown again";
    EXPECT_FALSE(Contains(tmux.Screen(), "Chassis Fan")) << "the frames went with the screen";
    std::remove(pidFile.c_str());
}

INSTANTIATE_TEST_SUITE_P(Signals, MonitorTerminal, testing::Values(SIGTERM, SIGINT),
                         [](const testing::TestParamInfo<int>& info) {
                             return std::string(info.param == SIGTERM ? "SIGTERM" : "SIGINT");
                         });

}  // namespace
