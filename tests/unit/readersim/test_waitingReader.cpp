// What the direct and the legacy reader do alike, run for each: the login
// checks, where reports go, answers to calls and short messages, silence,
// the end of the keep-alive and the spoilt frames.
#include <gtest/gtest.h>

#include "tests/unit/readersim/waitingFixture.h"

namespace {

// Per personality: its login with another identity, and the setting under
// which it answers heartbeats (the direct reader only below version 4).
Bytes loginWith(const DirectReaderConfig&, const Bytes& fields)
{
    Bytes p = fields;
    p.push_back(0x0A);
    return frameV(4, devCmdLogin, p);
}
Bytes loginWith(const LegacyReaderConfig&, const Bytes& fields)
{
    return frameV(0, devCmdLogin, fields);
}
void answerHeartbeats(DirectReaderConfig& c) { c.version = 2; }
void answerHeartbeats(LegacyReaderConfig&) {}

// The login ack's result as the personality writes it.
uint16_t ackResult(const DirectReaderConfig&, const Bytes& payload)
{
    return payload.size() == 1 ? payload[0] : 0xFFFF;
}
uint16_t ackResult(const LegacyReaderConfig&, const Bytes& payload)
{
    return payload.size() == 2 ? netGet16(payload.data()) : 0xFFFF;
}

const Bytes kHeartBeat = hexBytes("51 56 52 46 02 04 B0 01 00 00");

}  // namespace

template <class Fixture>
class WaitingReaderTest : public ::testing::Test {};

using Personalities = ::testing::Types<DirectFixture, LegacyFixture>;
TYPED_TEST_SUITE(WaitingReaderTest, Personalities);

TYPED_TEST(WaitingReaderTest, LoginsThatAreRefused)
{
    struct Case {
        const char* name;
        Bytes fields;  // the two identity fields
        bool force;    // as with --refuse-login
        const char* status;
    };
    Bytes trailing = identity("admin", "314159");
    trailing[16 + 7] = 'X';  // a byte after the password's zero bytes
    const Case cases[] = {
        {"wrong user", identity("root", "314159"), false, "reason=identity result=1"},
        {"user in other case", identity("Admin", "314159"), false, "reason=identity result=1"},
        {"wrong password", identity("admin", "000000"), false, "reason=identity result=1"},
        {"password longer", identity("admin", "3141592"), false, "reason=identity result=1"},
        {"byte after the zero padding", trailing, false, "reason=identity result=1"},
        {"forced", identity("admin", "314159"), true, "reason=forced result=1"},
    };
    for (const Case& c : cases) {
        TypeParam f;
        f.config.refuseLogin = c.force;
        f.tagConfig.tagCount = 2;
        f.reader().start();
        f.deliver(loginWith(f.config, c.fields));
        ASSERT_EQ(f.sender.frames.size(), 1u) << c.name;
        const SentFrame& ack = f.sender.frames[0];
        EXPECT_EQ(ack.to, f.console) << c.name;
        EXPECT_EQ(ack.code(), devCmdLoginAck) << c.name;
        EXPECT_EQ(ackResult(f.config, ack.payload()), 1u) << c.name;
        EXPECT_TRUE(f.log.contains(std::string("# login-refused from=127.0.0.1:50123 ") +
                                   c.status))
            << c.name;
        EXPECT_EQ(f.reader().state(), WaitingReader::State::waiting) << c.name;
        f.ticks(3);
        EXPECT_TRUE(f.sentWithCode(devCmdLabelReport).empty()) << c.name;
    }
}

TYPED_TEST(WaitingReaderTest, OtherIdentityOnRequest)
{
    TypeParam f;
    std::strcpy(f.config.user, "operator16bytes!");  // a field without zero byte
    std::strcpy(f.config.password, "1234");
    f.reader().start();
    f.deliver(loginWith(f.config, identity("admin", "314159")));
    EXPECT_EQ(f.reader().state(), WaitingReader::State::waiting);
    f.deliver(loginWith(f.config, identity("operator16bytes!", "1234")));
    EXPECT_EQ(f.reader().state(), WaitingReader::State::linked);
    ASSERT_EQ(f.sender.frames.size(), 2u);
    EXPECT_EQ(ackResult(f.config, f.sender.frames[1].payload()), 0u);
    EXPECT_EQ(f.reader().loginsReceived(), 2);
    EXPECT_EQ(f.reader().loginsAccepted(), 1);
}

