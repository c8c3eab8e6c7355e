// The software reader's direct and legacy cores against the real console
// link cores over loopback UDP: logins accepted and refused, tag reports in
// the console's store with the layout of each version, heartbeat acks and
// link requests keeping the link, calls and short messages reaching the
// reader with the right version byte.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/integration/consoleRig.h"

namespace {

const uint32_t kLoopback = 0x7F000001;

// Three tags sent out of order (30, 20, 10) at substations 1, 2 and 33,
// low voltage on tags 30 and 10, two extra bytes, RSSI -50, -40, -60.
TagSimConfig threeTags()
{
    TagSimConfig tags;
    tags.tagCount = 3;
    tags.firstTagId = 30;
    tags.tagIdStep = uint32_t(-10);
    const uint8_t subs[] = {1, 2, 33};
    std::copy(subs, subs + 3, tags.substations);
    tags.substationCount = 3;
    const int8_t rssi[] = {-50, -40, -60};
    std::copy(rssi, rssi + 3, tags.rssi);
    tags.rssiCount = 3;
    tags.lowVoltageEvery = 2;
    tags.extra[0] = 0xA0;
    tags.extra[1] = 0xA1;
    tags.extraCount = 2;
    return tags;
}

TagSimConfig noTags()
{
    TagSimConfig tags;
    tags.tagCount = 0;
    return tags;
}

template <class Config>
void setStates(Config& config, std::initializer_list<uint8_t> states)
{
    std::copy(states.begin(), states.end(), config.states);
    config.stateCount = int(states.size());
}

// The store after three rounds of threeTags(), sorted by tag ID.
void expectThreeTags(const TagStore& store, const char* what)
{
    ASSERT_EQ(store.count(), 3) << what;
    struct Expected {
        uint32_t tagId;
        int32_t substation;
        uint8_t status;
    };
    const Expected expected[] = {{10, 33, 0x41}, {20, 2, 0x40}, {30, 1, 0x41}};
    for (int i = 0; i < 3; ++i) {
        TagRecord r{};
        ASSERT_TRUE(store.record(i, &r)) << what;
        EXPECT_EQ(r.tagId, expected[i].tagId) << what << i;
        EXPECT_EQ(r.substation, expected[i].substation) << what << i;
        EXPECT_EQ(r.status, expected[i].status) << what << i;
        EXPECT_EQ(r.activeCount, 3) << what << i;
        EXPECT_EQ(r.extra[0], 0xA0) << what << i;
        EXPECT_EQ(r.extra[1], 0xA1) << what << i;
        EXPECT_EQ(r.rssi[0], -50) << what << i;
        EXPECT_EQ(r.rssi[1], -40) << what << i;
        EXPECT_EQ(r.rssi[2], -60) << what << i;
    }
}

// Opens the direct console towards the reader and pumps until both sides
// are linked.
bool linkDirect(ConsoleRig<DirectLink>& rig, DirectLoopbackReader& reader)
{
    rig.core().open(kLoopback);
    return reader.pumpUntil([&] { return reader.linked(); }) &&
           eventually([&] { return rig.core().linkUp(); });
}

// The legacy console logs in at its first tick.
bool linkLegacy(ConsoleRig<LegacyLink>& rig, LegacyLoopbackReader& reader)
{
    rig.core().open(kLoopback);
    rig.ticks(1);
    return reader.pumpUntil([&] { return reader.linked(); }) &&
           eventually([&] { return rig.core().linkUp(); });
}

const SmsFrame kSms{2, 100, 7, {2026, 3, 5, 14, 7, 9}, "abc"};

}  // namespace

