#include "Console.h"

void PrepareConsole() {}
