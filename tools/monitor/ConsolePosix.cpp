#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Console.h"

ConsoleTraits PrepareConsole() {
    ConsoleTraits traits;
    traits.isTerminal = isatty(fileno(stdout)) != 0;
    const char* term = std::getenv("TERM");
    traits.escapes = traits.isTerminal && (term == nullptr || std::strcmp(term, "dumb") != 0);
    return traits;
}