TEST(DirectLoopback, Version4ReportsAndLinkRequests)
{
    SharedTrace trace;
    DirectReaderConfig config;
    config.readerId = 0xA1A2A3A4;
    config.linkPeriodTicks = 20;
    setStates(config, {0, 1, 3, 9});
    DirectLoopbackReader reader(config, threeTags());
    ConsoleRig<DirectLink> rig(reader.port());
    ASSERT_TRUE(rig.opened());

    ASSERT_TRUE(linkDirect(rig, reader));
    EXPECT_EQ(rig.core().readerVersion(), 4u);
    const Bytes login = reader.received.front();
    EXPECT_EQ(login.size(), 43u);
    const std::string console = "127.0.0.1:" + std::to_string(rig.port());
    EXPECT_TRUE(reader.logged("# login-accepted from=" + console));
    EXPECT_TRUE(reader.logged("rx from=" + console +
                              " ver=4 code=0x01 name=devCmdLogin len=33 "
                              "payload=61646D696E0000000000000000000000"
                              "333134313539000000000000000000000A "
                              "user=admin password=314159 end=0x0A"));
    EXPECT_EQ(reader.reader().console(), (NetAddr{kLoopback, rig.port()}));

    reader.ticks(3);
    ASSERT_TRUE(rig.handled(reader.sent()));
    expectThreeTags(rig.store, "version 4");

    // Thirty console seconds, then the reader's link request (20 ticks
    // after the login in all) is answered and re-arms the timeout.
    rig.ticks(30);
    EXPECT_EQ(rig.core().heartBeatTimeout(), 30);
    reader.ticks(17);
    const Bytes ack = reader.awaitCode(devCmdLinkAck);
    EXPECT_EQ(ack, hexBytes("51 56 52 46 04 10 B0 01 00 00"));
    EXPECT_EQ(reader.reader().linkAckMisses(), 0);
    ASSERT_TRUE(rig.handled(reader.sent()));
    EXPECT_EQ(rig.core().heartBeatTimeout(), 60);
    EXPECT_TRUE(trace.contains("rcv link req.\r\n"));
    const uint8_t states[] = {0, 1, 3, 9};
    for (int s = 0; s < 4; ++s)
        EXPECT_EQ(rig.substations.state(s), states[s]) << s;
    EXPECT_EQ(rig.substations.state(4), substationAbsent);
    // A version-4 reader gets no heartbeat.
    EXPECT_EQ(reader.countCode(devCmdHeartBeat), 0u);
}

TEST(DirectLoopback, Version2HeartbeatsAndReportsWithoutLeadingBytes)
{
    SharedTrace trace;
    DirectReaderConfig config;
    config.version = 2;
    setStates(config, {3, 0, 1});
    DirectLoopbackReader reader(config, threeTags());
    ConsoleRig<DirectLink> rig(reader.port());
    ASSERT_TRUE(linkDirect(rig, reader));
    EXPECT_EQ(rig.core().readerVersion(), 2u);

    reader.ticks(3);
    ASSERT_TRUE(rig.handled(reader.sent()));
    expectThreeTags(rig.store, "version 2");

    // The first heartbeat leaves when the login's countdown of 3 runs out,
    // the next 15 ticks later; each is answered with the states.
    for (const int ticks : {3, 15}) {
        rig.ticks(ticks - 1);
        reader.pumpAvailable();
        EXPECT_EQ(reader.countCode(devCmdHeartBeat), ticks == 3 ? 0u : 1u);
        rig.ticks(1);
        EXPECT_EQ(reader.awaitCode(devCmdHeartBeat), hexBytes("51 56 52 46 02 04 B0 01 00 00"));
        ASSERT_TRUE(rig.handled(reader.sent()));
    }
    EXPECT_EQ(reader.countCode(devCmdHeartBeat), 2u);
    EXPECT_EQ(rig.core().heartBeatTimeout(), 60);
    EXPECT_TRUE(trace.contains("rcv heart beat ack.\r\n"));
    EXPECT_EQ(rig.substations.state(0), substationCongested);
    EXPECT_EQ(rig.substations.state(1), substationNormal);
    EXPECT_EQ(rig.substations.state(2), substationNoAntenna);
    EXPECT_EQ(rig.substations.state(3), substationAbsent);
}

