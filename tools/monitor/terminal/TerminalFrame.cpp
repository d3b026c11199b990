#include "terminal/Terminal.h"

#include <algorithm>

namespace {

// The alternate screen, the cursor hidden and no automatic wrap: a line too
// long for the window is cut rather than pushing the frame down.
const char* const kEnter = "\033[?1049h\033[?25l\033[?7l\033[H\033[2J";
const char* const kLeave = "\033[0m\033[?7h\033[?25h\033[?1049l";

bool IsContinuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The end of the escape sequence that starts at `at` (an ESC).
size_t EscapeEnd(const std::string& text, size_t at) {
    size_t i = at + 1;
    if (i < text.size() && text[i] == '[') {
        ++i;
        while (i < text.size() && !(text[i] >= '@' && text[i] <= '~')) {
            ++i;
        }
    }
    return i < text.size() ? i + 1 : text.size();
}

// The first `columns` columns of `line`, escape sequences kept.
std::string Clip(const std::string& line, size_t columns) {
    std::string out;
    size_t used = 0;
    for (size_t i = 0; i < line.size();) {
        if (line[i] == '\033') {
            const size_t end = EscapeEnd(line, i);
            out.append(line, i, end - i);
            i = end;
            continue;
        }
        size_t end = i + 1;
        while (end < line.size() && IsContinuation(line[end])) {
            ++end;
        }
        if (used == columns) {
            i = end;  // keep scanning: a colour's reset may follow
            continue;
        }
        out.append(line, i, end - i);
        ++used;
        i = end;
    }
    return out;
}

}  // namespace

size_t DisplayWidth(const std::string& text) {
    size_t width = 0;
    for (size_t i = 0; i < text.size();) {
        if (text[i] == '\033') {
            i = EscapeEnd(text, i);
            continue;
        }
        width += IsContinuation(text[i]) ? 0 : 1;
        ++i;
    }
    return width;
}

std::string ComposeFrame(const std::vector<std::string>& lines, TerminalSize size) {
    std::string frame = "\033[H";
    const size_t count = std::min(lines.size(), size.rows);
    for (size_t i = 0; i < count; ++i) {
        const std::string line = Clip(lines[i], size.columns);
        frame += line;
        // A line that fills the width leaves the cursor on its last
        // character, which erasing to the end of the line would remove.
        if (DisplayWidth(line) < size.columns) {
            frame += "\033[K";
        }
        if (i + 1 < count) {
            frame += "\r\n";
        }
    }
    frame += "\033[0m";
    // Below the frame: the rest of a taller earlier frame. Stepping down a
    // line is safe there, as the frame does not reach the last row.
    if (count < size.rows) {
        frame += "\r\n\033[J";
    }
    return frame;
}

bool CVtTerminal::Enter() {
    if (!m_bEntered) {
        m_bEntered = WriteAll(kEnter);
    }
    return m_bEntered;
}

void CVtTerminal::Leave() {
    if (m_bEntered) {
        m_bEntered = false;
        WriteAll(kLeave);
    }
}
