#include <gtest/gtest.h>

#include "console/connect/directLink.h"
#include "tests/unit/listenFixture.h"
#include "tests/unit/traceCapture.h"

namespace {

struct DirectFixture {
    TagStore store{storeCapacityListen, true};
    SubstationTable substations;
    RecordingSender sender;
    DirectLink link{store, substations, sender};
    const NetAddr reader{0x7F000001, devReaderPort};
    int now = 0;  // seconds since the start

    DirectFixture()
    {
        store.clear();
        link.open(reader.ip);
    }
    void deliver(const Bytes& d, const NetAddr& from) { link.onDatagram(d.data(), d.size(), from); }
    void deliver(const Bytes& d) { deliver(d, reader); }
    void accept(uint8_t version) { deliver(frameV(version, devCmdLoginAck, {0})); }
    // Runs ticks up to second `until` and returns the seconds at which a
    // frame of the given code left.
    std::vector<int> runUntil(int until, uint8_t code)
    {
        std::vector<int> at;
        size_t seen = sender.frames.size();
        for (; now < until;) {
            ++now;
            link.netClientTick();
            for (; seen < sender.frames.size(); ++seen)
                if (sender.frames[seen].code() == code)
                    at.push_back(now);
        }
        return at;
    }
    Bytes report(uint8_t version, uint32_t id, uint8_t sub, int8_t rssi, uint8_t status = 0)
    {
        Bytes p;
        if (version >= 4)
            p = {9, 9, 9, 9};
        const Bytes fields = {sub, uint8_t(id >> 24), uint8_t(id >> 16), uint8_t(id >> 8),
                              uint8_t(id), status, uint8_t(rssi)};
        p.insert(p.end(), fields.begin(), fields.end());
        return frameV(version, devCmdLabelReport, p);
    }
};

}  // namespace

TEST(DirectLink, LoginFrameAndRetriesWithNoReader)
{
    DirectFixture f;
    ASSERT_EQ(f.sender.frames.size(), 1u);
    Bytes login(33, 0);
    const char* admin = "admin";
    const char* pw = "314159";
    std::copy(admin, admin + 5, login.begin());
    std::copy(pw, pw + 6, login.begin() + 16);
    login[32] = 0x0A;
    EXPECT_EQ(f.sender.frames[0].bytes, frameV(4, devCmdLogin, login));
    EXPECT_EQ(f.sender.frames[0].bytes.size(), 43u);
    EXPECT_EQ(f.sender.frames[0].to, f.reader);
    EXPECT_EQ(f.runUntil(20, devCmdLogin), (std::vector<int>{3, 8, 13, 18}));
    EXPECT_EQ(f.sender.frames.size(), 5u);  // logins only
}

TEST(DirectLink, HeartBeatsBelowVersionFourOnly)
{
    for (uint8_t version : {2, 4}) {
        DirectFixture f;
        f.accept(version);
        ASSERT_TRUE(f.link.linkUp());
        EXPECT_EQ(f.link.readerVersion(), version);
        const std::vector<int> beats = f.runUntil(40, devCmdHeartBeat);
        if (version == 2) {
            EXPECT_EQ(beats, (std::vector<int>{3, 18, 33}));
            EXPECT_EQ(f.sender.frames.back().bytes,
                      (Bytes{'Q', 'V', 'R', 'F', 0x02, 0x04, 0xB0, 0x01, 0x00, 0x00}));
        } else {
            EXPECT_TRUE(beats.empty());
        }
    }
}

TEST(DirectLink, LinkLostSixtySecondsAfterTheLastSignOfLife)
{
    DirectFixture f;
    f.accept(4);
    for (int i = 0; i < 70; ++i) {
        f.deliver(f.report(4, 1, 0, -30));  // reports do not keep the link
        f.runUntil(f.now + 1, 0);
        if (f.now == 59) {
            EXPECT_TRUE(f.link.linkUp());
        }
    }
    DirectFixture g;
    g.accept(4);
    g.runUntil(59, 0);
    EXPECT_TRUE(g.link.linkUp());
    g.runUntil(60, 0);
    EXPECT_FALSE(g.link.linkUp());
    EXPECT_EQ(g.link.loginState(), 0);
    EXPECT_EQ(g.runUntil(71, devCmdLogin), (std::vector<int>{65, 70}));

    // Heartbeat acks and link requests keep it, from any sender.
    DirectFixture h;
    h.accept(2);
    h.runUntil(50, 0);
    h.deliver(frameV(2, devCmdHeartBeatAck, {0}));
    h.runUntil(100, 0);
    h.deliver(frameV(4, devCmdLinkReq, {0, 0, 0, 0, 0}), NetAddr{0x7F000001, 5555});
    h.runUntil(159, 0);
    EXPECT_TRUE(h.link.linkUp());
    h.runUntil(160, 0);
    EXPECT_FALSE(h.link.linkUp());
}