TEST(DirectLoopback, CallsAndShortMessagesCarryTheReadersVersion)
{
    struct Case {
        uint8_t version;
        bool reject;
        uint8_t commandVersion;  // the version byte the console writes
        const char* callTrace;
        const char* smsTrace;
    };
    const Case cases[] = {
        {4, false, 4, "rcv label alarm ack.\r\n", "rcv sms ack.\r\n"},
        {2, true, 2, "rcv label alarm rej.\r\n", "rcv sms rej.\r\n"},
        {5, false, 4, "rcv label alarm ack.\r\n", "rcv sms ack.\r\n"},
        {3, false, 2, "rcv label alarm ack.\r\n", "rcv sms ack.\r\n"},
    };
    for (const Case& c : cases) {
        SharedTrace trace;
        DirectReaderConfig config;
        config.version = c.version;
        config.rejectCalls = c.reject;
        config.rejectSms = c.reject;
        DirectLoopbackReader reader(config, noTags());
        ConsoleRig<DirectLink> rig(reader.port());
        ASSERT_TRUE(linkDirect(rig, reader)) << int(c.version);

        rig.core().sendLabelAlarm(CallFrame{1, 100, 5, 1});
        Bytes call = hexBytes("51 56 52 46 00 06 99 D8 00 07 01 00 00 00 64 05 01");
        call[4] = c.commandVersion;
        EXPECT_EQ(reader.awaitCode(devCmdLabelAlarm), call) << int(c.version);

        rig.core().sendSms(kSms);
        const Bytes sms = reader.awaitCode(devCmdSms);
        ASSERT_EQ(sms.size(), 27u) << int(c.version);
        EXPECT_EQ(sms[4], c.commandVersion) << int(c.version);
        const std::string smsItems =
            " code=0x09 name=devCmdSms len=17 payload=020000006400070603050E070903616263 sub=2 "
            "tag=100 msg=7 year=6 date=2026-03-05 time=14:07:09 textlen=3 text=616263";
        bool smsLogged = false;
        for (const std::string& l : reader.log.lines)
            smsLogged = smsLogged || (l.size() > smsItems.size() &&
                                      l.compare(l.size() - smsItems.size(), smsItems.size(),
                                                smsItems) == 0);
        EXPECT_TRUE(smsLogged) << int(c.version);

        ASSERT_TRUE(rig.handled(reader.sent())) << int(c.version);
        EXPECT_TRUE(trace.contains(c.callTrace)) << int(c.version);
        EXPECT_TRUE(trace.contains(c.smsTrace)) << int(c.version);
    }
}

TEST(DirectLoopback, RefusingAndSilentReadersLeaveTheConsoleRetrying)
{
    struct Case {
        const char* name;
        bool refuse;
        bool silent;
        const char* password;  // the reader's expectation
    };
    const Case cases[] = {
        {"refused", true, false, "314159"},
        {"other password expected", false, false, "000000"},
        {"silent", false, true, "314159"},
    };
    for (const Case& c : cases) {
        DirectReaderConfig config;
        config.refuseLogin = c.refuse;
        config.silent = c.silent;
        std::strcpy(config.password, c.password);
        config.reportWhenRefused = true;  // reports before an accepted login are dropped
        TagSimConfig tags;
        tags.tagCount = 2;
        DirectLoopbackReader reader(config, tags);
        ConsoleRig<DirectLink> rig(reader.port());
        rig.core().open(kLoopback);
        ASSERT_FALSE(reader.awaitCode(devCmdLogin).empty()) << c.name;
        reader.ticks(2);
        ASSERT_TRUE(rig.handled(reader.sent())) << c.name;
        EXPECT_FALSE(rig.core().linkUp()) << c.name;
        EXPECT_EQ(rig.store.count(), 0) << c.name;
        // The console logs in again after its three ticks.
        rig.ticks(3);
        ASSERT_FALSE(reader.awaitCode(devCmdLogin).empty()) << c.name;
        EXPECT_EQ(reader.countCode(devCmdLogin), 2u) << c.name;
        ASSERT_TRUE(rig.handled(reader.sent())) << c.name;
        EXPECT_FALSE(rig.core().linkUp()) << c.name;
        EXPECT_EQ(rig.core().loginState(), 1) << c.name;
        EXPECT_EQ(reader.reader().loginsReceived(), c.silent ? 0 : 2) << c.name;
    }
}

TEST(DirectLoopback, WithoutLinkRequestsTheLinkDropsAndTheLoginRestarts)
{
    DirectReaderConfig config;
    config.keepAliveTicks = 0;  // reports only
    TagSimConfig tags;
    tags.tagCount = 1;
    DirectLoopbackReader reader(config, tags);
    ConsoleRig<DirectLink> rig(reader.port());
    ASSERT_TRUE(linkDirect(rig, reader));

    for (int t = 0; t < 59; ++t) {
        reader.ticks(1);
        ASSERT_TRUE(rig.handled(reader.sent()));
        rig.ticks(1);
    }
    EXPECT_TRUE(rig.core().linkUp());
    TagRecord r{};
    ASSERT_TRUE(rig.store.record(0, &r));
    EXPECT_EQ(r.activeCount, 59);
    rig.ticks(1);
    EXPECT_FALSE(rig.core().linkUp());
    EXPECT_EQ(rig.core().loginState(), 0);

    // Reports are dropped now; five ticks later the login goes out again
    // and the reader accepts it.
    reader.ticks(1);
    ASSERT_TRUE(rig.handled(reader.sent()));
    ASSERT_TRUE(rig.store.record(0, &r));
    EXPECT_EQ(r.activeCount, 59);
    rig.ticks(4);
    reader.pumpAvailable();
    EXPECT_EQ(reader.countCode(devCmdLogin), 1u);
    rig.ticks(1);
    ASSERT_TRUE(reader.pumpUntil([&] { return reader.reader().loginsAccepted() == 2; }));
    EXPECT_TRUE(eventually([&] { return rig.core().linkUp(); }));
}

