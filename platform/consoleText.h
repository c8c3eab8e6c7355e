// Console programs print UTF-8. On Windows the console is switched to code
// page 65001 for input and output, so the Chinese messages read right in
// cmd.exe; a POSIX terminal needs nothing.
#pragma once

void consoleUseUtf8();