TEST(DirectLink, ReportLayoutFollowsTheLoginVersion)
{
    for (uint8_t version : {2, 4}) {
        DirectFixture f;
        f.deliver(f.report(version, 7, 3, -21));
        EXPECT_EQ(f.store.count(), 0) << "before the login ack";
        f.accept(version);
        f.deliver(f.report(version, 7, 3, -21));
        ASSERT_EQ(f.store.count(), 1) << int(version);
        RowSnapshot r{};
        f.store.snapshot(0, &r);
        EXPECT_EQ(r.tagId, 7u);
        EXPECT_EQ(r.substation, 3);
        EXPECT_EQ(r.rssi, -21);
        // The other layout is read at the wrong offsets: substation 9 ...
        f.deliver(f.report(version == 2 ? 4 : 2, 8, 3, -21));
        f.store.snapshot(f.store.count() - 1, &r);
        EXPECT_NE(r.tagId, 8u);
    }
}

TEST(DirectLink, ReportsOfSubstation34OrStatus0x0EAreIgnored)
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
    for (uint8_t version : {2, 4}) {
        for (const auto& c : cases) {
            DirectFixture f;
            f.accept(version);
            f.deliver(f.report(version, 7, c.substation, -30, c.status));
            EXPECT_EQ(f.store.count(), c.stored ? 1 : 0) << c.name << " version " << int(version);
        }
    }
}

TEST(DirectLink, StateCopiesAndLinkAcks)
{
    DirectFixture f;
    f.accept(4);
    f.deliver(frameV(4, devCmdHeartBeatAck, Bytes(41, 0)));  // N = 0 then 40 zero bytes
    EXPECT_EQ(f.substations.state(0), substationAbsent);
    Bytes forty(1, 40);
    forty.resize(41, 1);
    f.deliver(frameV(4, devCmdHeartBeatAck, forty));
    EXPECT_EQ(f.substations.state(33), 1);
    f.deliver(frameV(4, devCmdHeartBeatAck, {}));  // L = 0: nothing copied
    EXPECT_EQ(f.substations.state(0), 1);

    const NetAddr foreign{0x7F000002, 6000};
    f.sender.frames.clear();
    TraceCapture trace;
    f.deliver(frameV(4, devCmdLinkReq, {0, 0, 0, 0, 2, 0, 3}), foreign);
    ASSERT_EQ(f.sender.frames.size(), 1u);
    EXPECT_EQ(f.sender.frames[0].to, foreign);
    EXPECT_EQ(f.sender.frames[0].bytes,
              (Bytes{'Q', 'V', 'R', 'F', 0x04, 0x10, 0xB0, 0x01, 0x00, 0x00}));
    EXPECT_EQ(f.substations.state(1), 3);
    EXPECT_TRUE(trace.contains("rcv link req.\r\n"));

    DirectFixture down;  // not linked: not answered, but the timeout is re-armed
    down.sender.frames.clear();
    down.deliver(frameV(4, devCmdLinkReq, {0, 0, 0, 0, 0}), foreign);
    EXPECT_TRUE(down.sender.frames.empty());
    EXPECT_EQ(down.link.heartBeatTimeout(), devLinkTimeout);
}

TEST(DirectLink, CommandVersionAndRefusedLogin)
{
    for (uint8_t version : {2, 3, 4, 5}) {
        DirectFixture f;
        f.deliver(frameV(version, devCmdLoginAck, {1}));  // refused
        EXPECT_FALSE(f.link.linkUp());
        f.accept(version);
        f.sender.frames.clear();
        f.link.sendLabelAlarm(CallFrame{1, 100, 5, 1});
        f.link.sendSms(SmsFrame{1, 100, 7, {2026, 1, 2, 3, 4, 5}, "hi"});
        ASSERT_EQ(f.sender.frames.size(), 2u);
        const uint8_t expected = version >= 4 ? 4 : 2;
        EXPECT_EQ(f.sender.frames[0].bytes[4], expected);
        EXPECT_EQ(f.sender.frames[0].payload(), (Bytes{1, 0, 0, 0, 100, 5, 1}));
        EXPECT_EQ(f.sender.frames[1].bytes[4], expected);
        EXPECT_EQ(f.sender.frames[1].code(), devCmdSms);
    }
}

TEST(DirectLink, DroppedTagKeepsItsActiveCount)
{
    DirectFixture f;
    f.accept(2);
    f.deliver(f.report(2, 1, 0, -30));
    f.deliver(f.report(2, 1, 0, -30));
    for (int i = 0; i < 31; ++i)
        f.store.ageTick();
    EXPECT_EQ(f.store.dropped(), 1);
    f.deliver(f.report(2, 1, 0, -30));
    RowSnapshot r{};
    f.store.snapshot(0, &r);
    EXPECT_EQ(r.activeCount, 3);
}
