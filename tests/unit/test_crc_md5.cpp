#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/crc16.h"
#include "common/md5.h"
#include "console/netPdu.h"

namespace {

std::string hex(const uint8_t* p, size_t n)
{
    static const char k[] = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s += k[p[i] >> 4];
        s += k[p[i] & 15];
    }
    return s;
}

uint16_t bitwiseModbus(const uint8_t* p, size_t n)
{
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int b = 0; b < 8; ++b)
            crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
    }
    return crc;
}

}  // namespace

TEST(Crc16, PublishedVectors)
{
    const uint8_t check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(netCrc16(check, sizeof check), 0x4B37);
    const uint8_t emptyLength[] = {0, 0};
    EXPECT_EQ(netCrc16(emptyLength, 2), 0xB001);
}

TEST(Crc16, TableMatchesBitwiseDefinitionOnEveryByteValue)
{
    uint8_t data[300];
    for (size_t i = 0; i < sizeof data; ++i)
        data[i] = uint8_t(i * 37 + 11);
    for (size_t n = 0; n <= sizeof data; n += 13)
        EXPECT_EQ(crcModbus16(data, n), bitwiseModbus(data, n)) << n;
}

TEST(Md5, Rfc1321TestSuite)
{
    struct Case {
        const char* text;
        const char* digest;
    };
    const Case cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const Case& c : cases) {
        uint8_t d[16];
        Md5::digest(reinterpret_cast<const uint8_t*>(c.text), std::strlen(c.text), d);
        EXPECT_EQ(hex(d, 16), c.digest) << c.text;
    }
}

TEST(Md5, IncrementalUpdatesEqualOneShot)
{
    uint8_t data[288];
    for (size_t i = 0; i < sizeof data; ++i)
        data[i] = uint8_t(i);
    uint8_t whole[16], parts[16];
    Md5::digest(data, sizeof data, whole);
    Md5 md5;
    md5.update(data, 1);
    md5.update(data + 1, 63);
    md5.update(data + 64, 200);
    md5.update(data + 264, 24);
    md5.finish(parts);
    EXPECT_EQ(hex(whole, 16), hex(parts, 16));
}
