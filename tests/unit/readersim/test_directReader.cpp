// The direct-dialect reader byte for byte: the login ack with its version
// byte, the report layouts of versions 2 and 4, heartbeat acks below
// version 4 and link requests from version 4 on, driven tick by tick.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/unit/readersim/waitingFixture.h"

namespace {

const Bytes kHeartBeat = hexBytes("51 56 52 46 02 04 B0 01 00 00");
const Bytes kLinkAck = hexBytes("51 56 52 46 04 10 B0 01 00 00");

void threeStates(DirectReaderConfig& c)
{
    c.readerId = 0x01020304;
    const uint8_t states[] = {0, 2, 1};
    std::copy(states, states + 3, c.states);
    c.stateCount = 3;
}

}  // namespace

TEST(DirectReaderLogin, AckCarriesTheProtocolVersion)
{
    struct Case {
        uint8_t version;
        const char* ack;
    };
    const Case cases[] = {
        {4, "51 56 52 46 04 02 50 70 00 01 00"},
        {2, "51 56 52 46 02 02 50 70 00 01 00"},
        {5, "51 56 52 46 05 02 50 70 00 01 00"},
    };
    for (const Case& c : cases) {
        DirectFixture f;
        f.config.version = c.version;
        f.reader().start();
        EXPECT_TRUE(f.sender.frames.empty());
        f.deliver(directLogin());
        ASSERT_EQ(f.sender.frames.size(), 1u) << int(c.version);
        EXPECT_EQ(f.sender.frames[0].to, f.console);
        EXPECT_EQ(f.sender.frames[0].bytes, hexBytes(c.ack)) << int(c.version);
        EXPECT_EQ(f.reader().state(), WaitingReader::State::linked);
        EXPECT_TRUE(f.log.contains("# login-accepted from=127.0.0.1:50123"));
    }
}

TEST(DirectReaderLogin, LoginsOutOfLayoutAreRefused)
{
    Bytes wrongEnd = identity("admin", "314159");
    wrongEnd.push_back(0x0B);
    Bytes longer = identity("admin", "314159");
    longer.push_back(0x0A);
    longer.push_back(0x00);
    const Bytes cases[] = {
        frameV(4, devCmdLogin, identity("admin", "314159")),  // the legacy console's 32 bytes
        frameV(4, devCmdLogin, wrongEnd),
        frameV(4, devCmdLogin, longer),
        frameV(4, devCmdLogin, {}),
    };
    for (const Bytes& login : cases) {
        DirectFixture f;
        f.reader().start();
        f.deliver(login);
        ASSERT_EQ(f.sender.frames.size(), 1u);
        EXPECT_EQ(f.sender.frames[0].bytes, hexBytes("51 56 52 46 04 02 90 B1 00 01 01"));
        EXPECT_TRUE(f.log.contains("# login-refused from=127.0.0.1:50123 reason=layout result=1"));
        EXPECT_EQ(f.reader().state(), WaitingReader::State::waiting);
    }
}

TEST(DirectReaderReports, LayoutFollowsTheVersion)
{
    struct Case {
        uint8_t version;
        const char* first;  // tag 0: substation 3, low voltage, extra AA BB, -40 dB
    };
    const Case cases[] = {
        {4, "51 56 52 46 04 03 51 BC 00 0D 01 02 03 04 03 0A 0B 0C 0D 41 AA BB D8"},
        {2, "51 56 52 46 02 03 3F 93 00 09 03 0A 0B 0C 0D 41 AA BB D8"},
    };
    for (const Case& c : cases) {
        DirectFixture f;
        f.config.version = c.version;
        f.config.readerId = 0x01020304;
        f.tagConfig.tagCount = 2;
        f.tagConfig.firstTagId = 0x0A0B0C0D;
        f.tagConfig.substations[0] = 3;
        f.tagConfig.substations[1] = 33;
        f.tagConfig.substationCount = 2;
        f.tagConfig.lowVoltageEvery = 2;
        f.tagConfig.extra[0] = 0xAA;
        f.tagConfig.extra[1] = 0xBB;
        f.tagConfig.extraCount = 2;
        f.login();
        f.ticks(1);
        const std::vector<SentFrame> reports = f.sentWithCode(devCmdLabelReport);
        ASSERT_EQ(reports.size(), 2u) << int(c.version);
        EXPECT_EQ(reports[0].bytes, hexBytes(c.first)) << int(c.version);
        // Tag 1: the tag fields at the same offsets.
        const Bytes p = reports[1].payload();
        const size_t base = c.version >= 4 ? 4 : 0;
        ASSERT_EQ(p.size(), base + 9);
        EXPECT_EQ(p[base], 33);
        EXPECT_EQ(netGet32(&p[base + 1]), 0x0A0B0C0Eu);
        EXPECT_EQ(p[base + 5], 0x40);
    }
}

