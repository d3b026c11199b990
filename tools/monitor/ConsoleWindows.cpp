// A Windows console: UTF-8 output, and escape sequences only where the
// console interprets them (virtual-terminal processing, Windows 10 and
// later). Output redirected to a file or a pipe is left as it is: the bytes
// written there are UTF-8 already.
#include <windows.h>

#include "Console.h"

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

ConsoleTraits PrepareConsole() {
    ConsoleTraits traits;
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    // GetConsoleMode fails for anything that is not a console.
    if (out == INVALID_HANDLE_VALUE || out == nullptr || !GetConsoleMode(out, &mode)) {
        return traits;
    }
    traits.isTerminal = true;
    SetConsoleOutputCP(CP_UTF8);
    if ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
        SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING)) {
        traits.escapes = true;
    }
    return traits;
}
