// The listening-dialect reader: the bytes it sends, its answers, and its
// timing, driven tick by tick against hand-built platform frames.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/unit/readersim/readerFixture.h"

TEST(ListenReaderLogin, LoginAnswerAndFirstHeartbeat)
{
    ReaderFixture f;
    f.config.readerId = 0x01020304;
    const uint8_t states[] = {0, 2, 1, 3, 9};
    std::copy(states, states + 5, f.config.states);
    f.config.stateCount = 5;

    f.reader().start();
    ASSERT_EQ(f.sender.frames.size(), 1u);
    EXPECT_EQ(f.sender.frames[0].to, f.platform);
    EXPECT_EQ(f.sender.frames[0].bytes, hexBytes("51 56 52 46 04 20 71 B4 00 07 64 65 76 30 30 31 00"));
    EXPECT_EQ(f.reader().state(), ListenReader::State::loggingIn);

    // MD5 over the challenge 0..255 and "314159" padded with zeros to 32
    // bytes, computed independently.
    f.deliver(loginAccept());
    ASSERT_EQ(f.sender.frames.size(), 2u);
    EXPECT_EQ(f.sender.frames[1].bytes,
              frameOf(netCodeAuthReq, hexBytes("0d7d1a37c8063179f8aa9fc663b74d4f")));
    EXPECT_EQ(f.reader().state(), ListenReader::State::authenticating);

    f.deliver(authAccept());
    EXPECT_EQ(f.reader().state(), ListenReader::State::linked);
    ASSERT_EQ(f.sender.frames.size(), 3u);
    EXPECT_EQ(f.sender.frames[2].bytes,
              hexBytes("51 56 52 46 04 25 71 98 00 0A 01 02 03 04 05 00 02 01 03 09"));

    EXPECT_TRUE(f.log.contains("# login-sent attempt=1 reason=start"));
    EXPECT_TRUE(f.log.contains("# login-accepted"));
    EXPECT_TRUE(f.log.contains("# auth-ok"));
}

TEST(ListenReaderLogin, TheAnswerFollowsThePassword)
{
    // Reference digests from an independent MD5 over challenge 0..255 and
    // the password padded with zero bytes to 32.
    uint8_t challenge[256];
    for (int i = 0; i < 256; ++i)
        challenge[i] = uint8_t(i);
    uint8_t digest[16];
    ListenReader::answerChallenge(challenge, "314159", digest);
    EXPECT_EQ(Bytes(digest, digest + 16), hexBytes("0d7d1a37c8063179f8aa9fc663b74d4f"));
    // The same as the platform expects for the same challenge and password.
    EXPECT_EQ(Bytes(digest, digest + 16), answerFor(Bytes(challenge, challenge + 256), "314159"));
    uint8_t wrong[16];
    ListenReader::answerChallenge(challenge, "000000", wrong);
    EXPECT_NE(Bytes(wrong, wrong + 16), Bytes(digest, digest + 16));
}

TEST(ListenReaderLogin, AcksTooShortForTheirContentAreIgnored)
{
    // An accepting login ack must carry the whole challenge; the reader
    // never answers from bytes the datagram does not hold.
    struct Case {
        const char* name;
        Bytes payload;
        const char* status;
    };
    const Case cases[] = {
        {"result only", {0}, "# login-ack-malformed len=1"},
        {"challenge one byte short", Bytes(256, 0), "# login-ack-malformed len=256"},
        {"empty", {}, "# login-ack-malformed len=0"},
    };
    for (const Case& c : cases) {
        ReaderFixture f;
        f.reader().start();
        f.sender.frames.clear();
        f.deliver(frameOf(netCodeLoginAck, c.payload));
        EXPECT_TRUE(f.sender.frames.empty()) << c.name;
        EXPECT_EQ(f.reader().state(), ListenReader::State::loggingIn) << c.name;
        EXPECT_TRUE(f.log.contains(c.status)) << c.name;
    }
    ReaderFixture f;
    f.reader().start();
    f.deliver(loginAccept());
    f.deliver(frameOf(netCodeAuthAck, {}));
    EXPECT_EQ(f.reader().state(), ListenReader::State::authenticating);
    EXPECT_TRUE(f.log.contains("# auth-ack-malformed len=0"));
}

