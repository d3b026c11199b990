// The watch's terminal: its size, its alternate screen, and frames written
// whole. One implementation per platform (TerminalPosix.cpp,
// TerminalWindows.cpp); the frame text (ComposeFrame) and the escape
// sequences (CVtTerminal) are the same everywhere.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

struct TerminalSize {
    size_t columns = 0;
    size_t rows = 0;
};

class ITerminal {
public:
    virtual ~ITerminal() = default;

    // The window's size now; false when it cannot be told.
    virtual bool Size(TerminalSize& size) = 0;

    // True once after each change of the window's size (the next frame must
    // be laid out again). Never blocks.
    virtual bool TakeResized() = 0;

    // Switches to the alternate screen and hides the cursor. False when the
    // terminal could not be written.
    virtual bool Enter() = 0;

    // Undoes Enter: back to the main screen, cursor shown, attributes reset.
    // Does nothing unless entered; safe to call twice.
    virtual void Leave() = 0;

    // Writes one frame (ComposeFrame's text) with a single write, so the
    // terminal never shows half of it. False when the write failed.
    virtual bool WriteFrame(const std::string& frame) = 0;
};

// What the platforms' terminals share: the same VT sequences for the
// alternate screen, and frames written whole through the platform's WriteAll.
class CVtTerminal : public ITerminal {
public:
    bool Enter() override;
    void Leave() override;
    bool WriteFrame(const std::string& frame) override { return WriteAll(frame); }

protected:
    // All of `text`, in one write unless the terminal takes part of it.
    // False when a write failed.
    virtual bool WriteAll(const std::string& text) = 0;

private:
    bool m_bEntered = false;
};

// The terminal behind `stream`, or null when `stream` is not a terminal.
std::unique_ptr<ITerminal> OpenTerminal(FILE* stream);

// The columns `text` takes on a terminal: UTF-8 characters, escape sequences
// ("\033[...m") taking none.
size_t DisplayWidth(const std::string& text);

// A screen's worth of `lines`: the cursor sent home, each line cut to the
// width and cleared to its end, at most `size.rows` lines and no newline
// after the last (so the screen never scrolls), the rest of the screen
// cleared. Overwriting instead of clearing first keeps the frame from
// flickering.
std::string ComposeFrame(const std::vector<std::string>& lines, TerminalSize size);