TEST(DirectReaderKeepAlive, BelowVersion4HeartbeatsAreAnswered)
{
    DirectFixture f;
    f.config.version = 2;
    threeStates(f.config);
    f.login();
    const NetAddr other{0x7F000001, 50999};
    f.deliver(kHeartBeat, other);
    ASSERT_EQ(f.sender.frames.size(), 1u);
    EXPECT_EQ(f.sender.frames[0].to, other);  // the answer goes to the heartbeat's sender
    EXPECT_EQ(f.sender.frames[0].bytes, hexBytes("51 56 52 46 02 05 3F 31 00 04 03 00 02 01"));
    // No link requests in this version, however long.
    f.ticks(200);
    EXPECT_TRUE(f.sentWithCode(devCmdLinkReq).empty());

    // An empty state list announces none: N = 0.
    DirectFixture none;
    none.config.version = 2;
    none.config.stateCount = 0;
    none.login();
    none.deliver(kHeartBeat);
    ASSERT_EQ(none.sender.frames.size(), 1u);
    EXPECT_EQ(none.sender.frames[0].payload(), Bytes{0});
}

TEST(DirectReaderKeepAlive, FromVersion4LinkRequestsInsteadOfHeartbeatAcks)
{
    DirectFixture f;
    threeStates(f.config);
    f.config.linkPeriodTicks = 3;
    f.login();
    f.deliver(kHeartBeat);
    EXPECT_TRUE(f.sender.frames.empty());  // heartbeats are not answered

    EXPECT_EQ(f.ticksSending(devCmdLinkReq, 10), (std::vector<int>{3, 6, 9}));
    const std::vector<SentFrame> requests = f.sentWithCode(devCmdLinkReq);
    for (const SentFrame& r : requests) {
        EXPECT_EQ(r.to, f.console);
        EXPECT_EQ(r.bytes, hexBytes("51 56 52 46 04 0F DC C4 00 08 01 02 03 04 03 00 02 01"));
    }
    // None was acked: the second and the third request each found the
    // one before still open.
    EXPECT_EQ(f.reader().linkAckMisses(), 2);
    EXPECT_TRUE(f.log.contains("# link-ack-missed misses=1"));
    EXPECT_TRUE(f.log.contains("# link-ack-missed misses=2"));

    // Acked requests count no miss, and an ack clears the count.
    f.deliver(kLinkAck);
    EXPECT_EQ(f.reader().linkAckMisses(), 0);
    for (int i = 0; i < 3; ++i) {
        f.ticks(3);
        f.deliver(kLinkAck);
    }
    EXPECT_EQ(f.reader().linkAckMisses(), 0);
    EXPECT_EQ(f.reader().state(), WaitingReader::State::linked);
}

TEST(DirectReaderKeepAlive, LinkRequestsStartWithEachAcceptedLogin)
{
    DirectFixture f;
    f.config.linkPeriodTicks = 20;
    f.reader().start();
    EXPECT_TRUE(f.ticksSending(devCmdLinkReq, 30).empty());  // no console yet
    f.deliver(directLogin());
    EXPECT_EQ(f.ticksSending(devCmdLinkReq, 45), (std::vector<int>{20, 40}));
    // A login again five ticks later restarts the period.
    f.deliver(directLogin());
    EXPECT_EQ(f.ticksSending(devCmdLinkReq, 25), (std::vector<int>{20}));
}

TEST(DirectReaderKeepAlive, LinkRequestsStopWithTheKeepAlive)
{
    DirectFixture f;
    f.config.linkPeriodTicks = 2;
    f.config.keepAliveTicks = 5;
    f.tagConfig.tagCount = 1;
    f.login();
    EXPECT_EQ(f.ticksSending(devCmdLinkReq, 20), (std::vector<int>{2, 4}));
    EXPECT_EQ(f.sentWithCode(devCmdLabelReport).size(), 20u);
    EXPECT_TRUE(f.log.contains("# keepalive-stopped"));
}
