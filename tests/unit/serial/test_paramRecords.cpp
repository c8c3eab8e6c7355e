// The parameter record layouts against hand-built records, and the write
// payloads byte for byte.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "serial/configFrame.h"
#include "serial/paramRecords.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A reply payload built byte by byte at the record offsets.
struct Record {
    Bytes b;
    explicit Record(size_t n) : b(n, 0) {}
    Record& u8(size_t at, uint8_t v)
    {
        b.at(at) = v;
        return *this;
    }
    Record& u16(size_t at, uint16_t v) { return u8(at, uint8_t(v >> 8)).u8(at + 1, uint8_t(v)); }
    Record& u32(size_t at, uint32_t v)
    {
        return u16(at, uint16_t(v >> 16)).u16(at + 2, uint16_t(v));
    }
    Record& ip(size_t at, uint8_t a, uint8_t b2, uint8_t c, uint8_t d)
    {
        return u8(at, a).u8(at + 1, b2).u8(at + 2, c).u8(at + 3, d);
    }
    Record& text(size_t at, const std::string& t)
    {
        for (size_t i = 0; i < t.size(); ++i)
            u8(at + i, uint8_t(t[i]));
        return *this;
    }
    Record& bytes(size_t at, const Bytes& v)
    {
        for (size_t i = 0; i < v.size(); ++i)
            u8(at + i, v[i]);
        return *this;
    }
    ParamRecordStore store() const
    {
        ParamRecordStore s;
        s.assign(b.data(), b.size());
        return s;
    }
};

Bytes slice(const WritePayload& p, size_t from, size_t count)
{
    return Bytes(p.bytes.begin() + from, p.bytes.begin() + from + count);
}
Bytes textField(const std::string& t, size_t n)
{
    Bytes f(n, 0);
    std::memcpy(f.data(), t.data(), t.size());
    return f;
}
Bytes be32(uint32_t v) { return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; }
bool allZero(const WritePayload& p, size_t from, size_t to)  // inclusive
{
    for (size_t i = from; i <= to; ++i) {
        if (p.bytes[i] != 0)
            return false;
    }
    return true;
}

const Bytes kMacA = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
const Bytes kMacB = {0xF0, 0xE1, 0xD2, 0xC3, 0xB4, 0xA5};

ConnectSettings activeConnect()
{
    ConnectSettings c;
    c.mode = connectActive;
    c.name.assign("dev001");
    c.password.assign("secret");
    c.platformIp = ipv4(192, 168, 1, 195);
    c.platformPort = 8800;
    c.deviceId = 777;
    return c;
}

ConnectSettings waitConnect(int32_t deviceId)
{
    ConnectSettings c;
    c.mode = connectWait;
    c.name.assign("ignored");
    c.password.assign("ignored");
    c.platformIp = ipv4(1, 2, 3, 4);
    c.platformPort = 9999;
    c.deviceId = deviceId;
    return c;
}

IpSettings staticIp()
{
    IpSettings s;
    s.dhcp = 0;
    s.ip = ipv4(192, 168, 1, 50);
    s.mask = ipv4(255, 255, 255, 0);
    s.gateway = ipv4(192, 168, 1, 1);
    return s;
}

}  // namespace

// ---- model table and shared values ----

TEST(ParamModels, TableOfModelCodes)
{
    struct Case {
        uint8_t code;
        ParamLayout layout;
        size_t writeSize;
    };
    const Case cases[] = {
        {1, ParamLayout::wired, 93},        {2, ParamLayout::wired, 93},
        {52, ParamLayout::wired, 93},       {3, ParamLayout::wifi, 157},
        {5, ParamLayout::domain, 133},      {6, ParamLayout::compactWired, 85},
        {7, ParamLayout::dualNetwork, 164},
    };
    for (const Case& c : cases) {
        const ParamModelInfo* m = paramModelInfo(c.code);
        ASSERT_NE(m, nullptr) << int(c.code);
        EXPECT_EQ(m->code, c.code);
        EXPECT_EQ(m->layout, c.layout);
        EXPECT_EQ(m->writeSize, c.writeSize);
    }
    for (uint8_t code : {0, 4, 8, 51, 53, 255})
        EXPECT_EQ(paramModelInfo(code), nullptr) << int(code);
}

TEST(ParamModels, LevelsAtWhichDeviceIdAndMacAreShown)
{
    EXPECT_EQ(paramModelInfo(1)->deviceIdLevel, 2);
    EXPECT_EQ(paramModelInfo(1)->macLevel, 3);
    EXPECT_EQ(paramModelInfo(2)->deviceIdLevel, 2);
    EXPECT_EQ(paramModelInfo(2)->macLevel, 3);
    EXPECT_EQ(paramModelInfo(3)->macLevel, 2);
    EXPECT_EQ(paramModelInfo(3)->deviceIdLevel, 0);
    for (uint8_t code : {5, 6, 7, 52}) {
        EXPECT_EQ(paramModelInfo(code)->deviceIdLevel, 0);
        EXPECT_EQ(paramModelInfo(code)->macLevel, 0);
    }
    EXPECT_FALSE(paramLevelSupported(0));
    EXPECT_TRUE(paramLevelSupported(1));
}

