// Decimal input as the dialogs read it: leading blanks and one sign allowed,
// conversion stops at the first other character, no digits gives 0.
// Out-of-range values saturate, as the C library's 32-bit conversions do.
#pragma once
#include <cstdint>

int32_t parseSigned(const char* text);
// Like strtoul with a 32-bit result: a leading '-' negates modulo 2^32.
uint32_t parseUnsigned(const char* text);
