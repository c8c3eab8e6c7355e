#include "common/decimal.h"

#include <cstdint>

namespace {

struct Scan {
    bool negative = false;
    bool overflow = false;
    uint64_t magnitude = 0;
};

// Reads blanks, an optional sign and digits; the magnitude stops growing at
// `limit` so no digit string can overflow the accumulator.
Scan scan(const char* text, uint64_t limit)
{
    Scan s;
    if (!text)
        return s;
    const char* p = text;
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\v' || *p == '\f')
        ++p;
    if (*p == '+' || *p == '-') {
        s.negative = *p == '-';
        ++p;
    }
    for (; *p >= '0' && *p <= '9'; ++p) {
        s.magnitude = s.magnitude * 10 + uint64_t(*p - '0');
        if (s.magnitude > limit) {
            s.overflow = true;
            s.magnitude = limit;
        }
    }
    return s;
}

}  // namespace

int32_t parseSigned(const char* text)
{
    const Scan s = scan(text, uint64_t(INT32_MAX) + 1);
    if (s.negative)
        return s.magnitude >= uint64_t(INT32_MAX) + 1 ? INT32_MIN : -int32_t(s.magnitude);
    return s.magnitude > uint64_t(INT32_MAX) ? INT32_MAX : int32_t(s.magnitude);
}

uint32_t parseUnsigned(const char* text)
{
    const Scan s = scan(text, uint64_t(UINT32_MAX) + 1);
    if (s.overflow || s.magnitude > UINT32_MAX)
        return UINT32_MAX;
    const uint32_t v = uint32_t(s.magnitude);
    return s.negative ? uint32_t(0u - v) : v;
}
