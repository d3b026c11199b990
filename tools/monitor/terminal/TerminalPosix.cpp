// The terminal through its file descriptor: TIOCGWINSZ for the size,
// SIGWINCH for changes of it, VT sequences for the alternate screen.
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>

#include "terminal/Terminal.h"

namespace {

std::atomic<bool> g_resized{false};

void NoteResize(int) {
    g_resized.store(true);
}

class CPosixTerminal : public CVtTerminal {
public:
    explicit CPosixTerminal(int fd) : m_Fd(fd) {
        struct sigaction action {};
        action.sa_handler = &NoteResize;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGWINCH, &action, &m_PreviousWinch);
    }

    ~CPosixTerminal() override {
        Leave();
        sigaction(SIGWINCH, &m_PreviousWinch, nullptr);
    }

    bool Size(TerminalSize& size) override {
        struct winsize window {};
        if (ioctl(m_Fd, TIOCGWINSZ, &window) != 0 || window.ws_col == 0 || window.ws_row == 0) {
            return false;
        }
        size.columns = window.ws_col;
        size.rows = window.ws_row;
        return true;
    }

    bool TakeResized() override { return g_resized.exchange(false); }

private:
    bool WriteAll(const std::string& text) override {
        size_t done = 0;
        while (done < text.size()) {
            const ssize_t written = write(m_Fd, text.data() + done, text.size() - done);
            if (written < 0 && errno == EINTR) {
                continue;
            }
            if (written <= 0) {
                return false;
            }
            done += static_cast<size_t>(written);
        }
        return true;
    }

    int m_Fd;
    struct sigaction m_PreviousWinch {};
};

}  // namespace

std::unique_ptr<ITerminal> OpenTerminal(FILE* stream) {
    const int fd = fileno(stream);
    if (fd < 0 || isatty(fd) == 0) {
        return nullptr;
    }
    return std::make_unique<CPosixTerminal>(fd);
}