TYPED_TEST(WaitingReaderTest, ReportsGoWhereTheAcceptedLoginCameFrom)
{
    TypeParam f;
    f.tagConfig.tagCount = 2;
    const NetAddr other{0x0A000002, 40000};
    f.reader().start();
    f.ticks(2);
    EXPECT_TRUE(f.sender.frames.empty());  // no console yet

    f.deliver(loginFor(f.config));
    f.ticks(1);
    ASSERT_EQ(f.sentWithCode(devCmdLabelReport).size(), 2u);
    for (const SentFrame& r : f.sentWithCode(devCmdLabelReport))
        EXPECT_EQ(r.to, f.console);

    // A refused login from elsewhere leaves the link where it is; an
    // accepted one moves it.
    f.sender.frames.clear();
    f.deliver(loginWith(f.config, identity("admin", "000000")), other);
    f.ticks(1);
    EXPECT_EQ(f.sentWithCode(devCmdLabelReport).back().to, f.console);
    f.deliver(loginFor(f.config), other);
    f.sender.frames.clear();
    f.ticks(1);
    ASSERT_EQ(f.sentWithCode(devCmdLabelReport).size(), 2u);
    EXPECT_EQ(f.sentWithCode(devCmdLabelReport).back().to, other);
    EXPECT_EQ(f.reader().console(), other);
}

TYPED_TEST(WaitingReaderTest, ReportsAfterARefusalOnlyOnRequest)
{
    for (const bool report : {false, true}) {
        TypeParam f;
        f.tagConfig.tagCount = 1;
        f.config.refuseLogin = true;
        f.config.reportWhenRefused = report;
        f.reader().start();
        f.deliver(loginFor(f.config));
        f.ticks(3);
        EXPECT_EQ(f.sentWithCode(devCmdLabelReport).size(), report ? 3u : 0u) << report;
        EXPECT_EQ(f.reader().state(), WaitingReader::State::waiting) << report;
    }
}

TYPED_TEST(WaitingReaderTest, AnswersCallsAndShortMessagesToTheirSender)
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
        {"call accepted", devCmdLabelAlarm, call, false, devCmdLabelAlarmAck},
        {"call rejected", devCmdLabelAlarm, call, true, devCmdLabelAlarmRej},
        {"sms accepted", devCmdSms, sms, false, devCmdSmsAck},
        {"sms rejected", devCmdSms, sms, true, devCmdSmsRej},
    };
    const NetAddr other{0x7F000001, 50999};
    for (const Case& c : cases) {
        for (const bool linked : {false, true}) {
            TypeParam f;
            f.config.rejectCalls = c.reject;
            f.config.rejectSms = c.reject;
            if (linked)
                f.login();
            f.deliver(frameV(2, c.code, c.payload), other);
            ASSERT_EQ(f.sender.frames.size(), 1u) << c.name << linked;
            const SentFrame& a = f.sender.frames[0];
            EXPECT_EQ(a.to, other) << c.name << linked;
            // The reader's own version byte; the first seven payload bytes again.
            EXPECT_EQ(a.bytes, frameV(f.config.version, c.answer,
                                      Bytes(c.payload.begin(), c.payload.begin() + 7)))
                << c.name << linked;
        }
    }
}

TYPED_TEST(WaitingReaderTest, SilentReaderOnlyPrints)
{
    TypeParam f;
    f.config.silent = true;
    answerHeartbeats(f.config);
    f.tagConfig.tagCount = 3;
    f.reader().start();
    f.deliver(loginFor(f.config));
    f.deliver(kHeartBeat);
    f.deliver(frameV(2, devCmdLabelAlarm, {1, 0, 0, 0, 100, 5, 1}));
    f.ticks(100);
    EXPECT_TRUE(f.sender.frames.empty());
    ASSERT_EQ(f.log.lines.size(), 3u);
    for (const std::string& l : f.log.lines)
        EXPECT_EQ(l.compare(0, 3, "rx "), 0) << l;
}

