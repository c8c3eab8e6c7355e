// The listening server over real loopback UDP: the socket adapter, the
// receive thread and the result codes of netServerOpen.
#include <gtest/gtest.h>

#include "console/listen/netServer.h"
#include "tests/unit/listenFixture.h"
#include "tests/unit/loopback.h"

TEST(NetServer, PortInUseReturnsTwo)
{
    NetStack stack;
    TagStore store;
    SubstationTable subs;
    SystemRandom random;
    NetServer first(store, subs, random), second(store, subs, random);
    ASSERT_EQ(first.netServerOpen(0, "dev001", "314159"), netOpenOk);
    const uint16_t port = first.boundPort();
    ASSERT_NE(port, 0);
    EXPECT_EQ(second.netServerOpen(port, "dev001", "314159"), netOpenInUse);
    EXPECT_FALSE(second.netRecvRunning());
    first.netServerClose();
    EXPECT_FALSE(first.netRecvRunning());
    EXPECT_EQ(second.netServerOpen(port, "dev001", "314159"), netOpenOk);
}

TEST(NetServer, LoginAuthAndReportsOverLoopback)
{
    NetStack stack;
    TagStore store;
    store.clear();
    SubstationTable subs;
    SystemRandom random;
    NetServer server(store, subs, random);
    ASSERT_EQ(server.netServerOpen(0, "dev001", "314159"), netOpenOk);
    const uint16_t port = server.boundPort();

    LoopbackClient reader;
    reader.send(port, frameOf(netCodeLoginReq, text("dev001")));
    const Bytes ack = reader.receive();
    ASSERT_EQ(ack.size(), 267u);
    const Bytes challenge(ack.begin() + 11, ack.end());
    reader.send(port, frameOf(netCodeAuthReq, answerFor(challenge, "314159")));
    ASSERT_EQ(reader.receive(), frameOf(netCodeAuthAck, {0x00, 0x0F, 0x00, 0x00, 0x00, 0x01}));
    EXPECT_TRUE(server.core().linkUp());
    EXPECT_EQ(server.core().readerAddr().port, reader.socket.localPort());

    for (uint32_t id : {30u, 10u, 20u})
        reader.send(port, tagReport(id, 1, 0, -40));
    reader.send(port, heartBeat({0, 2, 1}));
    EXPECT_EQ(reader.receive(), frameOf(netCodeHeartBeatAck, {}));
    ASSERT_TRUE(eventually([&] { return store.count() == 3; }));
    RowSnapshot r{};
    ASSERT_TRUE(store.snapshot(0, &r));
    EXPECT_EQ(r.tagId, 10u);
    EXPECT_EQ(subs.state(2), 1);

    // An oversize datagram is cut to the receive buffer and fails the checks.
    reader.send(port, Bytes(1500, 'Q'));
    reader.send(port, tagReport(40, 1, 0, -40));
    ASSERT_TRUE(eventually([&] { return store.count() == 4; }));

    // The link is the core's: sends reach the reader's address.
    const uint8_t call[7] = {1, 0, 0, 0, 10, 5, 1};
    ASSERT_TRUE(server.core().sendToReader(netCodeLabelAlarm, call, sizeof call));
    EXPECT_EQ(reader.receive(), frameOf(netCodeLabelAlarm, Bytes(call, call + 7)));

    server.netServerClose();
    EXPECT_FALSE(server.core().linkUp());
    // Reopening after a close gives a working server again.
    ASSERT_EQ(server.netServerOpen(port, "dev001", "314159"), netOpenOk);
    reader.send(port, frameOf(netCodeLoginReq, text("dev001")));
    EXPECT_EQ(reader.receive().size(), 267u);
}
