// The receive and reassembly threads over a scripted device: bytes read in
// pieces reach the sink as whole frames, a closed port is polled, start and
// stop leave exactly one thread of each kind, and the sink may stop the link.
// Also the port item texts of the dialogs.
#include <gtest/gtest.h>

#include <atomic>

#include "linkFixture.h"
#include "threadFaults.h"

TEST(SerialLink, FramesReadInPiecesArriveWholeAndInOrder)
{
    ScriptedDevice device;
    WaitingSink sink;
    SerialLink link(device, sink);
    link.start();
    const Bytes a = linkFrame(configCmdParamReply, awkwardPayload(116, 1));
    const Bytes b = linkFrame(configCmdWriteAck, {});
    const Bytes c = linkFrame(configCmdParamReply, awkwardPayload(30, 5), 0);
    device.feed(Bytes(a.begin(), a.begin() + 3));
    device.feed(Bytes(a.begin() + 3, a.begin() + 40));
    device.feed(Bytes(a.begin() + 40, a.end()));
    const Bytes both = joined(b, c);
    device.feed(both);
    const std::vector<Bytes> frames = sink.waitFor(3);
    EXPECT_EQ(frames, std::vector<Bytes>({a, b, c}));
    link.stop();
    EXPECT_EQ(link.cutter().fillCount(), 0u);
}

TEST(SerialLink, ClosedPortIsPolledUntilItOpens)
{
    ScriptedDevice device;
    device.setOpen(false);
    WaitingSink sink;
    SerialLink link(device, sink);
    link.start();
    ASSERT_TRUE(waitUntil([&] { return device.closedPolls.load() >= 3; }));
    EXPECT_EQ(sink.count(), 0u);
    device.setOpen(true);
    const Bytes f = linkFrame(configCmdWriteAck, {9});
    device.feed(f);
    EXPECT_EQ(sink.waitFor(1), std::vector<Bytes>({f}));
}

TEST(SerialLink, StartAndStopLeaveExactlyOneThreadOfEachKind)
{
    ScriptedDevice device;
    WaitingSink sink;
    SerialLink link(device, sink);
    EXPECT_FALSE(link.running());
    EXPECT_EQ(link.liveLoops(), 0);
    link.start();
    link.start();  // already running: nothing more starts
    ASSERT_TRUE(waitUntil([&] { return link.liveLoops() == 2; }));
    link.start();
    EXPECT_EQ(link.liveLoops(), 2);
    link.stop();
    EXPECT_EQ(link.liveLoops(), 0);  // stop waits for both
    EXPECT_FALSE(link.running());
    link.stop();  // stopping a stopped link is harmless
    for (int round = 0; round < 3; ++round) {
        link.start();
        ASSERT_TRUE(waitUntil([&] { return link.liveLoops() == 2; }));
        const Bytes f = linkFrame(configCmdWriteAck, {uint8_t(round)});
        device.feed(f);
        ASSERT_EQ(sink.waitFor(size_t(round) + 1).back(), f);
        link.stop();
        EXPECT_EQ(link.liveLoops(), 0);
    }
}

TEST(SerialLink, AThreadThatCannotBeCreatedLeavesTheLinkStopped)
{
    // The receive thread (1) or the reassembly thread (2) fails: start()
    // passes the error on with no thread left, and a later start works.
    for (int failAt : {1, 2}) {
        ScriptedDevice device;
        WaitingSink sink;
        SerialLink link(device, sink);
        int calls = 0;
        link.setThreadStarter(threadStarterFailingAt(failAt, &calls));
        EXPECT_THROW(link.start(), std::system_error) << failAt;
        EXPECT_EQ(calls, failAt);
        EXPECT_FALSE(link.running()) << failAt;
        EXPECT_EQ(link.liveLoops(), 0) << failAt;

        link.setThreadStarter(nullptr);
        link.start();
        ASSERT_TRUE(waitUntil([&] { return link.liveLoops() == 2; })) << failAt;
        const Bytes f = linkFrame(configCmdWriteAck, {});
        device.feed(f);
        EXPECT_EQ(sink.waitFor(1), std::vector<Bytes>({f})) << failAt;
        link.stop();
        EXPECT_EQ(link.liveLoops(), 0);
    }
}

TEST(SerialLink, TheSinkMayStopTheLink)
{
    ScriptedDevice device;
    WaitingSink sink;
    SerialLink link(device, sink);
    // A start from the sink as well must not replace the running threads.
    sink.onEach = [&] {
        link.stop();
        link.start();
    };
    link.start();
    device.feed(linkFrame(configCmdWriteAck, {1}));
    ASSERT_EQ(sink.waitFor(1).size(), 1u);
    ASSERT_TRUE(waitUntil([&] { return link.liveLoops() == 0; }));
    EXPECT_FALSE(link.running());
    // A later start joins the ended threads and runs afresh.
    sink.onEach = nullptr;
    link.start();
    const Bytes f = linkFrame(configCmdWriteAck, {2});
    device.feed(f);
    EXPECT_EQ(sink.waitFor(2).back(), f);
    link.stop();
    EXPECT_EQ(link.liveLoops(), 0);
}

TEST(SerialLink, DestructionEndsTheThreads)
{
    ScriptedDevice device;
    WaitingSink sink;
    {
        SerialLink link(device, sink);
        link.start();
        ASSERT_TRUE(waitUntil([&] { return link.liveLoops() == 2; }));
    }
    const int reads = device.reads.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(device.reads.load(), reads);  // nobody reads any more
}

TEST(ComPortItems, TextToNumberAndBack)
{
    struct Case {
        const char* text;
        int number;
    };
    const Case cases[] = {
        {"COM1", 1},  {"COM9", 9},   {"COM32", 32}, {"COM255", 255}, {"COM256", 0},
        {"COM0", 0},  {"", 0},       {"COM", 0},    {"com1", 0},     {"COM1 ", 0},
        {" COM1", 0}, {"COM-1", 0},  {"COM1a", 0},  {"COM0001", 0},  {"LPT1", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(comPortNumberOf(c.text), c.number) << c.text;
    for (int n : {1, 5, 10, 32})
        EXPECT_EQ(comPortNumberOf(comPortItemText(n)), n);
    EXPECT_EQ(comPortItemText(7), "COM7");
}

TEST(ComPortItems, OpeningAnItemThatNamesNoPortClosesAndFails)
{
    struct RecordingPort : ComPort {
        std::vector<int> opens;
        int closes = 0;
        uint32_t probeComPorts() override { return 0; }
        bool openComPort(int n) override
        {
            opens.push_back(n);
            return true;
        }
        void closeComPort() override { ++closes; }
        bool isOpen() const override { return false; }
        void writeComBytes(const uint8_t*, size_t) override {}
    } port;
    EXPECT_FALSE(openComPortItem(port, ""));
    EXPECT_EQ(port.closes, 1);
    EXPECT_TRUE(port.opens.empty());
    EXPECT_TRUE(openComPortItem(port, "COM12"));
    EXPECT_EQ(port.opens, std::vector<int>({12}));
}