TEST(DirectLoopback, SpoiltFramesAreDropped)
{
    struct Case {
        const char* name;
        FrameFaults faults;
        bool linked;
        int stored;
    };
    FrameFaults none, crcReport, lengthReport, oversizeReport, shortReports, crcLogin;
    crcReport.badCrc = kindReport;
    lengthReport.badLength = kindReport;
    oversizeReport.oversize = kindReport;
    shortReports.shortReports = true;
    crcLogin.badCrc = kindLogin;
    const Case cases[] = {
        {"sound frames", none, true, 2},
        {"reports with a bad crc", crcReport, true, 0},
        {"reports with a bad length field", lengthReport, true, 0},
        {"oversize reports", oversizeReport, true, 0},
        {"reports without rssi", shortReports, true, 0},
        {"login ack with a bad crc", crcLogin, false, 0},
    };
    for (const uint8_t version : {uint8_t(2), uint8_t(4)}) {
        for (const Case& c : cases) {
            DirectReaderConfig config;
            config.version = version;
            config.faults = c.faults;
            TagSimConfig tags;
            tags.tagCount = 2;
            tags.extra[0] = 0x55;
            tags.extraCount = 1;
            DirectLoopbackReader reader(config, tags);
            ConsoleRig<DirectLink> rig(reader.port());
            rig.core().open(kLoopback);
            ASSERT_TRUE(reader.pumpUntil([&] { return reader.reader().loginsReceived() == 1; }))
                << c.name;
            reader.ticks(1);
            ASSERT_TRUE(rig.handled(reader.sent())) << c.name;
            EXPECT_EQ(rig.core().linkUp(), c.linked) << c.name << int(version);
            EXPECT_EQ(rig.store.count(), c.stored) << c.name << int(version);
        }
    }
}

TEST(LegacyLoopback, LinksReportsAndAnswersHeartbeats)
{
    SharedTrace trace;
    LegacyReaderConfig config;
    setStates(config, {0, 1, 3, 9});
    LegacyLoopbackReader reader(config, threeTags());
    ConsoleRig<LegacyLink> rig(reader.port());
    ASSERT_TRUE(rig.opened());

    rig.core().open(kLoopback);
    EXPECT_TRUE(reader.received.empty());  // nothing before the first tick
    ASSERT_TRUE(linkLegacy(rig, reader));
    ASSERT_EQ(reader.received.size(), 1u);
    EXPECT_EQ(reader.received[0].size(), 42u);
    EXPECT_TRUE(reader.loggedPrefix("rx from=127.0.0.1:"));
    EXPECT_TRUE(trace.contains("\r\nlogin ok."));

    reader.ticks(3);
    ASSERT_TRUE(rig.handled(reader.sent()));
    expectThreeTags(rig.store, "legacy");

    // The heartbeat goes out when the login's countdown of 3 runs out.
    rig.ticks(2);
    reader.pumpAvailable();
    EXPECT_EQ(reader.countCode(devCmdHeartBeat), 0u);
    rig.ticks(1);
    EXPECT_EQ(reader.awaitCode(devCmdHeartBeat), hexBytes("51 56 52 46 00 04 B0 01 00 00"));
    ASSERT_TRUE(rig.handled(reader.sent()));
    EXPECT_TRUE(trace.contains("\r\nrcv heart beat ack."));
    EXPECT_EQ(rig.core().silenceCount(), 0);
    const uint8_t states[] = {0, 1, 3, 9};
    for (int s = 0; s < 4; ++s)
        EXPECT_EQ(rig.substations.state(s), states[s]) << s;
    // No link request comes from this reader, and none is asked for.
    EXPECT_EQ(reader.countCode(devCmdLinkAck), 0u);
}

