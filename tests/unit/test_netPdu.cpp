#include <gtest/gtest.h>

#include <vector>

#include "console/netPdu.h"
#include "tests/unit/traceCapture.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes build(uint8_t code, const Bytes& payload)
{
    uint8_t out[netMaxDatagram];
    const size_t n = netPduBuild(out, sizeof out, code, payload.data(), payload.size());
    return Bytes(out, out + n);
}

const Bytes kMagic = {'Q', 'V', 'R', 'F'};

Bytes withMagic(const Bytes& rest)
{
    Bytes b = kMagic;
    b.insert(b.end(), rest.begin(), rest.end());
    return b;
}

}  // namespace

TEST(NetPdu, ExampleFramesByteForByte)
{
    EXPECT_EQ(build(netCodeHeartBeatAck, {}), withMagic({0x04, 0x26, 0xB0, 0x01, 0x00, 0x00}));
    EXPECT_EQ(build(netCodeLoginAck, {2}), withMagic({0x04, 0x21, 0x91, 0xF1, 0x00, 0x01, 0x02}));
    EXPECT_EQ(build(netCodeAuthAck, {4}), withMagic({0x04, 0x23, 0x93, 0x71, 0x00, 0x01, 0x04}));
    EXPECT_EQ(build(netCodeAuthAck, {0x00, 0x0F, 0x00, 0x00, 0x00, 0x01}),
              withMagic({0x04, 0x23, 0xCA, 0xB3, 0x00, 0x06, 0x00, 0x0F, 0x00, 0x00, 0x00, 0x01}));
}

TEST(NetPdu, BuildRefusesAFrameThatDoesNotFit)
{
    uint8_t out[12];
    const uint8_t payload[3] = {1, 2, 3};
    EXPECT_EQ(netPduBuild(out, sizeof out, netCodeSms, payload, 3), 0u);
    EXPECT_EQ(netPduBuild(out, sizeof out, netCodeSms, payload, 2), 12u);
}

TEST(NetPdu, CheckOutcomesAndTheirTraces)
{
    const Bytes good = build(netCodeHeartBeatReq, {0, 0, 0, 0, 1, 0});
    Bytes badMagic = good;
    badMagic[0] = 'X';
    Bytes trailing = good;
    trailing.push_back(0);
    Bytes badCrc = good;
    badCrc[7] ^= 1;
    Bytes payloadFlip = good;
    payloadFlip[14] ^= 0x80;
    Bytes lengthFlip = good;
    lengthFlip[9] = 5;  // size no longer L + 10
    Bytes versionFlip = good;
    versionFlip[4] = 9;
    Bytes codeFlip = good;
    codeFlip[5] = netCodeLoginReq;
    Bytes tagReportBadMagic = build(netCodeLabelReport, Bytes(11, 0));
    tagReportBadMagic[1] = 0;

    struct Case {
        const char* name;
        Bytes datagram;
        NetCheck outcome;
        std::vector<std::string> traces;  // after the receive dump, if any
        bool dumped;
    };
    const std::vector<Case> cases = {
        {"valid", good, NetCheck::ok, {}, true},
        {"nine bytes", Bytes(good.begin(), good.begin() + 9), NetCheck::tooShort, {}, false},
        {"ten bytes bad magic", Bytes(10, 0), NetCheck::badMagic, {"msg head error\r\n"}, true},
        {"bad magic", badMagic, NetCheck::badMagic, {"msg head error\r\n"}, true},
        {"trailing byte", trailing, NetCheck::badLength, {"len wrong\r\n"}, true},
        {"length field", lengthFlip, NetCheck::badLength, {"len wrong\r\n"}, true},
        {"crc byte", badCrc, NetCheck::badCrc, {"crc error\r\n"}, true},
        {"payload byte", payloadFlip, NetCheck::badCrc, {"crc error\r\n"}, true},
        {"version byte outside crc", versionFlip, NetCheck::ok, {}, true},
        {"code byte outside crc", codeFlip, NetCheck::ok, {}, true},
        {"tag report is not dumped", tagReportBadMagic, NetCheck::badMagic,
         {"msg head error\r\n"}, false},
    };
    for (const Case& c : cases) {
        TraceCapture trace;
        NetPdu pdu;
        EXPECT_EQ(netPduCheck(c.datagram.data(), c.datagram.size(), &pdu), c.outcome) << c.name;
        std::vector<std::string> rest = trace.lines;
        if (c.dumped) {
            ASSERT_FALSE(rest.empty()) << c.name;
            EXPECT_EQ(rest.front().rfind("net rcv " + std::to_string(c.datagram.size()) + ":", 0),
                      0u)
                << c.name;
            rest.erase(rest.begin());
        }
        EXPECT_EQ(rest, c.traces) << c.name;
    }
}

TEST(NetPdu, DumpFormat)
{
    TraceCapture trace;
    const Bytes frame = build(netCodeHeartBeatAck, {});
    netTraceDump("net send %d:", frame.data(), frame.size());
    ASSERT_EQ(trace.lines.size(), 1u);
    EXPECT_EQ(trace.lines[0], "net send 10: 51 56 52 46 04 26 B0 01 00 00\r\n");
}

TEST(NetPdu, LargestDatagramAndTruncation)
{
    // A frame of exactly 1024 bytes is accepted; one that a receiver cut to
    // 1024 bytes fails the length test.
    const Bytes largest = build(netCodeSmsAck, Bytes(netMaxPayload, 0x5A));
    ASSERT_EQ(largest.size(), netMaxDatagram);
    NetPdu pdu;
    EXPECT_EQ(netPduCheck(largest.data(), largest.size(), &pdu), NetCheck::ok);
    EXPECT_EQ(pdu.length, netMaxPayload);
    // The same 1024 bytes as what is left of a longer datagram.
    {
        TraceCapture trace;
        EXPECT_EQ(netPduCheck(largest.data(), largest.size(), &pdu, netCodeLabelReport, true),
                  NetCheck::badLength);
        ASSERT_EQ(trace.lines.size(), 2u);
        EXPECT_EQ(trace.lines[1], "len wrong\r\n");
    }

    uint8_t big[netMaxDatagram + 16];
    const uint8_t payload[netMaxPayload + 1] = {};
    const size_t n = netPduBuild(big, sizeof big, netCodeSmsAck, payload, sizeof payload);
    ASSERT_EQ(n, netMaxDatagram + 1);
    EXPECT_EQ(netPduCheck(big, netMaxDatagram, &pdu), NetCheck::badLength);
}
