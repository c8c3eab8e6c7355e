// The software reader's core against the real listening server over
// loopback UDP: login, challenge, heartbeats and reports end up in the
// server's store and substation table; misbehaviour is refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "tests/integration/loopbackRig.h"

namespace {

TagSimConfig noTags()
{
    TagSimConfig t;
    t.tagCount = 0;
    return t;
}

}  // namespace

TEST(ReaderLoopback, LinksReportsTagsAndStates)
{
    ServerRig rig;
    ASSERT_NE(rig.port, 0);
    ListenReaderConfig config;
    const uint8_t states[] = {0, 2, 1, 3, 9};
    std::copy(states, states + 5, config.states);
    config.stateCount = 5;
    TagSimConfig tags;
    tags.tagCount = 3;
    tags.firstTagId = 30;
    tags.tagIdStep = uint32_t(-10);  // 30, 20, 10: sent out of order
    const uint8_t subs[] = {1, 2, 33};
    std::copy(subs, subs + 3, tags.substations);
    tags.substationCount = 3;
    const int8_t rssi[] = {-50, -40, -60};
    std::copy(rssi, rssi + 3, tags.rssi);
    tags.rssiCount = 3;
    tags.lowVoltageEvery = 2;  // tags 30 and 10
    tags.extra[0] = 0xA0;
    tags.extra[1] = 0xA1;
    tags.extraCount = 2;
    LoopbackReader reader(config, tags, rig.port);

    ASSERT_TRUE(reader.link());
    EXPECT_TRUE(rig.linkUp());
    EXPECT_EQ(rig.server.core().readerAddr(), (NetAddr{0x7F000001, reader.socket.localPort()}));
    // The heartbeat sent on linking is answered.
    ASSERT_TRUE(reader.pumpUntil(
        [&] { return reader.loggedPrefix("rx from=127.0.0.1:" + std::to_string(rig.port) +
                                         " ver=4 code=0x26 name=netCodeHeartBeatAck len=0"); }));

    for (int t = 0; t < 3; ++t)
        reader.reader().tick();
    ASSERT_TRUE(rig.barrier());
    ASSERT_EQ(rig.store.count(), 3);

    struct Expected {
        uint32_t tagId;
        int32_t substation;
        uint8_t status;
    };
    const Expected expected[] = {{10, 33, 0x41}, {20, 2, 0x40}, {30, 1, 0x41}};
    for (int i = 0; i < 3; ++i) {
        TagRecord r{};
        ASSERT_TRUE(rig.store.record(i, &r));
        EXPECT_EQ(r.tagId, expected[i].tagId) << i;
        EXPECT_EQ(r.substation, expected[i].substation) << i;
        EXPECT_EQ(r.status, expected[i].status) << i;
        EXPECT_EQ(r.activeCount, 3) << i;
        EXPECT_EQ(r.extra[0], 0xA0) << i;
        EXPECT_EQ(r.extra[1], 0xA1) << i;
        EXPECT_EQ(r.rssi[0], -50) << i;
        EXPECT_EQ(r.rssi[1], -40) << i;
        EXPECT_EQ(r.rssi[2], -60) << i;
        RowSnapshot row{};
        ASSERT_TRUE(rig.store.snapshot(i, &row));
        EXPECT_EQ(row.rssi, -40) << i;  // the strongest of the three
    }
    for (int s = 0; s < 5; ++s)
        EXPECT_EQ(rig.substations.state(s), states[s]) << s;
    EXPECT_EQ(rig.substations.state(5), substationAbsent);  // not announced
}

TEST(ReaderLoopback, RefusedLogins)
{
    struct Case {
        const char* name;
        const char* deviceName;
        const char* password;
        int authDelay;     // reader ticks, run in step with server ticks
        bool linked;
        const char* status;  // the reader's status line that ends the attempt
    };
    const Case cases[] = {
        {"wrong password", "dev001", "000000", 0, false, "# auth-rejected result=4"},
        {"wrong name", "DEV001", "314159", 0, false, "# login-rejected result=2"},
        {"auth after the window", "dev001", "314159", 10, false, "# auth-rejected result=4"},
        {"auth at the window's last tick", "dev001", "314159", 9, true, "# auth-ok"},
    };
    for (const Case& c : cases) {
        ServerRig rig;
        ListenReaderConfig config;
        std::snprintf(config.deviceName, sizeof config.deviceName, "%s", c.deviceName);
        std::snprintf(config.password, sizeof config.password, "%s", c.password);
        config.authDelayTicks = c.authDelay;
        LoopbackReader reader(config, noTags(), rig.port);
        reader.reader().start();
        ASSERT_TRUE(reader.pumpUntil([&] { return reader.logged("# login-accepted") ||
                                                  reader.logged("# login-rejected result=2"); }))
            << c.name;
        // One second on both sides per step: the server's window counts
        // down while the reader holds its answer back.
        for (int t = 0; t < c.authDelay; ++t) {
            rig.ticks(1);
            reader.reader().tick();
        }
        ASSERT_TRUE(reader.pumpUntil([&] { return reader.logged(c.status); })) << c.name;
        EXPECT_EQ(rig.linkUp(), c.linked) << c.name;
        EXPECT_EQ(reader.state() == ListenReader::State::linked, c.linked) << c.name;
    }
}