TEST(ParamModels, BaudRateCodes)
{
    const uint32_t expected[] = {9600, 19200, 38400, 57600, 115200};
    ASSERT_EQ(baudCodeCount, 5u);
    for (size_t i = 0; i < baudCodeCount; ++i)
        EXPECT_EQ(baudRates[i], expected[i]);
}

// ---- the record store ----

TEST(ParamRecordStore, ShortReplyNeverShowsBytesOfAnEarlierReader)
{
    ParamRecordStore store;
    const Bytes older(300, 0xAA);
    store.assign(older.data(), older.size());
    EXPECT_EQ(store.length, 300u);

    const Bytes shorter = Record(20).text(0, "V2").u8(16, 1).b;
    store.assign(shorter.data(), shorter.size());
    EXPECT_EQ(store.length, 20u);
    EXPECT_EQ(store.replyLength, 20u);
    for (size_t i = 20; i < paramStoreSize; ++i)
        ASSERT_EQ(store.bytes[i], 0) << i;
    EXPECT_EQ(store.modelCode(), 1);
    // A wired record read from it shows zeros for everything not sent.
    const WiredParams p = decodeWired(store);
    EXPECT_TRUE(p.connect.name.empty());
    EXPECT_EQ(p.connect.deviceId, 0);
    EXPECT_EQ(p.mac, MacAddress{});
}

TEST(ParamRecordStore, ReplyShorterThanTheHeadReadsAsModelZero)
{
    ParamRecordStore store;
    const Bytes older = Record(120).u8(16, 3).b;
    store.assign(older.data(), older.size());
    const Bytes tiny = {'V', '1'};
    store.assign(tiny.data(), tiny.size());
    EXPECT_EQ(store.modelCode(), 0);
    EXPECT_EQ(store.version().view(), "V1");
}

TEST(ParamRecordStore, ReplyLongerThan512IsBounded)
{
    Bytes big(1014);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = uint8_t(i);
    ParamRecordStore store;
    store.assign(big.data(), big.size());
    EXPECT_EQ(store.length, paramStoreSize);
    EXPECT_EQ(store.replyLength, 1014u);
    EXPECT_EQ(Bytes(store.bytes.begin(), store.bytes.end()),
              Bytes(big.begin(), big.begin() + paramStoreSize));
}

TEST(ParamRecordStore, EmptyOrAbsentReplyClears)
{
    ParamRecordStore store;
    const Bytes older(100, 0x77);
    store.assign(older.data(), older.size());
    store.assign(nullptr, 40);
    EXPECT_EQ(store.length, 0u);
    EXPECT_EQ(store.bytes[0], 0);
    EXPECT_EQ(store.bytes[99], 0);
}

TEST(ParamVersion, TextIsBoundedByItsField)
{
    const ParamRecordStore full = Record(120).text(0, "ABCDEFGHIJKLMNOP").u8(16, 1).store();
    EXPECT_EQ(full.version().view(), "ABCDEFGHIJKLMNOP");  // 16 bytes, no zero
    EXPECT_EQ(full.version().length(), 16u);

    const ParamRecordStore normal = Record(120).text(0, "V3.6").text(5, "junk").store();
    EXPECT_EQ(normal.version().view(), "V3.6");

    const Bytes payload = Record(40).text(0, "ABCDEFGHIJKLMNOPQRS").b;
    EXPECT_EQ(paramVersionText(payload.data(), payload.size()), "ABCDEFGHIJKLMNOP");
    EXPECT_EQ(paramVersionText(payload.data(), 5), "ABCDE");  // bounded by N too
    EXPECT_EQ(paramVersionText(payload.data(), 0), "");
    EXPECT_EQ(paramVersionText(nullptr, 30), "");
    const Bytes zeroed = Record(40).text(0, "R1").b;
    EXPECT_EQ(paramVersionText(zeroed.data(), zeroed.size()), "R1");
}

// ---- decoding each layout ----

TEST(DecodeWired, EveryFieldAtItsOffset)
{
    const ParamRecordStore s = Record(116)
                                   .text(0, "V3.6")
                                   .u8(16, 1)
                                   .u8(17, 1)
                                   .text(18, "reader-name")
                                   .text(50, "pass-word")
                                   .ip(82, 10, 0, 0, 7)
                                   .u16(86, 8800)
                                   .u8(88, 1)
                                   .ip(89, 192, 168, 1, 50)
                                   .ip(93, 255, 255, 255, 0)
                                   .ip(97, 192, 168, 1, 1)
                                   .u8(101, 4)
                                   .u8(102, 3)
                                   .u8(103, 2)
                                   .u8(104, 0x99)
                                   .u8(105, 1)
                                   .u32(106, 3000000000u)
                                   .bytes(110, kMacA)
                                   .store();
    const WiredParams p = decodeWired(s);
    EXPECT_EQ(s.version().view(), "V3.6");
    EXPECT_EQ(p.connect.mode, 1);
    EXPECT_EQ(p.connect.name.view(), "reader-name");
    EXPECT_EQ(p.connect.password.view(), "pass-word");
    EXPECT_EQ(p.connect.platformIp, ipv4(10, 0, 0, 7));
    EXPECT_EQ(p.connect.platformPort, 8800);
    EXPECT_EQ(p.net.dhcp, 1);
    EXPECT_EQ(p.net.ip, ipv4(192, 168, 1, 50));
    EXPECT_EQ(p.net.mask, ipv4(255, 255, 255, 0));
    EXPECT_EQ(p.net.gateway, ipv4(192, 168, 1, 1));
    EXPECT_EQ(p.rs485Baud, 4);
    EXPECT_EQ(p.antenna0Baud, 3);
    EXPECT_EQ(p.antenna1Baud, 2);
    EXPECT_EQ(p.antennaMerge, 1);
    EXPECT_EQ(p.connect.deviceId, -1294967296);  // 3000000000 shown signed
    EXPECT_EQ(Bytes(p.mac.begin(), p.mac.end()), kMacA);
}

