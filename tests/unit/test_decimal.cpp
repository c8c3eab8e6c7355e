#include <gtest/gtest.h>

#include "common/decimal.h"

TEST(Decimal, SignedConversionRules)
{
    struct Case {
        const char* text;
        int32_t value;
    };
    const Case cases[] = {
        {"8800", 8800},       {"  42", 42},          {"-7", -7},        {"+9", 9},
        {"12abc", 12},        {"abc", 0},            {"", 0},           {"70000", 70000},
        {"99999999999", INT32_MAX}, {"-99999999999", INT32_MIN}, {"- 5", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parseSigned(c.text), c.value) << '"' << c.text << '"';
    EXPECT_EQ(parseSigned(nullptr), 0);
    EXPECT_EQ(uint16_t(parseSigned("70000")), 4464);  // the port is the low 16 bits
}

TEST(Decimal, UnsignedConversionRules)
{
    struct Case {
        const char* text;
        uint32_t value;
    };
    const Case cases[] = {
        {"4294967295", 4294967295u}, {"3000000000", 3000000000u}, {" 10", 10u},
        {"4294967296", 4294967295u}, {"-1", 4294967295u},         {"x", 0u},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parseUnsigned(c.text), c.value) << '"' << c.text << '"';
}
