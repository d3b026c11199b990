#include "Console.h"

void PrepareConsole() {}

void RestoreConsole() {}