TEST(ReaderLoopback, WithoutHeartbeatsTheLinkDropsAfter60Ticks)
{
    ServerRig rig;
    ListenReaderConfig config;
    config.heartbeatTicks = 0;
    TagSimConfig tags;
    tags.tagCount = 2;
    LoopbackReader reader(config, tags, rig.port);
    ASSERT_TRUE(reader.link());
    reader.reader().tick();
    ASSERT_TRUE(rig.barrier());
    ASSERT_EQ(rig.store.count(), 2);

    rig.ticks(59);
    EXPECT_TRUE(rig.linkUp());
    rig.ticks(1);
    EXPECT_FALSE(rig.linkUp());

    // Reports after the drop are not taken.
    reader.reader().tick();
    ASSERT_TRUE(rig.barrier());
    TagRecord r{};
    ASSERT_TRUE(rig.store.record(0, &r));
    EXPECT_EQ(r.activeCount, 1);
}

TEST(ReaderLoopback, LogsInAgainWhenHeartbeatsGoUnanswered)
{
    ServerRig rig;
    ListenReaderConfig config;
    config.heartbeatTicks = 1;
    config.reloginMisses = 3;
    LoopbackReader reader(config, noTags(), rig.port);
    ASSERT_TRUE(reader.link());
    ASSERT_TRUE(reader.pumpUntil([&] { return reader.loggedPrefix("rx from=127.0.0.1:" +
                                                                  std::to_string(rig.port) +
                                                                  " ver=4 code=0x26"); }));
    rig.ticks(60);  // the server gave up on the reader; it does not say so
    ASSERT_FALSE(rig.linkUp());

    // Each heartbeat now goes unanswered: after the barrier any answer
    // would already be waiting on the reader's socket.
    for (int t = 0; t < 10 && reader.state() == ListenReader::State::linked; ++t) {
        reader.reader().tick();
        ASSERT_TRUE(rig.barrier());
        reader.pumpAvailable();
    }
    EXPECT_TRUE(reader.logged("# link-lost misses=3"));
    EXPECT_TRUE(reader.logged("# login-sent attempt=2 reason=relogin"));
    ASSERT_TRUE(reader.pumpUntil([&] { return reader.state() == ListenReader::State::linked; }));
    EXPECT_TRUE(rig.linkUp());
}

TEST(ReaderLoopback, SpoiltReportsAreDroppedWhileTheLinkHolds)
{
    struct Case {
        const char* name;
        FrameFaults faults;
        int stored;
    };
    FrameFaults none, crc, length, oversize, shortReports;
    crc.badCrc = kindReport;
    length.badLength = kindReport;
    oversize.oversize = kindReport;
    shortReports.shortReports = true;
    const Case cases[] = {
        {"sound reports", none, 2},
        {"bad crc", crc, 0},
        {"bad length field", length, 0},
        {"oversize datagram", oversize, 0},
        {"shorter than the layout", shortReports, 0},
    };
    for (const Case& c : cases) {
        ServerRig rig;
        ListenReaderConfig config;
        config.states[0] = substationCongested;
        config.faults = c.faults;
        TagSimConfig tags;
        tags.tagCount = 2;
        tags.extra[0] = 0x55;
        tags.extraCount = 1;
        LoopbackReader reader(config, tags, rig.port);
        ASSERT_TRUE(reader.link()) << c.name;
        reader.reader().tick();
        ASSERT_TRUE(rig.barrier()) << c.name;
        EXPECT_EQ(rig.store.count(), c.stored) << c.name;
        EXPECT_TRUE(rig.linkUp()) << c.name;
        EXPECT_EQ(rig.substations.state(0), substationCongested) << c.name;
    }
}

TEST(ReaderLoopback, CallsAndShortMessagesAreAnswered)
{
    struct Case {
        bool reject;
        const char* callTrace;
        const char* smsTrace;
    };
    const Case cases[] = {
        {false, "cp rcv label alarm ack.\r\n", "cp rcv sms ack.\r\n"},
        {true, "cp rcv label alarm rej.\r\n", "cp rcv sms rej.\r\n"},
    };
    for (const Case& c : cases) {
        SharedTrace trace;
        ServerRig rig;
        ListenReaderConfig config;
        config.rejectCalls = c.reject;
        config.rejectSms = c.reject;
        LoopbackReader reader(config, noTags(), rig.port);
        ASSERT_TRUE(reader.link());

        const uint8_t call[7] = {1, 0, 0, 0, 100, 5, 1};
        ASSERT_TRUE(rig.server.core().sendToReader(netCodeLabelAlarm, call, sizeof call));
        const Bytes sms = hexBytes("02 00000064 0007 06 03 05 0E 07 09 03 616263");
        ASSERT_TRUE(rig.server.core().sendToReader(netCodeSms, sms.data(), sms.size()));
        const std::string from = "rx from=127.0.0.1:" + std::to_string(rig.port);
        const std::string callLine = from +
                                     " ver=4 code=0x27 name=netCodeLabelAlarm len=7 "
                                     "payload=01000000640501 sub=1 tag=100 action=5 lamp=1 "
                                     "signal=green+buzzer";
        ASSERT_TRUE(reader.pumpUntil([&] { return reader.logged(callLine); })) << c.reject;
        ASSERT_TRUE(reader.pumpUntil([&] {
            return reader.loggedPrefix(from + " ver=4 code=0x2A name=netCodeSms len=17 "
                                              "payload=020000006400070603050E070903616263 sub=2 "
                                              "tag=100 msg=7 year=6 date=2026-03-05 "
                                              "time=14:07:09 textlen=3 text=616263");
        })) << c.reject;
        EXPECT_TRUE(eventually([&] { return trace.contains(c.callTrace); })) << c.reject;
        EXPECT_TRUE(eventually([&] { return trace.contains(c.smsTrace); })) << c.reject;
    }
}