TEST(DecodeWired, NameFillingItsFieldHasNoZero)
{
    const std::string name(32, 'N');
    const ParamRecordStore s = Record(116).text(18, name).text(50, "pw").store();
    const WiredParams p = decodeWired(s);
    EXPECT_EQ(p.connect.name.view(), name);
    EXPECT_EQ(p.connect.password.view(), "pw");
}

TEST(DecodeWifi, EveryFieldAtItsOffset)
{
    const ParamRecordStore s = Record(180)
                                   .u8(16, 3)
                                   .u8(17, 0)
                                   .text(18, "n")
                                   .text(50, "p")
                                   .ip(82, 1, 2, 3, 4)
                                   .u16(86, 4099)
                                   .u8(88, 0)
                                   .ip(89, 10, 1, 1, 10)
                                   .ip(93, 255, 0, 0, 0)
                                   .ip(97, 10, 1, 1, 1)
                                   .u8(101, 0x55)
                                   .u8(102, 4)
                                   .u8(103, 1)
                                   .u8(105, 1)
                                   .text(106, "office-wlan")
                                   .text(138, "wlan-pass")
                                   .u32(170, 123456)
                                   .bytes(174, kMacB)
                                   .store();
    const WifiParams p = decodeWifi(s);
    EXPECT_EQ(p.connect.mode, 0);
    EXPECT_EQ(p.connect.name.view(), "n");
    EXPECT_EQ(p.connect.password.view(), "p");
    EXPECT_EQ(p.connect.platformIp, ipv4(1, 2, 3, 4));
    EXPECT_EQ(p.connect.platformPort, 4099);
    EXPECT_EQ(p.net.dhcp, 0);
    EXPECT_EQ(p.net.ip, ipv4(10, 1, 1, 10));
    EXPECT_EQ(p.net.mask, ipv4(255, 0, 0, 0));
    EXPECT_EQ(p.net.gateway, ipv4(10, 1, 1, 1));
    EXPECT_EQ(p.antennaBaud, 4);
    EXPECT_EQ(p.antenna1Baud, 1);
    EXPECT_EQ(p.antennaMerge, 1);
    EXPECT_EQ(p.ssid.view(), "office-wlan");
    EXPECT_EQ(p.wifiPassword.view(), "wlan-pass");
    EXPECT_EQ(p.connect.deviceId, 123456);
    EXPECT_EQ(Bytes(p.mac.begin(), p.mac.end()), kMacB);
}

TEST(DecodeCompactWired, EveryFieldAtItsOffset)
{
    const ParamRecordStore s = Record(112)
                                   .u8(16, 6)
                                   .u8(17, 1)
                                   .text(18, "compact")
                                   .text(50, "pw6")
                                   .ip(82, 172, 16, 0, 9)
                                   .u16(86, 60000)
                                   .u32(88, uint32_t(-5))
                                   .u8(92, 1)
                                   .ip(93, 172, 16, 0, 20)
                                   .ip(97, 255, 255, 0, 0)
                                   .ip(101, 172, 16, 0, 1)
                                   .u8(105, 0x3C)
                                   .bytes(106, kMacA)
                                   .store();
    const CompactWiredParams p = decodeCompactWired(s);
    EXPECT_EQ(p.connect.mode, 1);
    EXPECT_EQ(p.connect.name.view(), "compact");
    EXPECT_EQ(p.connect.password.view(), "pw6");
    EXPECT_EQ(p.connect.platformIp, ipv4(172, 16, 0, 9));
    EXPECT_EQ(p.connect.platformPort, 60000);
    EXPECT_EQ(p.connect.deviceId, -5);
    EXPECT_EQ(p.net.dhcp, 1);
    EXPECT_EQ(p.net.ip, ipv4(172, 16, 0, 20));
    EXPECT_EQ(p.net.mask, ipv4(255, 255, 0, 0));
    EXPECT_EQ(p.net.gateway, ipv4(172, 16, 0, 1));
    EXPECT_EQ(p.reserved, 0x3C);
    EXPECT_EQ(Bytes(p.mac.begin(), p.mac.end()), kMacA);
}

