// The standard output the monitor writes its table and messages to.
//
// PrepareConsole runs once, at start, before anything is written. Windows
// (ConsoleWindows.cpp): a console gets the UTF-8 code page, so that the
// descriptions the monitor writes as UTF-8 show as they are, and, where it
// has one, its virtual-terminal mode, so that colours and cursor movements
// work; a console without that mode gets plain text. Elsewhere
// (ConsolePosix.cpp): a terminal takes UTF-8 and colours as it is.
#pragma once

struct ConsoleTraits {
    // Standard output is an interactive terminal or console (not a file or
    // a pipe).
    bool isTerminal = false;
    // It interprets the ANSI escape sequences of colours and cursor moves.
    bool escapes = false;
};

ConsoleTraits PrepareConsole();
