#include "terminal/Console.h"

void PrepareConsole() {}

void RestoreConsole() {}
