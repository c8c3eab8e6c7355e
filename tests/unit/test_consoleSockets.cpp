// The three consoles' sockets and receive threads over real loopback UDP:
// a datagram cut to the receive buffer, a receive thread that cannot be
// started, and Start, Stop, Start through the main panel. Built natively and
// for Windows, where the same cases run over Winsock under Wine.
#include <gtest/gtest.h>

#include <memory>
#include <system_error>

#include "console/clientLink.h"
#include "console/connect/directLink.h"
#include "console/legacy/legacyLink.h"
#include "console/listen/listenLink.h"
#include "console/panelIds.h"
#include "tests/unit/fakeViews.h"
#include "tests/unit/listenFixture.h"
#include "tests/unit/loopback.h"

namespace {

// One console: its link, store and substations, with inputs that open an
// ephemeral port (listening) or address 192.0.2.1, a documentation address
// that no reader answers (connecting, legacy).
struct Console {
    virtual ~Console() = default;
    virtual ConsoleLink& link() = 0;
    virtual UdpReceiver& receiver() = 0;
    uint16_t port() { return receiver().socket().localPort(); }

    TagStore store;
    SubstationTable substations;
    FakePanelView view;
    FixedClock clock;
};

struct ListenConsole : Console {
    SystemRandom random;
    NetServer server{store, substations, random};
    ListenLink listen{server, systemTextCodec()};
    ListenConsole()
    {
        view.texts = {{IDC_PORT, "0"}, {IDC_DEVICE_NAME, "dev001"}, {IDC_DEVICE_PASSWORD, "314159"}};
    }
    ConsoleLink& link() override { return listen; }
    UdpReceiver& receiver() override { return server.receiver(); }
};

// TraceErrors as the program passes it: the legacy console does not trace
// failed receives.
template <class Core, bool TraceErrors>
struct ClientConsole : Console {
    ClientLink<Core> client{store, substations, TraceErrors};
    ClientConsole() { view.addresses[IDC_READER_IP] = "192.0.2.1"; }
    ConsoleLink& link() override { return client; }
    UdpReceiver& receiver() override { return client.receiver(); }
};

std::unique_ptr<Console> makeListen() { return std::unique_ptr<Console>(new ListenConsole); }
template <class Core, bool TraceErrors>
std::unique_ptr<Console> makeClient()
{
    return std::unique_ptr<Console>(new ClientConsole<Core, TraceErrors>);
}

struct Kind {
    const char* name;
    std::unique_ptr<Console> (*make)();
    uint8_t version;         // version byte of the frames the test sends
    uint8_t ackCode;         // a code the console only traces
    const char* ackTrace;
    const char* lengthTrace;
    const char* openFailure;  // the message of a failed start
};

const Kind kKinds[] = {
    {"listening", makeListen, 4, netCodeSmsAck, "cp rcv sms ack.\r\n", "len wrong\r\n",
     "无法在该端口上侦听，请检查网络设置"},
    {"connecting", makeClient<DirectLink, true>, 4, devCmdSmsAck, "rcv sms ack.\r\n", "len wrong\r\n",
     "无法打开网络端口，请检查网络设置"},
    {"legacy", makeClient<LegacyLink, false>, 2, devCmdSmsAck, "\r\nrcv SMS ACK.", "\r\nlen wrong",
     "无法打开网络端口，请检查网络设置"},
};

std::thread failingStarter(std::function<void()>)
{
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
}

}  // namespace

TEST(ConsoleSockets, SocketMarksADatagramCutToTheBuffer)
{
    NetStack stack;
    UdpSocket socket;
    int e = 0;
    ASSERT_TRUE(socket.create(&e));
    ASSERT_EQ(socket.bindTo(NetAddr{0x7F000001, 0}, &e), UdpBind::ok);
    LoopbackClient sender;
    sender.send(socket.localPort(), Bytes(netMaxDatagram + 1, 0x11));
    sender.send(socket.localPort(), Bytes(netMaxDatagram, 0x22));
    for (const bool cut : {true, false}) {
        ASSERT_TRUE(socket.waitReadable(5000));
        uint8_t buf[netMaxDatagram];
        NetAddr from;
        bool truncated = !cut;
        EXPECT_EQ(socket.receive(buf, sizeof buf, &from, &e, &truncated), long(netMaxDatagram));
        EXPECT_EQ(truncated, cut);
        EXPECT_EQ(buf[0], cut ? 0x11 : 0x22);
        EXPECT_EQ(from.port, sender.socket.localPort());
    }
}

