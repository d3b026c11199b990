#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>

#include "terminal/Console.h"

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

namespace {

// What the console had before, for the exit.
UINT g_previousCodePage = 0;
DWORD g_previousMode = 0;
bool g_modeChanged = false;

void RestoreAtExit() {
    RestoreConsole();
}

}  // namespace

void RestoreConsole() {
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (g_modeChanged) {
        SetConsoleMode(out, g_previousMode);
        g_modeChanged = false;
    }
    if (g_previousCodePage != 0) {
        SetConsoleOutputCP(g_previousCodePage);
        g_previousCodePage = 0;
    }
}

void PrepareConsole() {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    // GetConsoleMode fails for anything that is not a console.
    if (out == INVALID_HANDLE_VALUE || out == nullptr || !GetConsoleMode(out, &mode)) {
        return;
    }
    const UINT codePage = GetConsoleOutputCP();
    if (codePage != CP_UTF8 && SetConsoleOutputCP(CP_UTF8)) {
        g_previousCodePage = codePage;
    }
    if ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) == 0 &&
        SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING)) {
        g_previousMode = mode;
        g_modeChanged = true;
    }
    std::atexit(&RestoreAtExit);
}
