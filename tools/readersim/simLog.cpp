#include "tools/readersim/simLog.h"

#include <cstdarg>
#include <cstdio>

void simStatus(SimLog& log, const char* format, ...)
{
    char text[512] = "# ";
    va_list args;
    va_start(args, format);
    std::vsnprintf(text + 2, sizeof text - 2, format, args);
    va_end(args);
    log.line(text);
}