TEST(DecodeDomain, EveryFieldAtItsOffset)
{
    const std::string domain(60, 'd');  // fills its field
    const ParamRecordStore s = Record(150)
                                   .u8(16, 5)
                                   .text(17, "dom-name")
                                   .text(49, "dom-pass")
                                   .u8(81, 1)
                                   .text(82, domain)
                                   .ip(142, 8, 8, 4, 4)
                                   .u16(146, 5000)
                                   .u8(148, 2)
                                   .u8(149, 0xA7)
                                   .store();
    const DomainParams p = decodeDomain(s);
    EXPECT_EQ(p.name.view(), "dom-name");
    EXPECT_EQ(p.password.view(), "dom-pass");
    EXPECT_EQ(p.domainEnabled, 1);
    EXPECT_EQ(p.domain.view(), domain);
    EXPECT_EQ(p.platformIp, ipv4(8, 8, 4, 4));
    EXPECT_EQ(p.platformPort, 5000);
    EXPECT_EQ(p.antennaBaud, 2);
    EXPECT_EQ(p.reserved, 0xA7);
}

TEST(DecodeDualNetwork, EveryFieldAtItsOffset)
{
    const ParamRecordStore s = Record(198)
                                   .u8(16, 7)
                                   .u8(17, 1)
                                   .text(18, "ssid7")
                                   .text(50, "wpass7")
                                   .bytes(82, kMacA)
                                   .u8(88, 1)
                                   .ip(89, 192, 168, 2, 10)
                                   .ip(93, 255, 255, 255, 0)
                                   .ip(97, 192, 168, 2, 1)
                                   .bytes(101, kMacB)
                                   .u8(107, 0)
                                   .ip(108, 192, 168, 3, 10)
                                   .ip(112, 255, 255, 254, 0)
                                   .ip(116, 192, 168, 3, 1)
                                   .u8(120, 1)
                                   .text(121, "name7")
                                   .text(153, "pass7")
                                   .ip(185, 47, 1, 2, 3)
                                   .u16(189, 8801)
                                   .u32(191, 70000)
                                   .u8(195, 3)
                                   .u8(196, 0xEE)
                                   .u8(197, 0x42)
                                   .store();
    const DualNetworkParams p = decodeDualNetwork(s);
    EXPECT_EQ(p.network, 1);
    EXPECT_EQ(p.ssid.view(), "ssid7");
    EXPECT_EQ(p.wifiPassword.view(), "wpass7");
    EXPECT_EQ(Bytes(p.wiredMac.begin(), p.wiredMac.end()), kMacA);
    EXPECT_EQ(p.wired.dhcp, 1);
    EXPECT_EQ(p.wired.ip, ipv4(192, 168, 2, 10));
    EXPECT_EQ(p.wired.mask, ipv4(255, 255, 255, 0));
    EXPECT_EQ(p.wired.gateway, ipv4(192, 168, 2, 1));
    EXPECT_EQ(Bytes(p.wifiMac.begin(), p.wifiMac.end()), kMacB);
    EXPECT_EQ(p.wifi.dhcp, 0);
    EXPECT_EQ(p.wifi.ip, ipv4(192, 168, 3, 10));
    EXPECT_EQ(p.wifi.mask, ipv4(255, 255, 254, 0));
    EXPECT_EQ(p.wifi.gateway, ipv4(192, 168, 3, 1));
    EXPECT_EQ(p.connect.mode, 1);
    EXPECT_EQ(p.connect.name.view(), "name7");
    EXPECT_EQ(p.connect.password.view(), "pass7");
    EXPECT_EQ(p.connect.platformIp, ipv4(47, 1, 2, 3));
    EXPECT_EQ(p.connect.platformPort, 8801);
    EXPECT_EQ(p.connect.deviceId, 70000);
    EXPECT_EQ(p.antennaBaud, 3);
    EXPECT_EQ(p.reserved, 0x42);
}

// ---- wired write payloads ----

TEST(EncodeWired, Model1WaitModeCarriesTheDefaultIdentityAndTheDeviceId)
{
    WiredParams p;
    p.connect = waitConnect(0x01020304);
    p.net = staticIp();
    p.rs485Baud = 4;
    p.antenna0Baud = 1;
    p.antenna1Baud = 2;
    p.antennaMerge = 1;
    const WritePayload w = encodeWiredWrite(modelWired, p);
    ASSERT_EQ(w.length, 93u);
    EXPECT_EQ(w.bytes[0], 0);
    EXPECT_EQ(slice(w, 1, 32), textField("admin", 32));
    EXPECT_EQ(slice(w, 33, 32), textField("314159", 32));
    EXPECT_TRUE(allZero(w, 65, 70));  // platform IP and port
    EXPECT_EQ(w.bytes[71], 0);
    EXPECT_EQ(slice(w, 72, 4), (Bytes{192, 168, 1, 50}));
    EXPECT_EQ(slice(w, 76, 4), (Bytes{255, 255, 255, 0}));
    EXPECT_EQ(slice(w, 80, 4), (Bytes{192, 168, 1, 1}));
    EXPECT_EQ(w.bytes[84], 4);
    EXPECT_EQ(w.bytes[85], 1);
    EXPECT_EQ(w.bytes[86], 2);
    EXPECT_EQ(w.bytes[87], 0);
    EXPECT_EQ(w.bytes[88], 1);
    EXPECT_EQ(slice(w, 89, 4), (Bytes{0x01, 0x02, 0x03, 0x04}));
    EXPECT_TRUE(allZero(w, 93, paramMaxWriteSize - 1));
}