TEST(ListenReaderReports, FramesByteForByte)
{
    ReaderFixture f;
    f.config.readerId = 0x01020304;
    f.tagConfig.tagCount = 2;
    f.tagConfig.firstTagId = 0x0A0B0C0D;
    f.tagConfig.substations[0] = 3;
    f.tagConfig.substations[1] = 33;
    f.tagConfig.substationCount = 2;
    f.tagConfig.rssi[0] = -40;
    f.tagConfig.rssi[1] = -60;
    f.tagConfig.rssiCount = 2;
    f.tagConfig.lowVoltageEvery = 2;  // tag 0 only
    f.tagConfig.extra[0] = 0xAA;
    f.tagConfig.extra[1] = 0xBB;
    f.tagConfig.extraCount = 2;
    f.tagConfig.statusBits = 0x01;  // bit 0 is not the caller's: ignored
    f.link();

    f.ticks(2);
    const std::vector<SentFrame> reports = f.sentWithCode(netCodeLabelReport);
    ASSERT_EQ(reports.size(), 4u);
    // Tag 0: substation 3, low voltage, two extra bytes (n = 2 in bits 5..7), -40 dB.
    EXPECT_EQ(reports[0].bytes,
              hexBytes("51 56 52 46 04 24 51 BC 00 0D 01 02 03 04 03 0A 0B 0C 0D 41 AA BB D8"));
    // Tag 1: the next ID at substation 33, no low voltage.
    EXPECT_EQ(reports[1].bytes,
              hexBytes("51 56 52 46 04 24 0C 79 00 0D 01 02 03 04 21 0A 0B 0C 0E 40 AA BB D8"));
    // The second round carries the second RSSI value.
    EXPECT_EQ(reports[2].payload().back(), uint8_t(-60));
    EXPECT_EQ(reports[3].payload().back(), uint8_t(-60));
    for (const SentFrame& r : reports)
        EXPECT_EQ(r.to, f.platform);
}

TEST(ListenReaderReports, RateAndRoundRobin)
{
    ReaderFixture f;
    f.tagConfig.tagCount = 3;
    f.tagConfig.firstTagId = 100;
    f.tagConfig.tagIdStep = 0;  // one tag ID heard at three substations
    const uint8_t subs[] = {2, 1, 5};
    std::copy(subs, subs + 3, f.tagConfig.substations);
    f.tagConfig.substationCount = 3;
    f.tagConfig.reportsPerTick = 2;
    f.link();
    f.ticks(3);
    const std::vector<SentFrame> reports = f.sentWithCode(netCodeLabelReport);
    ASSERT_EQ(reports.size(), 6u);
    const uint8_t expectedSub[] = {2, 1, 5, 2, 1, 5};
    for (size_t i = 0; i < reports.size(); ++i) {
        const Bytes p = reports[i].payload();
        EXPECT_EQ(p[4], expectedSub[i]) << i;
        EXPECT_EQ(netGet32(&p[5]), 100u) << i;
    }
}

TEST(ListenReaderReports, NothingIsReportedBeforeTheLink)
{
    ReaderFixture f;
    f.reader().start();
    f.deliver(loginAccept());
    f.ticks(3);  // authenticating: no auth ack yet
    EXPECT_TRUE(f.sentWithCode(netCodeLabelReport).empty());
    EXPECT_TRUE(f.sentWithCode(netCodeHeartBeatReq).empty());
}

