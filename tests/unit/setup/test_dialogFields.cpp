// Dialog field helpers: address text both ways and the GBK byte limits of
// the inputs.
#include <gtest/gtest.h>

#include "setupFakes.h"
#include "common/dialogFields.h"

TEST(DottedQuad, FormatsFirstOctetFromTheTopByte)
{
    EXPECT_EQ(dottedQuad(ipv4(192, 168, 1, 195)), "192.168.1.195");
    EXPECT_EQ(dottedQuad(0), "0.0.0.0");
    EXPECT_EQ(dottedQuad(0xFFFFFFFFu), "255.255.255.255");
}

TEST(DottedQuad, ParsesOnlyFourOctets)
{
    struct Case {
        const char* text;
        bool ok;
        uint32_t ip;
    };
    const Case cases[] = {
        {"192.168.0.0", true, ipv4(192, 168, 0, 0)},
        {"0.0.0.0", true, 0},
        {"255.255.255.255", true, 0xFFFFFFFFu},
        {"010.001.000.009", true, ipv4(10, 1, 0, 9)},
        {"", false, 0},
        {"1.2.3", false, 0},
        {"1.2.3.4.5", false, 0},
        {"256.1.1.1", false, 0},
        {"1.2.3.4 ", false, 0},
        {" 1.2.3.4", false, 0},
        {"1..3.4", false, 0},
        {"1.2.3.-4", false, 0},
        {"1.2.3.1000", false, 0},
        {"a.b.c.d", false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        uint32_t ip = 0x12345678;
        EXPECT_EQ(parseDottedQuad(c.text, &ip), c.ok);
        EXPECT_EQ(ip, c.ok ? c.ip : 0x12345678u);
    }
}

TEST(DialogFields, ReadsGbkWithinItsByteLimit)
{
    FakeSetupView view;
    DialogFields fields(view, systemTextCodec());
    view.type(1019, "读卡器ABC");
    EXPECT_EQ(fields.gbk(1019, 29), gbkOf("读卡器ABC"));
    EXPECT_EQ(fields.gbk(1019, 6), gbkOf("读卡器"));
    EXPECT_EQ(fields.gbk(1019, 5), gbkOf("读卡"));  // the third character does not fit whole
    EXPECT_EQ(fields.gbk(1019, 0), "");
    fields.showGbk(1019, gbkOf("设备一"));
    EXPECT_EQ(view.texts[1019], "设备一");
}

TEST(DialogFields, AddressIsMissingOnlyWhenBlank)
{
    FakeSetupView view;
    DialogFields fields(view, systemTextCodec());
    uint32_t ip = 7;
    EXPECT_FALSE(fields.address(1009, &ip));
    fields.showAddress(1009, ipv4(10, 0, 0, 1));
    EXPECT_TRUE(fields.address(1009, &ip));
    EXPECT_EQ(ip, ipv4(10, 0, 0, 1));
    fields.clearAddress(1009);
    EXPECT_EQ(view.addresses[1009], "");
    EXPECT_FALSE(fields.address(1009, &ip));
}