TEST(EncodeWired, Model1ActiveModeSendsIdentityPlatformAndDeviceIdZero)
{
    WiredParams p;
    p.connect = activeConnect();
    p.connect.mode = 7;  // any selection but 0 is the active mode
    p.net = staticIp();
    const WritePayload w = encodeWiredWrite(modelWired, p);
    ASSERT_EQ(w.length, 93u);
    EXPECT_EQ(w.bytes[0], 1);
    EXPECT_EQ(slice(w, 1, 32), textField("dev001", 32));
    EXPECT_EQ(slice(w, 33, 32), textField("secret", 32));
    EXPECT_EQ(slice(w, 65, 4), (Bytes{192, 168, 1, 195}));
    EXPECT_EQ(slice(w, 69, 2), (Bytes{0x22, 0x60}));  // 8800
    EXPECT_TRUE(allZero(w, 89, 92));
}

TEST(EncodeWired, DhcpOnSendsZeroAddresses)
{
    WiredParams p;
    p.connect = waitConnect(1);
    p.net = staticIp();
    p.net.dhcp = 2;  // any non-zero state is on
    const WritePayload w = encodeWiredWrite(modelWired, p);
    EXPECT_EQ(w.bytes[71], 1);
    EXPECT_TRUE(allZero(w, 72, 83));
}

TEST(EncodeWired, NegativeDeviceIdIsTwosComplementBigEndian)
{
    WiredParams p;
    p.connect = waitConnect(-1294967296);  // 3000000000 as read back
    const WritePayload w = encodeWiredWrite(modelWired, p);
    EXPECT_EQ(slice(w, 89, 4), be32(3000000000u));
}

TEST(EncodeWired, NoSelectionBaudCodesAreSentAsGiven)
{
    WiredParams p;
    p.rs485Baud = baudCodeNone;
    p.antenna0Baud = baudCodeNone;
    p.antenna1Baud = baudCodeNone;
    const WritePayload w = encodeWiredWrite(modelWired, p);
    EXPECT_EQ(slice(w, 84, 3), (Bytes{0xFF, 0xFF, 0xFF}));
}

TEST(EncodeWired, Model2SendsOnlyTheSingleAntennaCode)
{
    WiredParams p;
    p.connect = waitConnect(99);
    p.net = staticIp();
    p.rs485Baud = 4;
    p.antenna0Baud = 3;
    p.antenna1Baud = 2;
    p.antennaMerge = 1;
    const WritePayload w = encodeWiredWrite(modelWiredOneAntenna, p);
    ASSERT_EQ(w.length, 93u);
    EXPECT_EQ(slice(w, 1, 32), textField("admin", 32));
    EXPECT_EQ(w.bytes[84], 0);
    EXPECT_EQ(w.bytes[85], 0);
    EXPECT_EQ(w.bytes[86], 2);
    EXPECT_EQ(w.bytes[88], 0);
    EXPECT_EQ(slice(w, 89, 4), be32(99));
}

TEST(EncodeWired, Model52IsAlwaysActiveWithStaticAddresses)
{
    WiredParams p;
    p.connect = activeConnect();
    p.connect.mode = connectWait;  // the page has no mode list
    p.net = staticIp();
    p.net.dhcp = 1;
    p.rs485Baud = 4;
    p.antenna0Baud = 4;
    p.antenna1Baud = 4;
    p.antennaMerge = 1;
    const WritePayload w = encodeWiredWrite(modelWiredActive, p);
    ASSERT_EQ(w.length, 93u);
    EXPECT_EQ(w.bytes[0], 1);
    EXPECT_EQ(slice(w, 1, 32), textField("dev001", 32));
    EXPECT_EQ(slice(w, 33, 32), textField("secret", 32));
    EXPECT_EQ(slice(w, 65, 4), (Bytes{192, 168, 1, 195}));
    EXPECT_EQ(slice(w, 69, 2), (Bytes{0x22, 0x60}));
    EXPECT_EQ(w.bytes[71], 0);
    EXPECT_EQ(slice(w, 72, 4), (Bytes{192, 168, 1, 50}));
    EXPECT_EQ(slice(w, 76, 4), (Bytes{255, 255, 255, 0}));
    EXPECT_EQ(slice(w, 80, 4), (Bytes{192, 168, 1, 1}));
    EXPECT_TRUE(allZero(w, 84, 92));
}

TEST(EncodeWired, OtherModelsHaveNoWiredPayload)
{
    for (uint8_t model : {0, 3, 5, 6, 7, 53})
        EXPECT_EQ(encodeWiredWrite(model, WiredParams{}).length, 0u) << int(model);
}

