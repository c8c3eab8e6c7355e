// The reader's output lines, which end-to-end tests grep and split: the
// exact text for the frames a console sends, and for frames that fail.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/unit/readersim/waitingFixture.h"
#include "tools/readersim/framePrint.h"

namespace {

const NetAddr kConsole{0x7F000001, 8800};

std::string line(const Bytes& datagram, bool received = true, const NetAddr& peer = kConsole,
                 FrameDialect dialect = FrameDialect::listen)
{
    char out[simLineMax];
    const size_t n = formatFrame(out, sizeof out, dialect, received, peer, datagram.data(),
                                 datagram.size());
    EXPECT_EQ(n, std::strlen(out));
    return out;
}

// The items after the payload: what the line decodes.
std::string decoded(const std::string& text)
{
    const size_t payload = text.find(" payload=");
    if (payload == std::string::npos)
        return "";
    const size_t next = text.find(' ', payload + 1);
    return next == std::string::npos ? "" : text.substr(next + 1);
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

TEST(FramePrint, DirectAndLegacyFrames)
{
    const FrameDialect direct = FrameDialect::direct, legacy = FrameDialect::legacy;
    Bytes login = identity("admin", "314159");
    login.push_back(0x0A);
    Bytes longSms = hexBytes("02 00000064 0007 06 03 05 0E 07 09 03 616263");
    longSms.resize(124, 0);
    Bytes paddingSpoilt = longSms;
    paddingSpoilt[123] = 0x20;
    Bytes textTooLong = longSms;
    textTooLong[13] = 111;
    struct Case {
        const char* name;
        FrameDialect dialect;
        Bytes datagram;
        const char* items;  // the decoded items
    };
    const Case cases[] = {
        {"direct login", direct, frameV(4, devCmdLogin, login),
         "user=admin password=314159 end=0x0A"},
        {"direct login of 32 bytes", direct, frameV(4, devCmdLogin, identity("admin", "314159")),
         "malformed=short"},
        {"legacy login", legacy, frameV(0, devCmdLogin, identity("a b", "\\x")),
         "user=a\\x20b password=\\x5Cx"},
        {"legacy login of 33 bytes", legacy, frameV(0, devCmdLogin, login),
         "user=admin password=314159 malformed=trailing"},
        {"direct login ack", direct, frameV(4, devCmdLoginAck, {0}), "result=0"},
        {"legacy login ack", legacy, frameV(2, devCmdLoginAck, {1, 0}), "result=256"},
        {"legacy one-byte login ack", legacy, frameV(2, devCmdLoginAck, {0}), "malformed=short"},
        {"heartbeat", direct, frameV(2, devCmdHeartBeat, {}), ""},
        {"heartbeat with a payload", legacy, frameV(0, devCmdHeartBeat, {0}),
         "malformed=trailing"},
        {"heartbeat ack", legacy, frameV(2, devCmdHeartBeatAck, {3, 0, 2, 1}),
         "count=3 states=0,2,1"},
        {"heartbeat ack, states missing", direct, frameV(2, devCmdHeartBeatAck, {3, 0}),
         "count=3 states=0 malformed=short"},
        {"link request", direct, frameV(4, devCmdLinkReq, {0, 0, 0, 9, 2, 3, 0}),
         "reader=9 count=2 states=3,0"},
        {"link ack", direct, frameV(4, devCmdLinkAck, {}), ""},
        {"report, version 4", direct,
         frameV(4, devCmdLabelReport, hexBytes("01020304 03 0A0B0C0D 41 AABB D8")),
         "reader=16909060 sub=3 tag=168496141 status=0x41 lowv=1 n=2 extra=AABB rssi=-40"},
        {"report, version 2", direct,
         frameV(2, devCmdLabelReport, hexBytes("03 0A0B0C0D 41 AABB D8")),
         "sub=3 tag=168496141 status=0x41 lowv=1 n=2 extra=AABB rssi=-40"},
        {"legacy report with version byte 4", legacy,
         frameV(4, devCmdLabelReport, hexBytes("03 0A0B0C0D 41 AABB D8")),
         "sub=3 tag=168496141 status=0x41 lowv=1 n=2 extra=AABB rssi=-40"},
        {"report without rssi", direct, frameV(2, devCmdLabelReport, hexBytes("03 0A0B0C0D 00")),
         "malformed=short"},
        {"call", legacy, hexBytes("51 56 52 46 02 06 99 D8 00 07 01 00 00 00 64 05 01"),
         "sub=1 tag=100 action=5 lamp=1 signal=green+buzzer"},
        {"direct sms", direct, frameV(4, devCmdSms, Bytes(longSms.begin(), longSms.begin() + 17)),
         "sub=2 tag=100 msg=7 year=6 date=2026-03-05 time=14:07:09 textlen=3 text=616263"},
        {"padded sms", legacy, frameV(2, devCmdSms, longSms),
         "sub=2 tag=100 msg=7 year=6 date=2026-03-05 time=14:07:09 textlen=3 text=616263"},
        {"padded sms, not padded", legacy,
         frameV(2, devCmdSms, Bytes(longSms.begin(), longSms.begin() + 17)),
         "sub=2 tag=100 msg=7 year=6 date=2026-03-05 time=14:07:09 textlen=3 text=616263 "
         "malformed=short"},
        {"padded sms, a byte in the padding", legacy, frameV(2, devCmdSms, paddingSpoilt),
         "sub=2 tag=100 msg=7 year=6 date=2026-03-05 time=14:07:09 textlen=3 text=616263 "
         "malformed=padding"},
        {"padded sms, text longer than its field", legacy, frameV(2, devCmdSms, textTooLong),
         nullptr},
        {"link ack in the legacy dialect", legacy, frameV(4, devCmdLinkAck, {}), ""},
    };
    for (const Case& c : cases) {
        const std::string text = line(c.datagram, true, kConsole, c.dialect);
        if (c.items) {
            EXPECT_EQ(decoded(text), c.items) << c.name << ": " << text;
        }
    }
    // The head names the code in the dialect's own words.
    EXPECT_EQ(line(frameV(4, devCmdLogin, login), true, kConsole, direct),
              "rx from=127.0.0.1:8800 ver=4 code=0x01 name=devCmdLogin len=33 "
              "payload=61646D696E0000000000000000000000333134313539000000000000000000000A "
              "user=admin password=314159 end=0x0A");
    EXPECT_EQ(line(frameV(4, devCmdLinkAck, {}), true, kConsole, legacy),
              "rx from=127.0.0.1:8800 ver=4 code=0x10 name=unknown len=0 payload=");
    EXPECT_EQ(line(frameV(4, devCmdLinkAck, {}), true, kConsole, direct),
              "rx from=127.0.0.1:8800 ver=4 code=0x10 name=devCmdLinkAck len=0 payload=");
    const std::string tooLong = line(frameV(2, devCmdSms, textTooLong), true, kConsole, legacy);
    EXPECT_NE(tooLong.find(" textlen=111 text=616263"), std::string::npos) << tooLong;
    EXPECT_EQ(tooLong.substr(tooLong.size() - 18), " malformed=textlen");
}