TEST(ListenReaderAnswers, CallsAndShortMessages)
{
    struct Case {
        const char* name;
        uint8_t code;
        Bytes payload;
        bool reject;
        uint8_t answer;
    };
    const Bytes call = {1, 0, 0, 0, 100, 5, 1};
    const Bytes sms = hexBytes("02 EE 6B 28 00 9C 40 06 03 05 0E 07 09 03 61 62 63");
    const Case cases[] = {
        {"call accepted", netCodeLabelAlarm, call, false, netCodeLabelAlarmAck},
        {"call rejected", netCodeLabelAlarm, call, true, netCodeLabelAlarmRej},
        {"sms accepted", netCodeSms, sms, false, netCodeSmsAck},
        {"sms rejected", netCodeSms, sms, true, netCodeSmsRej},
    };
    for (const Case& c : cases) {
        ReaderFixture f;
        f.config.rejectCalls = c.reject;
        f.config.rejectSms = c.reject;
        f.link();
        f.deliver(frameOf(c.code, c.payload));
        ASSERT_EQ(f.sender.frames.size(), 1u) << c.name;
        const SentFrame& a = f.sender.frames[0];
        EXPECT_EQ(a.to, f.platform) << c.name;
        // The answer repeats substation, tag ID and the next two bytes.
        EXPECT_EQ(a.bytes, frameOf(c.answer, Bytes(c.payload.begin(), c.payload.begin() + 7)))
            << c.name;
        ASSERT_EQ(f.log.lines.size(), 1u) << c.name;
        EXPECT_EQ(f.log.lines[0].compare(0, 3, "rx "), 0) << c.name;
    }
    // The literal ack of a call to tag 100 at substation 1 with lamp mode 1.
    ReaderFixture f;
    f.link();
    f.deliver(frameOf(netCodeLabelAlarm, call));
    ASSERT_EQ(f.sender.frames.size(), 1u);
    EXPECT_EQ(f.sender.frames[0].bytes, hexBytes("51 56 52 46 04 28 99 D8 00 07 01 00 00 00 64 05 01"));
}

TEST(ListenReaderAnswers, SpoiltOrStrayFramesGetNoAnswer)
{
    ReaderFixture f;
    f.link();
    Bytes badCall = frameOf(netCodeLabelAlarm, {1, 0, 0, 0, 100, 5, 1});
    badCall[7] ^= 0x01;
    f.deliver(badCall);
    Bytes longCall = frameOf(netCodeLabelAlarm, {1, 0, 0, 0, 100, 5, 1});
    longCall.push_back(0);
    f.deliver(longCall);
    // A late login ack or auth ack while linked starts nothing new.
    f.deliver(loginAccept());
    f.deliver(authAccept());
    EXPECT_TRUE(f.sender.frames.empty());
    EXPECT_EQ(f.reader().state(), ListenReader::State::linked);
    ASSERT_EQ(f.log.lines.size(), 4u);
    EXPECT_NE(f.log.lines[0].find(" bad=crc "), std::string::npos);
    EXPECT_NE(f.log.lines[1].find(" bad=length "), std::string::npos);
}

TEST(ListenReaderTiming, LoginRetryWithoutAnswer)
{
    ReaderFixture f;
    f.config.loginRetryTicks = 5;
    f.reader().start();
    std::vector<int> loginTicks = {0};
    for (int t = 1; t <= 12; ++t) {
        const size_t before = f.sender.frames.size();
        f.ticks(1);
        if (f.sender.frames.size() > before)
            loginTicks.push_back(t);
    }
    EXPECT_EQ(loginTicks, (std::vector<int>{0, 5, 10}));
    EXPECT_EQ(f.sentWithCode(netCodeLoginReq).size(), 3u);
    EXPECT_TRUE(f.log.contains("# login-sent attempt=3 reason=retry"));
}

TEST(ListenReaderTiming, RejectionsRetryAfterTheRetryPeriod)
{
    struct Case {
        const char* name;
        bool rejectLogin;  // else the auth is rejected
        const char* status;
    };
    const Case cases[] = {
        {"login rejected", true, "# login-rejected result=2"},
        {"auth rejected", false, "# auth-rejected result=4"},
    };
    for (const Case& c : cases) {
        ReaderFixture f;
        f.config.loginRetryTicks = 3;
        f.reader().start();
        if (c.rejectLogin) {
            f.deliver(frameOf(netCodeLoginAck, {2}));
        } else {
            f.deliver(loginAccept());
            f.deliver(frameOf(netCodeAuthAck, {4}));
        }
        EXPECT_TRUE(f.log.contains(c.status)) << c.name;
        EXPECT_EQ(f.reader().state(), ListenReader::State::loggingIn) << c.name;
        f.ticks(2);
        EXPECT_EQ(f.sentWithCode(netCodeLoginReq).size(), 1u) << c.name;
        f.ticks(1);
        EXPECT_EQ(f.sentWithCode(netCodeLoginReq).size(), 2u) << c.name;
    }
}

