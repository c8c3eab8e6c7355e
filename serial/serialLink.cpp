#include "serial/serialLink.h"

size_t comPortNumbers(uint32_t mask, int* out)
{
    size_t count = 0;
    for (int bit = 0; bit < serialProbeCount; ++bit) {
        if (mask & (uint32_t(1) << bit))
            out[count++] = bit + 1;
    }
    return count;
}
