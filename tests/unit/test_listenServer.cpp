#include <gtest/gtest.h>

#include "tests/unit/listenFixture.h"
#include "tests/unit/traceCapture.h"

TEST(ListenLogin, AcceptsTheConfiguredNameWithAChallenge)
{
    ListenFixture f;
    TraceCapture trace;
    const Bytes challenge = f.login(f.reader);
    ASSERT_EQ(challenge.size(), 256u);
    const SentFrame& ack = f.sender.frames[0];
    EXPECT_EQ(ack.to, f.reader);
    EXPECT_EQ(ack.code(), netCodeLoginAck);
    EXPECT_EQ(ack.payload()[0], 0);
    EXPECT_EQ(challenge[0], 0);
    EXPECT_EQ(challenge[255], 255);  // the bytes come from the random source
    const AuthState auth = f.server.authState();
    EXPECT_EQ(auth.window, netAuthWindowTicks);
    EXPECT_EQ(Bytes(auth.digest, auth.digest + 16), answerFor(challenge, "314159"));
    EXPECT_TRUE(trace.contains("rcv login req.\r\n"));
    EXPECT_FALSE(f.server.linkUp());
}

TEST(ListenLogin, NameComparison)
{
    struct Case {
        const char* name;
        Bytes payload;
        bool accepted;
    };
    Bytes trailing = text("dev001");
    trailing.push_back('x');
    const Case cases[] = {
        {"exact", text("dev001"), true},
        {"letter case", text("DEV001"), false},
        {"no zero byte, bounded by L", text("dev001", false), true},
        {"longer without zero byte", text("dev0012", false), false},
        {"prefix", text("dev00"), false},
        {"bytes after the zero", trailing, true},
        {"empty payload", Bytes{}, false},
    };
    for (const Case& c : cases) {
        ListenFixture f;
        TraceCapture trace;
        f.deliver(frameOf(netCodeLoginReq, c.payload));
        ASSERT_EQ(f.sender.frames.size(), 1u) << c.name;
        const SentFrame& ack = f.sender.frames[0];
        if (c.accepted) {
            EXPECT_EQ(ack.bytes.size(), 267u) << c.name;
        } else {
            EXPECT_EQ(ack.bytes, frameOf(netCodeLoginAck, {2})) << c.name;
            EXPECT_TRUE(trace.contains("netCmdCPLoginAck error unknown device name\r\n")) << c.name;
            EXPECT_EQ(f.server.authState().window, 0) << c.name;
        }
    }
}

TEST(ListenAuth, AcceptWithinTheWindow)
{
    ListenFixture f;
    TraceCapture trace;
    const Bytes challenge = f.login(f.reader);
    f.ticks(9);
    f.sender.frames.clear();
    f.deliver(frameOf(netCodeAuthReq, answerFor(challenge, "314159")));
    ASSERT_EQ(f.sender.frames.size(), 1u);
    EXPECT_EQ(f.sender.frames[0].bytes, frameOf(netCodeAuthAck, {0x00, 0x0F, 0x00, 0x00, 0x00, 0x01}));
    EXPECT_TRUE(f.server.linkUp());
    EXPECT_EQ(f.server.heartBeatTimeout(), netHeartBeatTicks);
    EXPECT_EQ(f.server.readerAddr(), f.reader);
    EXPECT_TRUE(trace.contains("auth ok\r\n"));
}

TEST(ListenAuth, Rejections)
{
    struct Case {
        const char* name;
        size_t length;     // 16 = the right answer (possibly spoilt)
        bool spoil;        // flip a byte of the answer
        int ticksBefore;   // ticks between login ack and auth request
        bool secondLogin;  // answer the first of two challenges
        bool lengthTrace;
    };
    const Case cases[] = {
        {"15 bytes", 15, false, 0, false, true},
        {"17 bytes", 17, false, 0, false, true},
        {"wrong digest", 16, true, 0, false, false},
        {"after the window", 16, false, 10, false, false},
        {"older of two challenges", 16, false, 0, true, false},
    };
    for (const Case& c : cases) {
        ListenFixture f;
        const Bytes first = f.login(f.reader);
        if (c.secondLogin)
            f.login(f.reader);
        f.ticks(c.ticksBefore);
        Bytes answer = answerFor(first, "314159");
        if (c.spoil)
            answer[3] ^= 1;
        answer.resize(c.length, 0);
        TraceCapture trace;
        f.sender.frames.clear();
        f.deliver(frameOf(netCodeAuthReq, answer));
        ASSERT_EQ(f.sender.frames.size(), 1u) << c.name;
        EXPECT_EQ(f.sender.frames[0].bytes, frameOf(netCodeAuthAck, {4})) << c.name;
        EXPECT_FALSE(f.server.linkUp()) << c.name;
        const std::string lenTrace =
            "netCmdCPAuthAck error len " + std::to_string(c.length) + "\r\n";
        EXPECT_EQ(trace.contains(lenTrace), c.lengthTrace) << c.name;
    }
}