TEST(ListenReaderTiming, AuthHeldBackForTheDelay)
{
    ReaderFixture f;
    f.config.authDelayTicks = 11;
    f.config.loginRetryTicks = 5;  // must not fire while the auth is held back
    f.reader().start();
    f.deliver(loginAccept());
    EXPECT_EQ(f.reader().state(), ListenReader::State::authDelay);
    f.ticks(10);
    EXPECT_TRUE(f.sentWithCode(netCodeAuthReq).empty());
    EXPECT_EQ(f.sentWithCode(netCodeLoginReq).size(), 1u);
    f.ticks(1);
    EXPECT_EQ(f.sentWithCode(netCodeAuthReq).size(), 1u);
    // The answer is the one for the challenge that came 11 ticks earlier.
    EXPECT_EQ(f.sentWithCode(netCodeAuthReq)[0].payload(), hexBytes("0d7d1a37c8063179f8aa9fc663b74d4f"));
}

TEST(ListenReaderTiming, HeartbeatPeriodAndRelogin)
{
    // Period 2, three misses: the heartbeat of the link (tick 0) stays
    // unanswered; at ticks 2 and 4 the due heartbeat counts a miss and goes
    // out; at tick 6 the third miss starts a new login instead.
    ReaderFixture f;
    f.config.heartbeatTicks = 2;
    f.config.reloginMisses = 3;
    f.tagConfig.tagCount = 0;
    f.reader().start();
    f.deliver(loginAccept());
    f.deliver(authAccept());
    f.sender.frames.clear();
    std::vector<int> heartbeatTicks, loginTicks;
    for (int t = 1; t <= 6; ++t) {
        const size_t before = f.sender.frames.size();
        f.ticks(1);
        for (size_t i = before; i < f.sender.frames.size(); ++i)
            (f.sender.frames[i].code() == netCodeHeartBeatReq ? heartbeatTicks : loginTicks)
                .push_back(t);
    }
    EXPECT_EQ(heartbeatTicks, (std::vector<int>{2, 4}));
    EXPECT_EQ(loginTicks, (std::vector<int>{6}));
    EXPECT_EQ(f.reader().state(), ListenReader::State::loggingIn);
    EXPECT_TRUE(f.log.contains("# link-lost misses=3"));
    EXPECT_TRUE(f.log.contains("# login-sent attempt=2 reason=relogin"));

    // Logging in again leads to a fresh link with a fresh miss count.
    f.deliver(loginAccept());
    f.deliver(authAccept());
    EXPECT_EQ(f.reader().state(), ListenReader::State::linked);
    EXPECT_EQ(f.reader().heartbeatMisses(), 0);
}

TEST(ListenReaderTiming, AnAnswerClearsTheMisses)
{
    // Every second heartbeat is answered: each miss is followed by an
    // answer, so two misses never come in a row and the link holds.
    ReaderFixture f;
    f.config.heartbeatTicks = 1;
    f.config.reloginMisses = 2;
    f.tagConfig.tagCount = 0;
    f.link();
    for (int t = 1; t <= 40; ++t) {
        f.ticks(1);
        if (t % 2 == 1)
            f.deliver(frameOf(netCodeHeartBeatAck, {}));
    }
    EXPECT_EQ(f.reader().state(), ListenReader::State::linked);
    EXPECT_EQ(f.sentWithCode(netCodeHeartBeatReq).size(), 40u);
    EXPECT_TRUE(f.sentWithCode(netCodeLoginReq).empty());
}

