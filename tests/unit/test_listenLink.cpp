#include <gtest/gtest.h>

#include "console/listen/listenLink.h"
#include "console/panelIds.h"
#include "tests/unit/fakeViews.h"
#include "tests/unit/listenFixture.h"
#include "tests/unit/loopback.h"

TEST(ListenLink, Defaults)
{
    TagStore store;
    SubstationTable subs;
    SystemRandom random;
    NetServer server(store, subs, random);
    ListenLink link(server, systemTextCodec());
    FakePanelView view;
    link.initInputs(view);
    EXPECT_EQ(view.text(IDC_PORT), "8800");
    EXPECT_EQ(view.text(IDC_DEVICE_NAME), "dev001");
    EXPECT_EQ(view.text(IDC_DEVICE_PASSWORD), "314159");
}

TEST(ListenLink, StartInputRefusals)
{
    struct Case {
        const char *port, *name, *password, *message;
    };
    const Case cases[] = {
        {"", "dev001", "314159", "云端端口不能为空"},
        {"-1", "dev001", "314159", "云端端口格式不对"},
        {"0", "", "314159", "设备名称不能为空"},
        {"0", "dev001", "", "设备密码不能为空"},
    };
    netStackStartup();
    for (const Case& c : cases) {
        TagStore store;
        SubstationTable subs;
        SystemRandom random;
        NetServer server(store, subs, random);
        ListenLink link(server, systemTextCodec());
        FakePanelView view;
        view.texts = {{IDC_PORT, c.port}, {IDC_DEVICE_NAME, c.name}, {IDC_DEVICE_PASSWORD, c.password}};
        EXPECT_FALSE(link.open(view)) << c.message;
        ASSERT_EQ(view.messages.size(), 1u) << c.message;
        EXPECT_EQ(view.messages[0].text, c.message);
        EXPECT_FALSE(server.netRecvRunning());
    }
    netStackCleanup();
}

TEST(ListenLink, PortTextAndPortInUse)
{
    netStackStartup();
    TagStore store;
    SubstationTable subs;
    SystemRandom random;
    NetServer first(store, subs, random), second(store, subs, random);
    ListenLink link(first, systemTextCodec()), other(second, systemTextCodec());
    FakePanelView view;
    // Letters parse as 0: any free port.
    view.texts = {{IDC_PORT, "abc"}, {IDC_DEVICE_NAME, "dev001"}, {IDC_DEVICE_PASSWORD, "314159"}};
    ASSERT_TRUE(link.open(view));
    EXPECT_TRUE(view.messages.empty());
    // The same port again: refused with a message, not shown as started.
    view.texts[IDC_PORT] = std::to_string(first.boundPort() + 65536);
    EXPECT_FALSE(other.open(view));
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].text, "侦听端口已被其他程序占用，请换一个端口");
    link.close();
    netStackCleanup();
}

TEST(ListenLink, CallAndShortMessagePayloads)
{
    uint8_t call[7];
    listenCallPayload(CallFrame{1, 100, 5, 1}, call);
    EXPECT_EQ(Bytes(call, call + 7), (Bytes{1, 0, 0, 0, 100, 5, 1}));
    listenCallPayload(CallFrame{33, 0xDEADBEEF, 1, 0xFF}, call);
    EXPECT_EQ(Bytes(call, call + 7), (Bytes{33, 0xDE, 0xAD, 0xBE, 0xEF, 1, 0xFF}));

    SmsFrame sms{2, 0x01020304, 40000, {2026, 12, 10, 23, 59, 58}, "abc"};
    uint8_t out[128];
    size_t n = listenSmsPayload(sms, out, sizeof out);
    EXPECT_EQ(Bytes(out, out + n),
              (Bytes{2, 1, 2, 3, 4, 0x9C, 0x40, 6, 12, 10, 23, 59, 58, 3, 'a', 'b', 'c'}));
    sms.gbkText.clear();
    n = listenSmsPayload(sms, out, sizeof out);
    EXPECT_EQ(n, 14u);
    EXPECT_EQ(frameOf(netCodeSms, Bytes(out, out + n)).size(), 24u);
    sms.gbkText.assign(109, 'x');
    EXPECT_EQ(listenSmsPayload(sms, out, sizeof out), 123u);
    EXPECT_EQ(out[13], 109);
}

TEST(ListenLink, CallAndShortMessageReachOnlyALinkedReader)
{
    NetStack stack;
    SharedTrace trace;
    TagStore store;
    store.clear();
    SubstationTable subs;
    SystemRandom random;
    NetServer server(store, subs, random);
    ListenLink link(server, systemTextCodec());
    ASSERT_EQ(server.netServerOpen(0, "dev001", "314159"), netOpenOk);
    const uint16_t port = server.boundPort();
    const CallFrame call{1, 100, 5, 1};
    const SmsFrame sms{2, 0x01020304, 7, {2026, 12, 10, 9, 8, 7}, "abc"};

    // No reader linked: nothing goes out and nothing is traced.
    link.sendCall(call);
    link.sendSms(sms);
    EXPECT_EQ(trace.count("net send", true), 0);

    LoopbackClient reader;
    reader.send(port, frameOf(netCodeLoginReq, text("dev001")));
    const Bytes ack = reader.receive();  // the first datagram the reader gets
    ASSERT_EQ(ack.size(), 267u);
    reader.send(port, frameOf(netCodeAuthReq, answerFor(Bytes(ack.begin() + 11, ack.end()),
                                                        "314159")));
    ASSERT_EQ(reader.receive(), frameOf(netCodeAuthAck, {0x00, 0x0F, 0x00, 0x00, 0x00, 0x01}));

    link.sendCall(call);
    EXPECT_EQ(reader.receive(), frameOf(netCodeLabelAlarm, {1, 0, 0, 0, 100, 5, 1}));
    link.sendSms(sms);
    EXPECT_EQ(reader.receive(), frameOf(netCodeSms, {2, 1, 2, 3, 4, 0, 7, 6, 12, 10, 9, 8, 7, 3,
                                                     'a', 'b', 'c'}));
    EXPECT_EQ(trace.count("net send 17: 51 56 52 46 04 27 ", true), 1);
    EXPECT_EQ(trace.count("net send 27:, len 51 56 52 46 04 2A ", true), 1);
    server.netServerClose();
}