TEST(EncodeWired, TextEndsAtItsFirstZero)
{
    // Bytes of the record behind a name's zero are not sent back.
    const ParamRecordStore s =
        Record(116).u8(17, 1).text(18, "ab").text(21, "zz").text(50, "pw").store();
    const WritePayload w = encodeWiredWrite(modelWired, decodeWired(s));
    EXPECT_EQ(slice(w, 1, 32), textField("ab", 32));
}

TEST(EncodeWired, RecordRoundTripInActiveMode)
{
    const Bytes record = Record(116)
                             .u8(16, 1)
                             .u8(17, 1)
                             .text(18, "name")
                             .text(50, "pass")
                             .ip(82, 9, 9, 9, 9)
                             .u16(86, 1234)
                             .ip(89, 10, 0, 0, 2)
                             .ip(93, 255, 0, 0, 0)
                             .ip(97, 10, 0, 0, 1)
                             .u8(101, 1)
                             .u8(102, 2)
                             .u8(103, 3)
                             .u8(105, 1)
                             .b;
    ParamRecordStore s;
    s.assign(record.data(), record.size());
    const WritePayload w = encodeWiredWrite(modelWired, decodeWired(s));
    // In active mode with DHCP off the payload is record offsets 17 to 109.
    EXPECT_EQ(slice(w, 0, 93), Bytes(record.begin() + 17, record.begin() + 110));
}

// ---- compact wired ----

TEST(EncodeCompactWired, WaitModeSendsTheDeviceIdInThePlatformPlace)
{
    CompactWiredParams p;
    p.connect = waitConnect(0x0A0B0C0D);
    p.net = staticIp();
    p.reserved = 0x5C;
    const WritePayload w = encodeCompactWiredWrite(p);
    ASSERT_EQ(w.length, 85u);
    EXPECT_EQ(w.bytes[0], 0);
    EXPECT_EQ(slice(w, 1, 32), textField("admin", 32));
    EXPECT_EQ(slice(w, 33, 32), textField("314159", 32));
    EXPECT_EQ(slice(w, 65, 4), (Bytes{0x0A, 0x0B, 0x0C, 0x0D}));
    EXPECT_TRUE(allZero(w, 69, 70));
    EXPECT_EQ(w.bytes[71], 0);
    EXPECT_EQ(slice(w, 72, 4), (Bytes{192, 168, 1, 50}));
    EXPECT_EQ(slice(w, 76, 4), (Bytes{255, 255, 255, 0}));
    EXPECT_EQ(slice(w, 80, 4), (Bytes{192, 168, 1, 1}));
    EXPECT_EQ(w.bytes[84], 0x5C);
    EXPECT_TRUE(allZero(w, 85, paramMaxWriteSize - 1));
}

TEST(EncodeCompactWired, ActiveModeSendsPlatformAddressAndPort)
{
    CompactWiredParams p;
    p.connect = activeConnect();
    p.net.dhcp = 1;
    p.net.ip = ipv4(1, 1, 1, 1);
    const WritePayload w = encodeCompactWiredWrite(p);
    EXPECT_EQ(w.bytes[0], 1);
    EXPECT_EQ(slice(w, 1, 32), textField("dev001", 32));
    EXPECT_EQ(slice(w, 65, 4), (Bytes{192, 168, 1, 195}));
    EXPECT_EQ(slice(w, 69, 2), (Bytes{0x22, 0x60}));
    EXPECT_EQ(w.bytes[71], 1);
    EXPECT_TRUE(allZero(w, 72, 84));
}

TEST(EncodeCompactWired, ReservedByteIsEchoedFromTheRecord)
{
    const ParamRecordStore s = Record(112).u8(16, 6).u8(105, 0x81).store();
    EXPECT_EQ(encodeCompactWiredWrite(decodeCompactWired(s)).bytes[84], 0x81);
}

// ---- WIFI ----

TEST(EncodeWifi, WaitModeLayout)
{
    WifiParams p;
    p.connect = waitConnect(4242);
    p.net = staticIp();
    p.antennaBaud = 3;
    p.antenna1Baud = 2;
    p.antennaMerge = 1;
    p.ssid.assign("lab");
    p.wifiPassword.assign("wifi-pw");
    const WritePayload w = encodeWifiWrite(p);
    ASSERT_EQ(w.length, 157u);
    EXPECT_EQ(w.bytes[0], 0);
    EXPECT_EQ(slice(w, 1, 32), textField("admin", 32));
    EXPECT_EQ(slice(w, 33, 32), textField("314159", 32));
    EXPECT_TRUE(allZero(w, 65, 71));
    EXPECT_EQ(slice(w, 72, 4), (Bytes{192, 168, 1, 50}));
    EXPECT_EQ(w.bytes[84], 0);
    EXPECT_EQ(w.bytes[85], 3);
    EXPECT_TRUE(allZero(w, 86, 88));
    EXPECT_EQ(slice(w, 89, 32), textField("lab", 32));
    EXPECT_EQ(slice(w, 121, 32), textField("wifi-pw", 32));
    EXPECT_EQ(slice(w, 153, 4), be32(4242));
    EXPECT_TRUE(allZero(w, 157, paramMaxWriteSize - 1));
}