TYPED_TEST(WaitingReaderTest, HeartbeatsAreAnsweredUntilTheKeepAliveStops)
{
    TypeParam f;
    answerHeartbeats(f.config);
    f.config.keepAliveTicks = 3;
    f.tagConfig.tagCount = 1;
    f.login();
    std::vector<int> answeredAt;
    for (int t = 0; t <= 5; ++t) {
        if (t > 0)
            f.ticks(1);
        const size_t before = f.sentWithCode(devCmdHeartBeatAck).size();
        f.deliver(kHeartBeat);
        if (f.sentWithCode(devCmdHeartBeatAck).size() > before)
            answeredAt.push_back(t);
    }
    EXPECT_EQ(answeredAt, (std::vector<int>{0, 1, 2}));
    EXPECT_TRUE(f.reader().keepAliveStopped());
    EXPECT_TRUE(f.log.contains("# keepalive-stopped"));
    EXPECT_EQ(f.sentWithCode(devCmdLabelReport).size(), 5u);  // reports go on

    // The keep-alive counts from the first accepted login only.
    f.deliver(loginFor(f.config));
    f.sender.frames.clear();
    f.deliver(kHeartBeat);
    EXPECT_TRUE(f.sender.frames.empty());
}

TYPED_TEST(WaitingReaderTest, SpoiltFramesAreNotAnswered)
{
    TypeParam f;
    answerHeartbeats(f.config);
    f.reader().start();
    Bytes badLogin = loginFor(f.config);
    badLogin[12] ^= 0x01;
    Bytes longHeartBeat = kHeartBeat;
    longHeartBeat.push_back(0);
    f.deliver(badLogin);
    f.deliver(longHeartBeat);
    f.deliver(Bytes(kHeartBeat.begin(), kHeartBeat.begin() + 9));
    EXPECT_TRUE(f.sender.frames.empty());
    EXPECT_EQ(f.reader().loginsReceived(), 0);
    ASSERT_EQ(f.log.lines.size(), 3u);
    EXPECT_NE(f.log.lines[0].find(" bad=crc "), std::string::npos);
    EXPECT_NE(f.log.lines[1].find(" bad=length "), std::string::npos);
    EXPECT_NE(f.log.lines[2].find(" bad=short "), std::string::npos);
}

TYPED_TEST(WaitingReaderTest, SpoiltFramesFailTheConsolesCheck)
{
    struct Case {
        const char* name;
        unsigned FrameFaults::*field;
        unsigned kind;
        NetCheck expected;  // what a console's check makes of the datagram it reads
    };
    const Case cases[] = {
        {"login ack, bad crc", &FrameFaults::badCrc, kindLogin, NetCheck::badCrc},
        {"heartbeat ack, bad length", &FrameFaults::badLength, kindHeartbeat,
         NetCheck::badLength},
        {"report, oversize", &FrameFaults::oversize, kindReport, NetCheck::badLength},
        {"answer, bad crc", &FrameFaults::badCrc, kindAnswer, NetCheck::badCrc},
    };
    for (const Case& c : cases) {
        TypeParam f;
        answerHeartbeats(f.config);
        f.config.faults.*c.field = c.kind;
        f.tagConfig.tagCount = 1;
        f.reader().start();
        f.deliver(loginFor(f.config));
        f.deliver(kHeartBeat);
        f.deliver(frameV(2, devCmdLabelAlarm, {1, 0, 0, 0, 100, 5, 1}));
        f.ticks(1);
        ASSERT_EQ(f.sender.frames.size(), 4u) << c.name;
        for (const SentFrame& s : f.sender.frames) {
            const Bytes& d = s.bytes;
            const size_t read = d.size() < netMaxDatagram ? d.size() : netMaxDatagram;
            const unsigned kind = s.code() == devCmdLoginAck       ? kindLogin
                                  : s.code() == devCmdHeartBeatAck ? kindHeartbeat
                                  : s.code() == devCmdLabelReport  ? kindReport
                                                                   : kindAnswer;
            NetPdu pdu;
            EXPECT_EQ(netPduCheck(d.data(), read, &pdu),
                      kind == c.kind ? c.expected : NetCheck::ok)
                << c.name << " code " << int(s.code());
        }
    }
}

TYPED_TEST(WaitingReaderTest, ShortReportsLeaveOutTheRssi)
{
    TypeParam f;
    f.tagConfig.tagCount = 1;
    f.tagConfig.extra[0] = 0x11;
    f.tagConfig.extraCount = 1;
    f.config.faults.shortReports = true;
    answerHeartbeats(f.config);  // reports without leading bytes in both
    f.login();
    f.ticks(1);
    const std::vector<SentFrame> reports = f.sentWithCode(devCmdLabelReport);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].payload().size(), 7u);  // 6 + n: one below the layout
}
