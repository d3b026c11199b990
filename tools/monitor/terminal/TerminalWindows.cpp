// A Windows console in virtual-terminal mode: the same escape sequences as
// a POSIX terminal for the alternate screen; the size from the console's
// window, a change of it noticed by asking (consoles send no signal). A
// console without that mode is no terminal here: the monitor then writes
// plain snapshots one after another.
#include <windows.h>

#include <io.h>

#include "terminal/Terminal.h"

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

namespace {

class CWindowsTerminal : public CVtTerminal {
public:
    explicit CWindowsTerminal(HANDLE console) : m_hConsole(console) { Size(m_Last); }

    ~CWindowsTerminal() override { Leave(); }

    bool Size(TerminalSize& size) override {
        CONSOLE_SCREEN_BUFFER_INFO info;
        if (!GetConsoleScreenBufferInfo(m_hConsole, &info)) {
            return false;
        }
        const SHORT columns = info.srWindow.Right - info.srWindow.Left + 1;
        const SHORT rows = info.srWindow.Bottom - info.srWindow.Top + 1;
        if (columns <= 0 || rows <= 0) {
            return false;
        }
        size.columns = static_cast<size_t>(columns);
        size.rows = static_cast<size_t>(rows);
        return true;
    }

    bool TakeResized() override {
        TerminalSize now;
        if (!Size(now) || (now.columns == m_Last.columns && now.rows == m_Last.rows)) {
            return false;
        }
        m_Last = now;
        return true;
    }

private:
    // The console's output code page is UTF-8 (PrepareConsole): the bytes go
    // as they are.
    bool WriteAll(const std::string& text) override {
        size_t done = 0;
        while (done < text.size()) {
            DWORD written = 0;
            if (!WriteFile(m_hConsole, text.data() + done, static_cast<DWORD>(text.size() - done),
                           &written, nullptr) ||
                written == 0) {
                return false;
            }
            done += written;
        }
        return true;
    }

    HANDLE m_hConsole;
    TerminalSize m_Last;
};

}  // namespace

std::unique_ptr<ITerminal> OpenTerminal(FILE* stream) {
    const int fd = _fileno(stream);
    const HANDLE handle =
        fd < 0 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    DWORD mode = 0;
    if (handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode) ||
        (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) == 0) {
        return nullptr;
    }
    return std::make_unique<CWindowsTerminal>(handle);
}