TEST(ListenReaderTiming, NoHeartbeatsAndNoRelogin)
{
    ReaderFixture f;
    f.config.heartbeatTicks = 0;
    f.tagConfig.tagCount = 1;
    f.reader().start();
    f.deliver(loginAccept());
    f.deliver(authAccept());
    f.ticks(200);
    EXPECT_TRUE(f.sentWithCode(netCodeHeartBeatReq).empty());
    EXPECT_EQ(f.sentWithCode(netCodeLoginReq).size(), 1u);
    EXPECT_EQ(f.sentWithCode(netCodeLabelReport).size(), 200u);
}

TEST(ListenReaderFaults, SpoiltFramesFailTheConsolesCheck)
{
    struct Case {
        const char* name;
        unsigned FrameFaults::*field;
        NetCheck expected;  // what the console's check makes of the datagram it reads
    };
    const Case cases[] = {
        {"bad crc", &FrameFaults::badCrc, NetCheck::badCrc},
        {"bad length", &FrameFaults::badLength, NetCheck::badLength},
        // The console reads at most 1024 bytes of the 1100-byte datagram.
        {"oversize", &FrameFaults::oversize, NetCheck::badLength},
    };
    for (const Case& c : cases) {
        ReaderFixture f;
        f.tagConfig.tagCount = 1;
        f.config.faults.*c.field = kindReport;
        f.link();
        f.ticks(1);
        const std::vector<SentFrame> reports = f.sentWithCode(netCodeLabelReport);
        ASSERT_EQ(reports.size(), 1u) << c.name;
        const Bytes& d = reports[0].bytes;
        const size_t read = d.size() < netMaxDatagram ? d.size() : netMaxDatagram;
        NetPdu pdu;
        EXPECT_EQ(netPduCheck(d.data(), read, &pdu), c.expected) << c.name;
        // A wrong length field keeps a CRC that covers the bytes as sent,
        // so a check in another order still blames the length.
        if (c.field == &FrameFaults::badLength) {
            EXPECT_EQ(netGet16(&d[8]), d.size() - 9) << c.name;
            EXPECT_EQ(netGet16(&d[6]), netCrc16(&d[8], d.size() - 8)) << c.name;
        }
        // Other kinds stay sound.
        f.ticks(10);
        for (const SentFrame& b : f.sentWithCode(netCodeHeartBeatReq))
            EXPECT_EQ(netPduCheck(b.bytes.data(), b.bytes.size(), &pdu), NetCheck::ok) << c.name;
    }

    ReaderFixture oversize;
    oversize.config.faults.oversize = kindLogin;
    oversize.reader().start();
    ASSERT_EQ(oversize.sender.frames.size(), 1u);
    EXPECT_EQ(oversize.sender.frames[0].bytes.size(), simOversizeBytes);
    NetPdu pdu;
    const Bytes& whole = oversize.sender.frames[0].bytes;
    ASSERT_EQ(netPduCheck(whole.data(), whole.size(), &pdu), NetCheck::ok);  // sound, only too big
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(pdu.payload)), "dev001");
}

TEST(ListenReaderFaults, ShortReportsLeaveOutTheRssi)
{
    ReaderFixture f;
    f.tagConfig.tagCount = 1;
    f.tagConfig.extra[0] = 0x11;
    f.tagConfig.extra[1] = 0x22;
    f.tagConfig.extra[2] = 0x33;
    f.tagConfig.extraCount = 3;
    f.config.faults.shortReports = true;
    f.link();
    f.ticks(1);
    const std::vector<SentFrame> reports = f.sentWithCode(netCodeLabelReport);
    ASSERT_EQ(reports.size(), 1u);
    const Bytes p = reports[0].payload();
    ASSERT_EQ(p.size(), 13u);  // 10 + n: one below the layout of 11 + n
    EXPECT_EQ(p[9] >> 5, 3);
    EXPECT_EQ(Bytes(p.begin() + 10, p.end()), (Bytes{0x11, 0x22, 0x33}));
}