TEST(ConsoleSockets, DatagramCutToTheBufferFailsTheLengthTest)
{
    NetStack stack;
    // A frame with L = 1014 fills the 1024-byte buffer exactly; one byte
    // more and the platform cuts the datagram back to that same frame.
    for (const Kind& kind : kKinds) {
        SharedTrace trace;
        std::unique_ptr<Console> c = kind.make();
        ASSERT_TRUE(c->link().open(c->view)) << kind.name;
        const Bytes whole = frameV(kind.version, kind.ackCode, Bytes(netMaxPayload, 0x5A));
        ASSERT_EQ(whole.size(), netMaxDatagram);
        Bytes cut = whole;
        cut.push_back(0x5A);

        LoopbackClient reader;
        reader.send(c->port(), cut);
        reader.send(c->port(), whole);  // handled, and marks the end
        ASSERT_TRUE(eventually([&] { return trace.contains(kind.ackTrace); })) << kind.name;
        EXPECT_EQ(trace.count(kind.ackTrace), 1) << kind.name;
        EXPECT_EQ(trace.count(kind.lengthTrace), 1) << kind.name;
        c->link().close();
    }
}

TEST(ConsoleSockets, ReceiveThreadThatCannotStartIsAFailedStart)
{
    NetStack stack;
    for (const Kind& kind : kKinds) {
        std::unique_ptr<Console> c = kind.make();
        MainPanel panel(c->view, c->link(), c->store, systemTextCodec(), c->clock);
        panel.onInit();
        c->receiver().setThreadStarter(failingStarter);
        panel.onCommand(IDC_START);
        EXPECT_FALSE(panel.serverStarted()) << kind.name;
        ASSERT_EQ(c->view.messages.size(), 1u) << kind.name;
        EXPECT_EQ(c->view.messages[0].text, kind.openFailure) << kind.name;
        EXPECT_FALSE(c->receiver().running()) << kind.name;
        EXPECT_FALSE(c->receiver().socket().isOpen()) << kind.name;
        EXPECT_EQ(c->view.timers.count(IDT_TICK), 0u) << kind.name;
        EXPECT_EQ(c->view.text(IDC_START), "") << kind.name;  // never titled "停止"

        c->receiver().setThreadStarter(nullptr);  // the system's threads again
        panel.onCommand(IDC_START);
        EXPECT_TRUE(panel.serverStarted()) << kind.name;
        EXPECT_TRUE(c->receiver().running()) << kind.name;
        panel.onCommand(IDC_START);
    }
}

TEST(ConsoleSockets, StartStopStartRunsOneFreshReceiveThread)
{
    NetStack stack;
    for (const Kind& kind : kKinds) {
        std::unique_ptr<Console> c = kind.make();
        MainPanel panel(c->view, c->link(), c->store, systemTextCodec(), c->clock);
        panel.onInit();
        panel.onCommand(IDC_START);
        ASSERT_TRUE(c->receiver().running()) << kind.name;
        c->substations.setState(3, 0);  // as a heartbeat of the first run left it

        panel.onCommand(IDC_START);  // stop: the thread has ended, the socket is closed
        EXPECT_FALSE(c->receiver().running()) << kind.name;
        EXPECT_FALSE(c->receiver().socket().isOpen()) << kind.name;

        panel.onCommand(IDC_START);
        ASSERT_TRUE(panel.serverStarted()) << kind.name;
        EXPECT_TRUE(c->receiver().running()) << kind.name;
        for (int i = 0; i < substationCount; ++i)
            EXPECT_EQ(c->substations.state(i), substationAbsent) << kind.name << i;

        // The new thread receives on the new socket.
        const uint64_t before = c->receiver().datagramsReceived();
        LoopbackClient reader;
        reader.send(c->port(), frameV(kind.version, kind.ackCode, {1}));
        EXPECT_TRUE(eventually([&] { return c->receiver().datagramsReceived() == before + 1; }))
            << kind.name;
        panel.onCommand(IDC_START);
    }
}