TEST(EncodeWifi, ActiveModeDeviceIdIsZero)
{
    WifiParams p;
    p.connect = activeConnect();
    p.ssid.assign("x");
    const WritePayload w = encodeWifiWrite(p);
    EXPECT_EQ(w.bytes[0], 1);
    EXPECT_EQ(slice(w, 65, 4), (Bytes{192, 168, 1, 195}));
    EXPECT_TRUE(allZero(w, 153, 156));
}

TEST(EncodeWifi, SsidOf32AsciiBytesHasNoTerminatingZero)
{
    const std::string ssid(32, 'S');
    WifiParams p;
    EXPECT_TRUE(p.ssid.assign(ssid));
    p.wifiPassword.assign("pw");
    const WritePayload w = encodeWifiWrite(p);
    EXPECT_EQ(slice(w, 89, 32), Bytes(ssid.begin(), ssid.end()));
    EXPECT_EQ(slice(w, 121, 32), textField("pw", 32));  // the password is untouched
    EXPECT_FALSE(p.ssid.assign(std::string(33, 'S')));  // the field cannot take 33
}

TEST(EncodeWifi, Utf8SsidIsSentWithItsZero)
{
    // Ten Chinese characters: 20 GBK bytes, 30 bytes of UTF-8.
    const std::string gbk = "\xD6\xD0\xCE\xC4\xCD\xF8\xC2\xE7\xC3\xFB\xB3\xC6\xB2\xE2\xCA\xD4"
                            "\xD3\xC3\xC0\xFD";
    const std::string utf8 = "\xE4\xB8\xAD\xE6\x96\x87\xE7\xBD\x91\xE7\xBB\x9C\xE5\x90\x8D\xE7"
                             "\xA7\xB0\xE6\xB5\x8B\xE8\xAF\x95\xE7\x94\xA8\xE4\xBE\x8B";
    ASSERT_EQ(gbk.size(), 20u);
    ASSERT_EQ(utf8.size(), 30u);
    EXPECT_TRUE(ssidNeedsUtf8(reinterpret_cast<const uint8_t*>(gbk.data()), gbk.size()));
    WifiParams p;
    ASSERT_TRUE(p.ssid.assign(utf8));
    const WritePayload w = encodeWifiWrite(p);
    EXPECT_EQ(slice(w, 89, 30), Bytes(utf8.begin(), utf8.end()));
    EXPECT_EQ(w.bytes[119], 0);
    EXPECT_EQ(w.bytes[120], 0);
}

TEST(EncodeWifi, SecondAntennaOfTheOldestBuild)
{
    WifiParams p;
    p.antennaBaud = 1;
    p.antenna1Baud = 2;
    p.antennaMerge = 1;
    const WritePayload w = encodeWifiWrite(p, true);
    EXPECT_EQ(w.bytes[84], 0);
    EXPECT_EQ(w.bytes[85], 1);
    EXPECT_EQ(w.bytes[86], 2);
    EXPECT_EQ(w.bytes[87], 0);
    EXPECT_EQ(w.bytes[88], 1);
}

TEST(SsidRule, OnlyBytesAbove0x80AskForUtf8)
{
    const uint8_t ascii[] = {'a', 0x7F, 0x80};
    const uint8_t high[] = {'a', 0x81};
    EXPECT_FALSE(ssidNeedsUtf8(ascii, sizeof ascii));
    EXPECT_TRUE(ssidNeedsUtf8(high, sizeof high));
    EXPECT_FALSE(ssidNeedsUtf8(high, 0));
}

// ---- domain ----

TEST(EncodeDomain, EnabledSendsTheDomainAndZerosThePlatformIp)
{
    DomainParams p;
    p.name.assign("dn");
    p.password.assign("dp");
    p.domainEnabled = 1;
    p.domain.assign("reader.example.net");
    p.platformIp = ipv4(9, 8, 7, 6);  // whatever the IP control shows
    p.platformPort = 7000;
    p.antennaBaud = 4;
    p.reserved = 0x11;
    const WritePayload w = encodeDomainWrite(p);
    ASSERT_EQ(w.length, 133u);
    EXPECT_EQ(slice(w, 0, 32), textField("dn", 32));
    EXPECT_EQ(slice(w, 32, 32), textField("dp", 32));
    EXPECT_EQ(w.bytes[64], 1);
    EXPECT_EQ(slice(w, 65, 60), textField("reader.example.net", 60));
    EXPECT_TRUE(allZero(w, 125, 128));
    EXPECT_EQ(slice(w, 129, 2), (Bytes{0x1B, 0x58}));
    EXPECT_EQ(w.bytes[131], 4);
    EXPECT_EQ(w.bytes[132], 0x11);
    EXPECT_TRUE(allZero(w, 133, paramMaxWriteSize - 1));
}

TEST(EncodeDomain, DisabledSendsThePlatformIpAndNoDomain)
{
    DomainParams p;
    p.domainEnabled = 0;
    p.domain.assign("kept-on-the-page");
    p.platformIp = ipv4(9, 8, 7, 6);
    const WritePayload w = encodeDomainWrite(p);
    EXPECT_EQ(w.bytes[64], 0);
    EXPECT_TRUE(allZero(w, 65, 124));
    EXPECT_EQ(slice(w, 125, 4), (Bytes{9, 8, 7, 6}));
}

