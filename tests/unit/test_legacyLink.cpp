#include <gtest/gtest.h>

#include "common/textCodec.h"
#include "console/legacy/legacyLink.h"
#include "tests/unit/listenFixture.h"
#include "tests/unit/traceCapture.h"

namespace {

struct LegacyFixture {
    TagStore store{legacyStoreCapacity};
    SubstationTable substations;
    RecordingSender sender;
    LegacyLink link{store, substations, sender};
    const NetAddr reader{0x7F000001, devReaderPort};
    int now = 0;

    LegacyFixture()
    {
        store.clear();
        link.open(reader.ip);
    }
    void deliver(const Bytes& d) { link.onDatagram(d.data(), d.size(), reader); }
    std::vector<int> runUntil(int until, uint8_t code)
    {
        std::vector<int> at;
        size_t seen = sender.frames.size();
        while (now < until) {
            ++now;
            link.netClientTick();
            for (; seen < sender.frames.size(); ++seen)
                if (sender.frames[seen].code() == code)
                    at.push_back(now);
        }
        return at;
    }
    Bytes report(uint32_t id, uint8_t sub, uint8_t status = 0)
    {
        return frameV(2, devCmdLabelReport,
                      {sub, uint8_t(id >> 24), uint8_t(id >> 16), uint8_t(id >> 8), uint8_t(id),
                       status, uint8_t(-40)});
    }
};

}  // namespace

TEST(LegacyLink, LoginsEveryThreeSecondsFromTheFirstTick)
{
    LegacyFixture f;
    EXPECT_TRUE(f.sender.frames.empty());
    TraceCapture trace;
    EXPECT_EQ(f.runUntil(10, devCmdLogin), (std::vector<int>{1, 4, 7, 10}));
    EXPECT_EQ(f.sender.frames.size(), 4u);
    Bytes login(32, 0);
    std::copy_n("admin", 5, login.begin());
    std::copy_n("314159", 6, login.begin() + 16);
    EXPECT_EQ(f.sender.frames[0].bytes, frameV(0, devCmdLogin, login));
    EXPECT_EQ(f.sender.frames[0].bytes.size(), 42u);
    EXPECT_TRUE(trace.contains("\r\n登陆请求"));
}

TEST(LegacyLink, ChineseTracesReachTheDebugOutputInCodePage936)
{
    static std::vector<std::string> written;
    written.clear();
    GbkTraceOutput output = {&systemTextCodec(),
                             [](const char* gbk) { written.emplace_back(gbk); }};
    LegacyFixture f;
    netTraceSetSink(netTraceToGbk, &output);
    f.link.sendLogin();
    f.link.close();
    netTraceDump("net send %d:", f.sender.frames[0].bytes.data(), 2);  // ASCII passes unchanged
    netTraceSetSink(nullptr, nullptr);
    const std::vector<std::string> expected = {
        "\r\n\xB5\xC7\xC2\xBD\xC7\xEB\xC7\xF3",   // "\r\n登陆请求"
        "\xB9\xD8\xB1\xD5udp\xB6\xCB\xBF\xDA\r\n",  // "关闭udp端口\r\n"
        "net send 2: 51 56\r\n",
    };
    EXPECT_EQ(written, expected);
}

TEST(LegacyLink, LoginResults)
{
    struct Case {
        const char* name;
        Bytes payload;
        uint8_t version;
        bool accepted;
    };
    const Case cases[] = {
        {"00 00", {0, 0}, 2, true},
        {"00 01", {0, 1}, 2, false},
        {"version byte 4", {0, 0}, 4, true},
        {"one byte", {0}, 2, false},
    };
    for (const Case& c : cases) {
        LegacyFixture f;
        TraceCapture trace;
        f.deliver(frameV(c.version, devCmdLoginAck, c.payload));
        EXPECT_EQ(f.link.linkUp(), c.accepted) << c.name;
        EXPECT_TRUE(trace.contains(c.accepted ? "\r\nlogin ok." : "\r\nlogin fail.")) << c.name;
    }
}

TEST(LegacyLink, HeartBeatsSilenceAndRelogin)
{
    LegacyFixture f;
    f.runUntil(1, 0);  // login at 1 s, retry 3
    f.deliver(frameV(0, devCmdLoginAck, {0, 0}));
    EXPECT_EQ(f.runUntil(25, devCmdHeartBeat), (std::vector<int>{4, 14, 24}));
    EXPECT_EQ(f.sender.frames.back().bytes,
              (Bytes{'Q', 'V', 'R', 'F', 0x00, 0x04, 0xB0, 0x01, 0x00, 0x00}));
    // No valid frame since 1 s: lost at 31 s, logins at 33, 36 s.
    f.runUntil(30, 0);
    EXPECT_TRUE(f.link.linkUp());
    EXPECT_EQ(f.runUntil(37, devCmdLogin), (std::vector<int>{33, 36}));
    EXPECT_FALSE(f.link.linkUp());
}

