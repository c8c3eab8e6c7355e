#include "platform/consoleText.h"

#include <windows.h>

void consoleUseUtf8()
{
    SetConsoleOutputCP(CP_UTF8);
    SetConsoleCP(CP_UTF8);
}