TEST(EncodeDomain, RecordRoundTrip)
{
    const Bytes record = Record(150)
                             .u8(16, 5)
                             .text(17, "n")
                             .text(49, "p")
                             .u8(81, 0)
                             .ip(142, 1, 2, 3, 4)
                             .u16(146, 80)
                             .u8(148, 1)
                             .u8(149, 0xC3)
                             .b;
    ParamRecordStore s;
    s.assign(record.data(), record.size());
    const WritePayload w = encodeDomainWrite(decodeDomain(s));
    EXPECT_EQ(slice(w, 0, 133), Bytes(record.begin() + 17, record.end()));
}

// ---- dual network ----

TEST(EncodeDualNetwork, WiredChoiceLeavesTheWifiFieldsZero)
{
    DualNetworkParams p;
    p.network = networkWired;
    p.ssid.assign("not-sent");
    p.wifiPassword.assign("not-sent");
    p.wired = staticIp();
    p.wifi = staticIp();
    p.connect = activeConnect();
    p.antennaBaud = 2;
    p.reserved = 0x99;
    const WritePayload w = encodeDualNetworkWrite(p);
    ASSERT_EQ(w.length, 164u);
    EXPECT_EQ(w.bytes[0], 0);
    EXPECT_TRUE(allZero(w, 1, 64));
    EXPECT_EQ(w.bytes[65], 0);
    EXPECT_EQ(slice(w, 66, 4), (Bytes{192, 168, 1, 50}));
    EXPECT_EQ(slice(w, 70, 4), (Bytes{255, 255, 255, 0}));
    EXPECT_EQ(slice(w, 74, 4), (Bytes{192, 168, 1, 1}));
    EXPECT_TRUE(allZero(w, 78, 90));
    EXPECT_EQ(w.bytes[91], 1);
    EXPECT_EQ(slice(w, 92, 32), textField("dev001", 32));
    EXPECT_EQ(slice(w, 124, 32), textField("secret", 32));
    EXPECT_EQ(slice(w, 156, 4), (Bytes{192, 168, 1, 195}));
    EXPECT_EQ(slice(w, 160, 2), (Bytes{0x22, 0x60}));
    EXPECT_EQ(w.bytes[162], 2);
    EXPECT_EQ(w.bytes[163], 0x99);
}

TEST(EncodeDualNetwork, WifiChoiceLeavesTheWiredFieldsZero)
{
    DualNetworkParams p;
    p.network = networkWifi;
    p.ssid.assign("ssid");
    p.wifiPassword.assign("wpw");
    p.wired = staticIp();
    p.wifi = staticIp();
    p.wifi.ip = ipv4(10, 0, 0, 9);
    p.connect = waitConnect(-2);
    const WritePayload w = encodeDualNetworkWrite(p);
    EXPECT_EQ(w.bytes[0], 1);
    EXPECT_EQ(slice(w, 1, 32), textField("ssid", 32));
    EXPECT_EQ(slice(w, 33, 32), textField("wpw", 32));
    EXPECT_TRUE(allZero(w, 65, 77));
    EXPECT_EQ(w.bytes[78], 0);
    EXPECT_EQ(slice(w, 79, 4), (Bytes{10, 0, 0, 9}));
    EXPECT_EQ(slice(w, 83, 4), (Bytes{255, 255, 255, 0}));
    EXPECT_EQ(slice(w, 87, 4), (Bytes{192, 168, 1, 1}));
    EXPECT_EQ(w.bytes[91], 0);
    EXPECT_EQ(slice(w, 92, 32), textField("admin", 32));
    EXPECT_EQ(slice(w, 124, 32), textField("314159", 32));
    EXPECT_EQ(slice(w, 156, 4), (Bytes{0xFF, 0xFF, 0xFF, 0xFE}));
    EXPECT_TRUE(allZero(w, 160, 161));
}

TEST(EncodeDualNetwork, WifiWithDhcpAndEmptySsid)
{
    DualNetworkParams p;
    p.network = networkWifi;
    p.wifi = staticIp();
    p.wifi.dhcp = 1;
    const WritePayload w = encodeDualNetworkWrite(p);
    EXPECT_TRUE(allZero(w, 1, 64));  // an empty SSID goes as zeros
    EXPECT_EQ(w.bytes[78], 1);
    EXPECT_TRUE(allZero(w, 79, 90));
}

TEST(EncodeDualNetwork, ReservedByteIsEchoedFromRecordOffset197)
{
    const ParamRecordStore s = Record(198).u8(16, 7).u8(196, 0x01).u8(197, 0x6D).store();
    EXPECT_EQ(encodeDualNetworkWrite(decodeDualNetwork(s)).bytes[163], 0x6D);
}

// ---- text helpers ----

TEST(FormatMac, UpperCaseHexWithDashes)
{
    char text[paramMacTextSize];
    formatMac(MacAddress{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0xFE}, text);
    EXPECT_STREQ(text, "00-1A-2B-3C-4D-FE");
}