TEST(LegacyLoopback, TheDocumentedCallAndAPaddedShortMessage)
{
    SharedTrace trace;
    LegacyLoopbackReader reader(LegacyReaderConfig(), noTags());
    ConsoleRig<LegacyLink> rig(reader.port());
    ASSERT_TRUE(linkLegacy(rig, reader));

    rig.core().sendLabelAlarm(CallFrame{1, 100, 5, 1});
    EXPECT_EQ(reader.awaitCode(devCmdLabelAlarm),
              hexBytes("51 56 52 46 02 06 99 D8 00 07 01 00 00 00 64 05 01"));
    rig.core().sendLabelAlarm(CallFrame{1, 100, 1, 0xFF});
    EXPECT_EQ(reader.awaitCode(devCmdLabelAlarm),
              hexBytes("51 56 52 46 02 06 D9 5B 00 07 01 00 00 00 64 01 FF"));

    rig.core().sendSms(kSms);
    const Bytes sms = reader.awaitCode(devCmdSms);
    ASSERT_EQ(sms.size(), 134u);
    EXPECT_EQ(sms[4], 2);
    EXPECT_EQ(sms[23], 3);
    EXPECT_EQ(Bytes(sms.begin() + 24, sms.begin() + 27), text("abc", false));
    EXPECT_EQ(Bytes(sms.begin() + 27, sms.end()), Bytes(107, 0));
    // The reader's line decodes it without complaint.
    const std::string& last = reader.log.lines.back();
    EXPECT_NE(last.find(" code=0x09 name=devCmdSms len=124 "), std::string::npos) << last;
    const std::string end = " textlen=3 text=616263";  // nothing malformed after it
    ASSERT_GT(last.size(), end.size());
    EXPECT_EQ(last.substr(last.size() - end.size()), end) << last;

    ASSERT_TRUE(rig.handled(reader.sent()));
    EXPECT_TRUE(trace.contains("\r\nrcv lable ser ack."));
    EXPECT_TRUE(trace.contains("\r\nrcv SMS ACK."));
}

TEST(LegacyLoopback, LoginResults)
{
    struct Case {
        const char* name;
        uint16_t loginResult;
        bool shortAck;
        bool refuse;
        bool consoleLinked;
        const char* trace;
        int stored;  // reports are taken linked or not
    };
    const Case cases[] = {
        {"result 0", 0, false, false, true, "\r\nlogin ok.", 1},
        {"result 0x0100", 0x0100, false, false, false, "\r\nlogin fail.", 0},
        {"result 1", 1, false, false, false, "\r\nlogin fail.", 0},
        {"refused", 0, false, true, false, "\r\nlogin fail.", 0},
        // The reader counts itself linked and reports; the console reads
        // two result bytes where there is one.
        {"one-byte result 0", 0, true, false, false, "\r\nlogin fail.", 1},
    };
    for (const Case& c : cases) {
        SharedTrace trace;
        LegacyReaderConfig config;
        config.loginResult = c.loginResult;
        config.shortLoginAck = c.shortAck;
        config.refuseLogin = c.refuse;
        TagSimConfig tags;
        tags.tagCount = 1;
        LegacyLoopbackReader reader(config, tags);
        ConsoleRig<LegacyLink> rig(reader.port());
        rig.core().open(kLoopback);
        rig.ticks(1);
        ASSERT_FALSE(reader.awaitCode(devCmdLogin).empty()) << c.name;
        reader.ticks(1);
        ASSERT_TRUE(rig.handled(reader.sent())) << c.name;
        EXPECT_EQ(rig.core().linkUp(), c.consoleLinked) << c.name;
        EXPECT_TRUE(trace.contains(c.trace)) << c.name;
        EXPECT_EQ(rig.store.count(), c.stored) << c.name;
    }
}

TEST(LegacyLoopback, ReportsAloneKeepTheLink)
{
    LegacyReaderConfig config;
    config.keepAliveTicks = 0;  // heartbeats go unanswered
    TagSimConfig tags;
    tags.tagCount = 1;
    LegacyLoopbackReader reader(config, tags);
    ConsoleRig<LegacyLink> rig(reader.port());
    ASSERT_TRUE(linkLegacy(rig, reader));

    for (int t = 0; t < 40; ++t) {
        reader.ticks(1);
        ASSERT_TRUE(rig.handled(reader.sent()));
        rig.ticks(1);
        reader.pumpAvailable();
    }
    EXPECT_TRUE(rig.core().linkUp());
    EXPECT_EQ(reader.countCode(devCmdHeartBeat), 4u);  // every 10 s, never answered
    EXPECT_EQ(rig.substations.state(0), substationAbsent);  // no heartbeat ack came
    // After the last report, thirty seconds of silence end it.
    reader.ticks(1);
    ASSERT_TRUE(rig.handled(reader.sent()));
    rig.ticks(29);
    EXPECT_TRUE(rig.core().linkUp());
    rig.ticks(1);
    EXPECT_FALSE(rig.core().linkUp());
}