TEST(ListenAuth, WindowExpiryClearsTheDigest)
{
    ListenFixture f;
    f.login(f.reader);
    f.ticks(10);
    const AuthState a = f.server.authState();
    EXPECT_EQ(a.window, 0);
    EXPECT_EQ(Bytes(a.digest, a.digest + 16), Bytes(16, 0));
}

TEST(ListenHeartBeat, OnlyAnsweredWhileLinkedAndRestartsTheCount)
{
    ListenFixture f;
    f.deliver(heartBeat({0}));
    EXPECT_TRUE(f.sender.frames.empty());
    EXPECT_EQ(f.substations.state(0), substationAbsent);

    ASSERT_TRUE(f.authenticate());
    f.ticks(59);
    EXPECT_TRUE(f.server.linkUp());
    f.sender.frames.clear();
    TraceCapture trace;
    const NetAddr other{0x7F000001, 50000};
    f.deliver(heartBeat({0}), other);
    ASSERT_EQ(f.sender.frames.size(), 1u);
    EXPECT_EQ(f.sender.frames[0].to, other);  // answered to its sender
    EXPECT_EQ(f.sender.frames[0].bytes, frameOf(netCodeHeartBeatAck, {}));
    EXPECT_EQ(f.server.heartBeatTimeout(), netHeartBeatTicks);
    EXPECT_TRUE(trace.contains("rcv heart beat req.\r\n"));
    f.ticks(59);
    EXPECT_TRUE(f.server.linkUp());
    f.ticks(1);
    EXPECT_FALSE(f.server.linkUp());
}

TEST(ListenHeartBeat, TimeoutStopsTagReports)
{
    ListenFixture f;
    ASSERT_TRUE(f.authenticate());
    f.deliver(tagReport(1, 0, 0, -30));
    f.ticks(60);
    EXPECT_FALSE(f.server.linkUp());
    f.deliver(tagReport(2, 0, 0, -30));
    f.sender.frames.clear();
    f.deliver(heartBeat({0}));
    EXPECT_EQ(f.store.count(), 1);
    EXPECT_TRUE(f.sender.frames.empty());
}

TEST(ListenHeartBeat, StateCopyIsBoundedByCountAndLength)
{
    struct Case {
        const char* name;
        Bytes states;
        int announced;
        int updated;  // substations 0..updated-1 take the new state 0
    };
    const Case cases[] = {
        {"N = 40", Bytes(40, 0), 40, 34},
        {"N = 3", Bytes(3, 0), 3, 3},
        {"N above the bytes present", Bytes(2, 0), 10, 2},
        {"N = 0", Bytes{}, 0, 0},
    };
    for (const Case& c : cases) {
        ListenFixture f;
        ASSERT_TRUE(f.authenticate());
        f.deliver(heartBeat(c.states, c.announced));
        for (int i = 0; i < substationCount; ++i)
            EXPECT_EQ(f.substations.state(i), i < c.updated ? 0 : substationAbsent)
                << c.name << " substation " << i;
    }
}

TEST(ListenHeartBeat, ShortPayloadIsAnsweredAndCopiesNothing)
{
    ListenFixture f;
    ASSERT_TRUE(f.authenticate());
    f.sender.frames.clear();
    f.deliver(frameOf(netCodeHeartBeatReq, {0, 0, 0}));
    EXPECT_EQ(f.sender.frames.size(), 1u);
    EXPECT_EQ(f.substations.state(0), substationAbsent);
}

