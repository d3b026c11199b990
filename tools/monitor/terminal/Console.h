// The standard streams the monitor writes its table, documents and messages
// to, made ready once at start, before anything is written.
//
// Windows (ConsoleWindows.cpp): the streams write their bytes untranslated
// (no CR added before LF, so files and pipes get what Linux writes); a
// console gets the UTF-8 output code page, so that the UTF-8 descriptions
// show as they are, and its virtual-terminal mode where it has one, so that
// colours and the watch's screen work (OpenTerminal offers a terminal only
// then; a console without it gets plain text). Both console settings are
// put back at exit. Elsewhere (ConsolePosix.cpp): nothing to do, a terminal
// takes UTF-8 and escape sequences as it is.
#pragma once

void PrepareConsole();
// Puts the console settings back now (for an end that skips the exit
// functions); does nothing the second time.
void RestoreConsole();
