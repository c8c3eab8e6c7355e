// The reader's output lines, which end-to-end tests grep and split: the
// exact text for the frames a console sends, and for frames that fail.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/unit/readersim/readerFixture.h"
#include "tools/readersim/framePrint.h"

namespace {

const NetAddr kConsole{0x7F000001, 8800};

std::string line(const Bytes& datagram, bool received = true, const NetAddr& peer = kConsole)
{
    char out[simLineMax];
    const size_t n = formatFrame(out, sizeof out, FrameDialect::listen, received, peer,
                                 datagram.data(), datagram.size());
    EXPECT_EQ(n, std::strlen(out));
    return out;
}

}  // namespace

TEST(FramePrint, FramesFromTheConsole)
{
    struct Case {
        const char* name;
        Bytes datagram;
        const char* expected;
    };
    const Case cases[] = {
        {"call", frameOf(netCodeLabelAlarm, {1, 0, 0, 0, 100, 5, 1}),
         "rx from=127.0.0.1:8800 ver=4 code=0x27 name=netCodeLabelAlarm len=7 "
         "payload=01000000640501 sub=1 tag=100 action=5 lamp=1 signal=green+buzzer"},
        {"call, both lamps and buzzer", frameOf(netCodeLabelAlarm, {33, 0, 0, 0, 7, 5, 5}),
         "rx from=127.0.0.1:8800 ver=4 code=0x27 name=netCodeLabelAlarm len=7 "
         "payload=21000000070505 sub=33 tag=7 action=5 lamp=5 signal=green+red+buzzer"},
        {"stop", frameOf(netCodeLabelAlarm, {1, 0, 0, 0, 100, 1, 0xFF}),
         "rx from=127.0.0.1:8800 ver=4 code=0x27 name=netCodeLabelAlarm len=7 "
         "payload=010000006401FF sub=1 tag=100 action=1 lamp=255 signal=stop"},
        {"sms", frameOf(netCodeSms, hexBytes("02 EE6B2800 9C40 06 03 05 0E 07 09 03 616263")),
         "rx from=127.0.0.1:8800 ver=4 code=0x2A name=netCodeSms len=17 "
         "payload=02EE6B28009C400603050E070903616263 sub=2 tag=4000000000 msg=40000 year=6 "
         "date=2026-03-05 time=14:07:09 textlen=3 text=616263"},
        {"sms, GBK text", frameOf(netCodeSms, hexBytes("01 00000064 0007 06 01 02 03 04 05 04 C4E3BAC3")),
         "rx from=127.0.0.1:8800 ver=4 code=0x2A name=netCodeSms len=18 "
         "payload=0100000064000706010203040504C4E3BAC3 sub=1 tag=100 msg=7 year=6 "
         "date=2026-01-02 time=03:04:05 textlen=4 text=C4E3BAC3"},
        {"sms, empty text", frameOf(netCodeSms, hexBytes("00 00000001 0000 06 0C 1F 17 3B 3B 00")),
         "rx from=127.0.0.1:8800 ver=4 code=0x2A name=netCodeSms len=14 "
         "payload=00000000010000060C1F173B3B00 sub=0 tag=1 msg=0 year=6 date=2026-12-31 "
         "time=23:59:59 textlen=0 text="},
        {"sms, text shorter than announced",
         frameOf(netCodeSms, hexBytes("00 00000001 0000 06 0C 1F 17 3B 3B 05 6162")),
         "rx from=127.0.0.1:8800 ver=4 code=0x2A name=netCodeSms len=16 "
         "payload=00000000010000060C1F173B3B056162 sub=0 tag=1 msg=0 year=6 date=2026-12-31 "
         "time=23:59:59 textlen=5 text=6162 malformed=short"},
        {"call too short", frameOf(netCodeLabelAlarm, {1, 0, 0}),
         "rx from=127.0.0.1:8800 ver=4 code=0x27 name=netCodeLabelAlarm len=3 payload=010000 "
         "malformed=short"},
        {"login reject", frameOf(netCodeLoginAck, {2}),
         "rx from=127.0.0.1:8800 ver=4 code=0x21 name=netCodeLoginAck len=1 payload=02 result=2"},
        {"auth accept", frameOf(netCodeAuthAck, {0x00, 0x0F, 0x00, 0x00, 0x00, 0x01}),
         "rx from=127.0.0.1:8800 ver=4 code=0x23 name=netCodeAuthAck len=6 payload=000F00000001 "
         "result=0"},
        {"heartbeat ack", frameOf(netCodeHeartBeatAck, {}),
         "rx from=127.0.0.1:8800 ver=4 code=0x26 name=netCodeHeartBeatAck len=0 payload="},
        {"unknown code", frameOf(0x30, {0xAB}),
         "rx from=127.0.0.1:8800 ver=4 code=0x30 name=unknown len=1 payload=AB"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(line(c.datagram), c.expected) << c.name;
}

TEST(FramePrint, DatagramsThatFailTheFrameTest)
{
    Bytes crc = hexBytes("51 56 52 46 04 27 99 D8 00 07 01 00 00 00 64 05 01");
    ASSERT_EQ(line(crc).find(" bad="), std::string::npos);  // the sound original
    crc[7] ^= 0x01;
    Bytes trailing = frameOf(netCodeHeartBeatAck, {});
    trailing.push_back(0xEE);
    const Bytes shortOne = hexBytes("51 56 52 46 04 26 B0 01 00");
    Bytes magic = frameOf(netCodeHeartBeatAck, {});
    magic[3] = 'X';
    struct Case {
        const char* name;
        Bytes datagram;
        const char* expected;
    };
    const Case cases[] = {
        {"crc", crc,
         "rx from=127.0.0.1:8800 bad=crc size=17 bytes=51565246042799D9000701000000640501"},
        {"trailing byte", trailing,
         "rx from=127.0.0.1:8800 bad=length size=11 bytes=515652460426B0010000EE"},
        {"nine bytes", shortOne, "rx from=127.0.0.1:8800 bad=short size=9 bytes=515652460426B00100"},
        {"magic", magic, "rx from=127.0.0.1:8800 bad=magic size=10 bytes=515652580426B0010000"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(line(c.datagram), c.expected) << c.name;
}

TEST(FramePrint, FramesTheReaderSends)
{
    const NetAddr console{0xC0A801C3, 8800};  // 192.168.1.195
    EXPECT_EQ(line(frameOf(netCodeHeartBeatReq, hexBytes("00000001 03 00 02 01")), false, console),
              "tx to=192.168.1.195:8800 ver=4 code=0x25 name=netCodeHeartBeatReq len=8 "
              "payload=0000000103000201 reader=1 count=3 states=0,2,1");
    EXPECT_EQ(line(frameOf(netCodeLabelReport, hexBytes("01020304 03 0A0B0C0D 41 AABB D8")), false,
                   console),
              "tx to=192.168.1.195:8800 ver=4 code=0x24 name=netCodeLabelReport len=13 "
              "payload=01020304030A0B0C0D41AABBD8 reader=16909060 sub=3 tag=168496141 "
              "status=0x41 lowv=1 n=2 extra=AABB rssi=-40");
    // A report shorter than its announced extra data has no RSSI to show.
    EXPECT_EQ(line(frameOf(netCodeLabelReport, hexBytes("00000001 00 00000005 60 1122")), false,
                   console),
              "tx to=192.168.1.195:8800 ver=4 code=0x24 name=netCodeLabelReport len=12 "
              "payload=000000010000000005601122 reader=1 sub=0 tag=5 status=0x60 lowv=0 n=3 "
              "extra=1122 malformed=short");
    // Blanks and other bytes outside printable ASCII in a device name are
    // escaped, so the line still splits into its items.
    EXPECT_EQ(line(frameOf(netCodeLoginReq, hexBytes("64 20 5C 01 00 FF")), false, console),
              "tx to=192.168.1.195:8800 ver=4 code=0x20 name=netCodeLoginReq len=6 "
              "payload=64205C0100FF device=d\\x20\\x5C\\x01");
}

TEST(FramePrint, TheLargestDatagramFitsOneLine)
{
    // The reader receives up to 2048 bytes; the whole datagram is printed.
    const Bytes big(2048, 0xAB);
    const std::string text = line(big);
    const std::string head = "rx from=127.0.0.1:8800 bad=magic size=2048 bytes=";
    ASSERT_EQ(text.size(), head.size() + 4096);
    EXPECT_EQ(text.compare(0, head.size(), head), 0);
    EXPECT_EQ(text.substr(text.size() - 4), "ABAB");

    // A small buffer cuts the line cleanly, terminated.
    char small[16];
    const size_t n = formatFrame(small, sizeof small, FrameDialect::listen, true, kConsole,
                                 big.data(), big.size());
    EXPECT_EQ(n, 15u);
    EXPECT_EQ(std::string(small), "rx from=127.0.0");
}