TEST(ListenReauth, ClearsTheStoreAndMovesTheReaderAddress)
{
    ListenFixture f;
    ASSERT_TRUE(f.authenticate());
    f.deliver(tagReport(5, 1, 0, -30));
    ASSERT_EQ(f.store.count(), 1);
    const NetAddr moved{0x7F000002, 40002};
    ASSERT_TRUE(f.authenticate(moved));
    EXPECT_EQ(f.store.count(), 0);
    EXPECT_EQ(f.server.readerAddr(), moved);
}

TEST(ListenTagReport, FieldsAndFilters)
{
    struct Case {
        const char* name;
        Bytes datagram;
        bool stored;
    };
    Bytes shortReport = tagReport(9, 0, 3 << 5, -30, {1, 2});  // announces 3, carries 2 + RSSI
    Bytes tooShort = frameOf(netCodeLabelReport, Bytes(10, 0));
    const Case cases[] = {
        {"plain", tagReport(9, 33, 0, -30), true},
        {"substation 34", tagReport(9, 34, 0, -30), false},
        {"status 0x0E", tagReport(9, 0, 0x0E, -30), false},
        {"shorter than its extra data", shortReport, false},
        {"shorter than the fixed fields", tooShort, false},
    };
    for (const Case& c : cases) {
        ListenFixture f;
        ASSERT_TRUE(f.authenticate());
        f.deliver(c.datagram);
        EXPECT_EQ(f.store.count(), c.stored ? 1 : 0) << c.name;
    }

    ListenFixture f;
    f.deliver(tagReport(1, 0, 0, -30));
    EXPECT_EQ(f.store.count(), 0) << "before the link is up";
    ASSERT_TRUE(f.authenticate());
    f.deliver(tagReport(0x80000001u, 12, 2 << 5 | 1, -21, {0x0A, 0xFF}));
    RowSnapshot r{};
    ASSERT_TRUE(f.store.snapshot(0, &r));
    EXPECT_EQ(r.tagId, 0x80000001u);
    EXPECT_EQ(r.substation, 12);
    EXPECT_EQ(r.status, 2 << 5 | 1);
    EXPECT_EQ(r.extra[0], 0x0A);
    EXPECT_EQ(r.extra[1], 0xFF);
    EXPECT_EQ(r.rssi, -21);
    EXPECT_EQ(r.distance, 43);
}

TEST(ListenDispatch, AckTracesAndIgnoredCodes)
{
    const struct {
        uint8_t code;
        const char* trace;
    } cases[] = {
        {netCodeLabelAlarmAck, "cp rcv label alarm ack.\r\n"},
        {netCodeLabelAlarmRej, "cp rcv label alarm rej.\r\n"},
        {netCodeSmsAck, "cp rcv sms ack.\r\n"},
        {netCodeSmsRej, "cp rcv sms rej.\r\n"},
        {netCodeLoginAck, nullptr},
        {netCodeSms, nullptr},
        {0x2D, nullptr},
        {0x10, nullptr},
    };
    for (const auto& c : cases) {
        ListenFixture f;
        TraceCapture trace;
        f.deliver(frameOf(c.code, {1, 2, 3}));
        ASSERT_GE(trace.lines.size(), 1u);  // the receive dump
        EXPECT_EQ(trace.lines.size(), c.trace ? 2u : 1u) << int(c.code);
        if (c.trace) {
            EXPECT_EQ(trace.lines[1], c.trace);
        }
        EXPECT_TRUE(f.sender.frames.empty());
    }
}

TEST(ListenSend, NothingGoesOutWhileNoReaderIsLinked)
{
    ListenFixture f;
    const uint8_t call[7] = {1, 0, 0, 0, 9, 5, 1};
    EXPECT_FALSE(f.server.sendToReader(netCodeLabelAlarm, call, sizeof call));
    EXPECT_TRUE(f.sender.frames.empty());
    ASSERT_TRUE(f.authenticate());
    f.sender.frames.clear();
    TraceCapture trace;
    EXPECT_TRUE(f.server.sendToReader(netCodeLabelAlarm, call, sizeof call));
    ASSERT_EQ(f.sender.frames.size(), 1u);
    EXPECT_EQ(f.sender.frames[0].to, f.reader);
    ASSERT_EQ(trace.lines.size(), 1u);
    EXPECT_EQ(trace.lines[0].rfind("net send 17:", 0), 0u);
}
