#include "platform/consoleText.h"

void consoleUseUtf8() {}