TEST(LegacyLink, AnyValidFrameKeepsTheLinkAndReportsAreAlwaysStored)
{
    LegacyFixture f;
    f.deliver(f.report(5, 1));
    EXPECT_EQ(f.store.count(), 1) << "stored before the login";
    f.deliver(frameV(0, devCmdLoginAck, {0, 0}));
    for (int i = 0; i < 100; ++i) {
        f.deliver(i % 2 ? f.report(6, 2) : frameV(2, 0x3F, {1, 2}));  // unknown code counts too
        f.runUntil(f.now + 1, 0);
    }
    EXPECT_TRUE(f.link.linkUp());
}

TEST(LegacyLink, IgnoredDatagramsAndTraces)
{
    struct Case {
        const char* name;
        Bytes datagram;
        std::vector<std::string> traces;
    };
    Bytes badCrc = frameV(2, devCmdSmsAck, {1});
    badCrc[7] ^= 1;
    Bytes badMagic = frameV(2, devCmdSmsAck, {1});
    badMagic[0] = 'X';
    const Case cases[] = {
        {"ten bytes with a bad magic", Bytes(10, 0), {}},
        {"bad magic", badMagic, {"\r\nmsg head error"}},
        {"bad crc", badCrc, {"\r\ncrc error"}},
        {"trailing byte", [] { Bytes b = frameV(2, devCmdSmsAck, {1}); b.push_back(0); return b; }(),
         {"\r\nlen wrong"}},
        {"sms ack", frameV(2, devCmdSmsAck, {1}), {"\r\nrcv SMS ACK."}},
        {"link request is dropped", frameV(4, devCmdLinkReq, {0, 0, 0, 0, 0}), {}},
    };
    for (const Case& c : cases) {
        LegacyFixture f;
        TraceCapture trace;
        f.deliver(c.datagram);
        EXPECT_EQ(trace.lines, c.traces) << c.name;
        EXPECT_TRUE(f.sender.frames.empty()) << c.name;
    }
}

TEST(LegacyLink, CallAndShortMessageFrames)
{
    LegacyFixture f;
    f.deliver(frameV(0, devCmdLoginAck, {0, 0}));
    f.link.sendLabelAlarm(CallFrame{1, 100, 5, 1});
    f.link.sendLabelAlarm(CallFrame{1, 100, 1, 0xFF});
    f.link.sendSms(SmsFrame{1, 100, 7, {2026, 12, 10, 9, 8, 7}, "abc"});
    f.link.sendSms(SmsFrame{1, 100, 7, {2026, 12, 10, 9, 8, 7}, ""});  // no text: nothing
    ASSERT_EQ(f.sender.frames.size(), 3u);
    EXPECT_EQ(f.sender.frames[0].bytes,
              (Bytes{'Q', 'V', 'R', 'F', 0x02, 0x06, 0x99, 0xD8, 0x00, 0x07, 0x01, 0x00, 0x00, 0x00,
                     0x64, 0x05, 0x01}));
    EXPECT_EQ(f.sender.frames[1].bytes,
              (Bytes{'Q', 'V', 'R', 'F', 0x02, 0x06, 0xD9, 0x5B, 0x00, 0x07, 0x01, 0x00, 0x00, 0x00,
                     0x64, 0x01, 0xFF}));
    const Bytes& sms = f.sender.frames[2].bytes;
    ASSERT_EQ(sms.size(), 134u);
    EXPECT_EQ(sms[4], 2);
    EXPECT_EQ(sms[17], 6);  // year byte
    EXPECT_EQ(sms[23], 3);
    EXPECT_EQ(Bytes(sms.begin() + 24, sms.begin() + 27), (Bytes{'a', 'b', 'c'}));
    EXPECT_EQ(Bytes(sms.begin() + 27, sms.end()), Bytes(107, 0));
}

TEST(LegacyLink, ReportsOfSubstation34OrStatus0x0EAreIgnored)
{
    const struct {
        const char* name;
        uint8_t substation, status;
        bool stored;
    } cases[] = {
        {"substation 33", 33, 0x01, true},
        {"substation 34", 34, 0x01, false},
        {"status 0x0E", 0, 0x0E, false},
        {"status 0x0F", 0, 0x0F, true},
    };
    for (const auto& c : cases) {
        LegacyFixture f;
        f.deliver(frameV(0, devCmdLoginAck, {0, 0}));
        f.runUntil(5, 0);
        ASSERT_GT(f.link.silenceCount(), 0);
        f.deliver(f.report(7, c.substation, c.status));
        EXPECT_EQ(f.store.count(), c.stored ? 1 : 0) << c.name;
        EXPECT_EQ(f.link.silenceCount(), 0) << c.name;  // a valid frame all the same
    }
}

TEST(LegacyLink, StoreHoldsAThousandPairs)
{
    LegacyFixture f;
    for (uint32_t id = 0; id < 1001; ++id)
        f.deliver(f.report(id, 0));
    EXPECT_EQ(f.store.count(), legacyStoreCapacity);
    f.deliver(f.report(5, 0));
    RowSnapshot r{};
    f.store.snapshot(5, &r);
    EXPECT_EQ(r.activeCount, 2);
}
