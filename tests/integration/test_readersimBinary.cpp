// The readersim program itself: run against a listening server in this
// process, its output captured in a file, and with bad arguments.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "tests/integration/consoleRig.h"
#include "tests/integration/readersimRun.h"

TEST(ReadersimBinary, LogsInReportsAndPrintsWhatTheConsoleSends)
{
    SharedTrace trace;
    ServerRig rig;
    ASSERT_NE(rig.port, 0);
    const std::string port = std::to_string(rig.port);
    RunResult result;
    std::thread program([&] {
        result = runReadersim("listen --server 127.0.0.1:" + port +
                                  " --duration 3 --tick-ms 100 --tags 4 --first-tag 500"
                                  " --substations 7 --states 0,1,3 --heartbeat 5 --reject-sms",
                              "listen");
    });
    const bool linked = eventually([&] { return rig.linkUp(); });
    if (linked) {
        const uint8_t call[7] = {7, 0, 0, 1, 0xF4, 5, 3};  // tag 500, red lamp and buzzer
        rig.server.core().sendToReader(netCodeLabelAlarm, call, sizeof call);
        const Bytes sms = hexBytes("07 000001F4 0001 06 0B 1E 08 00 00 02 C4E3");
        rig.server.core().sendToReader(netCodeSms, sms.data(), sms.size());
    }
    program.join();
    ASSERT_TRUE(linked) << result.out << result.err;
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(result.err.empty()) << result.err;

    // The server holds the four tags at substation 7 and the announced states.
    ASSERT_EQ(rig.store.count(), 4);
    for (int i = 0; i < 4; ++i) {
        TagRecord r{};
        ASSERT_TRUE(rig.store.record(i, &r));
        EXPECT_EQ(r.tagId, uint32_t(500 + i));
        EXPECT_EQ(r.substation, 7);
        EXPECT_GT(r.activeCount, 1);  // reported on every tick
    }
    EXPECT_EQ(rig.substations.state(0), 0);
    EXPECT_EQ(rig.substations.state(1), 1);
    EXPECT_EQ(rig.substations.state(2), 3);
    EXPECT_TRUE(trace.contains("cp rcv label alarm ack.\r\n"));
    EXPECT_TRUE(trace.contains("cp rcv sms rej.\r\n"));

    // Its output: status lines and one line per frame from the console.
    const std::string& out = result.out;
    const std::string from = "rx from=127.0.0.1:" + port;
    EXPECT_TRUE(hasLine(out, "# login-sent attempt=1 reason=start")) << out;
    EXPECT_TRUE(hasLine(out, "# login-accepted")) << out;
    EXPECT_TRUE(hasLine(out, "# auth-ok")) << out;
    EXPECT_TRUE(hasLinePrefix(out, from + " ver=4 code=0x21 name=netCodeLoginAck len=257 payload=00"))
        << out;
    EXPECT_TRUE(hasLine(out, from + " ver=4 code=0x23 name=netCodeAuthAck len=6 "
                                    "payload=000F00000001 result=0"))
        << out;
    EXPECT_TRUE(hasLine(out, from + " ver=4 code=0x26 name=netCodeHeartBeatAck len=0 payload="))
        << out;
    EXPECT_TRUE(hasLine(out, from + " ver=4 code=0x27 name=netCodeLabelAlarm len=7 "
                                    "payload=07000001F40503 sub=7 tag=500 action=5 lamp=3 "
                                    "signal=red+buzzer"))
        << out;
    EXPECT_TRUE(hasLine(out, from + " ver=4 code=0x2A name=netCodeSms len=16 "
                                    "payload=07000001F40001060B1E08000002C4E3 sub=7 tag=500 "
                                    "msg=1 year=6 date=2026-11-30 time=08:00:00 textlen=2 "
                                    "text=C4E3"))
        << out;
    EXPECT_TRUE(hasLine(out, "# stop reason=duration state=linked logins=1")) << out;
}

TEST(ReadersimBinary, BadArgumentsExitWithTwo)
{
    const char* const cases[] = {
        "",
        "lisen",
        "listen --tick-ms abc",
        "listen --server 127.0.0.1",
        "listen --states 0,x",
        "listen --tags",
        "listen --nonsense",
        "serial",
        "direct --link-period 60",
        "direct --server 127.0.0.1:8800",
        "direct --version",
        "legacy --login-result x",
        "legacy --link-period 20",
    };
    int i = 0;
    for (const char* args : cases) {
        const RunResult r = runReadersim(args, "bad" + std::to_string(i++));
        EXPECT_EQ(r.exitCode, 2) << args;
        EXPECT_TRUE(r.out.empty()) << args << ": " << r.out;
        EXPECT_EQ(r.err.compare(0, 11, "readersim: "), 0) << args << ": " << r.err;
        EXPECT_NE(r.err.find("Try 'readersim --help'."), std::string::npos) << args;
    }
    const RunResult help = runReadersim("--help", "help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("Usage:"), std::string::npos);
    EXPECT_NE(help.out.find("--server IP:PORT"), std::string::npos);
    const RunResult direct = runReadersim("direct --help", "help_direct");
    EXPECT_EQ(direct.exitCode, 0);
    EXPECT_NE(direct.out.find("Options of mode direct"), std::string::npos);
    EXPECT_EQ(direct.out.find("--server IP:PORT"), std::string::npos);
}

// The program on the reader's own port, 4099, against the connecting
// console's core, which sends there unredirected. Skipped when something
// else holds the port on this machine.
TEST(ReadersimBinary, DirectModeOnTheReaderPort)
{
    NetStack stack;
    {
        UdpSocket probe;
        int e = 0;
        if (!probe.create(&e) ||
            probe.bindTo(NetAddr{0x7F000001, devReaderPort}, &e) != UdpBind::ok)
            GTEST_SKIP() << "UDP 127.0.0.1:4099 is in use on this machine; the direct mode's "
                            "default port cannot be tried here";
    }
    SharedTrace trace;
    ConsoleRig<DirectLink> rig(devReaderPort);
    ASSERT_TRUE(rig.opened());
    const std::string console = "127.0.0.1:" + std::to_string(rig.port());
    RunResult result;
    std::thread program = startReadersim("direct --duration 3 --tick-ms 100 --tags 2"
                                         " --first-tag 700 --substations 5 --states 0,3"
                                         " --link-period 5",
                                         "direct", &result);
    const std::string start = awaitOutputLine("direct", "# readersim mode=direct");
    bool linked = false, reported = false, linkRequestsAnswered = false;
    if (!start.empty()) {
        rig.core().open(0x7F000001);
        linked = eventually([&] { return rig.core().linkUp(); });
        reported = linked && eventually([&] { return rig.store.count() == 2; });
        // Ten console seconds, then link requests bring the timeout back.
        rig.ticks(10);
        linkRequestsAnswered =
            eventually([&] { return rig.core().heartBeatTimeout() == devLinkTimeout; });
        rig.core().sendLabelAlarm(CallFrame{5, 700, 5, 3});
        eventually([&] { return trace.contains("rcv label alarm ack.\r\n"); });
    }
    program.join();
    if (result.exitCode == 1 && result.err.find("in use") != std::string::npos)
        GTEST_SKIP() << "UDP 127.0.0.1:4099 was taken before readersim bound it: " << result.err;
    ASSERT_EQ(start, "# readersim mode=direct bind=127.0.0.1:4099 version=4 tick-ms=100 "
                     "duration=3")
        << result.out << result.err;
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(result.err.empty()) << result.err;
    EXPECT_TRUE(linked);
    EXPECT_TRUE(reported);
    EXPECT_TRUE(linkRequestsAnswered);
    EXPECT_EQ(rig.core().readerVersion(), 4u);
    EXPECT_EQ(rig.substations.state(1), substationCongested);
    EXPECT_TRUE(trace.contains("rcv label alarm ack.\r\n"));

    const std::string& out = result.out;
    const std::string from = "rx from=" + console;
    EXPECT_TRUE(hasLine(out, "# login-accepted from=" + console)) << out;
    EXPECT_TRUE(hasLine(out, from + " ver=4 code=0x01 name=devCmdLogin len=33 "
                                    "payload=61646D696E0000000000000000000000"
                                    "333134313539000000000000000000000A "
                                    "user=admin password=314159 end=0x0A"))
        << out;
    EXPECT_TRUE(hasLine(out, from + " ver=4 code=0x10 name=devCmdLinkAck len=0 payload=")) << out;
    EXPECT_TRUE(hasLine(out, from + " ver=4 code=0x06 name=devCmdLabelAlarm len=7 "
                                    "payload=05000002BC0503 sub=5 tag=700 action=5 lamp=3 "
                                    "signal=red+buzzer"))
        << out;
    EXPECT_FALSE(hasLinePrefix(out, "# link-ack-missed")) << out;
    EXPECT_TRUE(hasLine(out, "# stop reason=duration state=linked logins=1 accepted=1")) << out;
}

// The legacy mode on a port of its own choosing, read from its start line;
// the legacy console's core is redirected there.
TEST(ReadersimBinary, LegacyModeOnAFreePort)
{
    SharedTrace trace;
    RunResult result;
    std::thread program = startReadersim("legacy --port 0 --duration 3 --tick-ms 100 --tags 3"
                                         " --first-tag 900 --states 1,0,3 --reject-sms"
                                         " --print-sent",
                                         "legacy", &result);
    const std::string start = awaitOutputLine("legacy", "# readersim mode=legacy");
    const uint16_t port = boundPort(start);
    bool linked = false, reported = false, heartbeatAnswered = false;
    std::unique_ptr<ConsoleRig<LegacyLink>> rig;
    if (port != 0) {
        rig.reset(new ConsoleRig<LegacyLink>(port));
        rig->core().open(0x7F000001);
        rig->ticks(1);  // the login
        linked = eventually([&] { return rig->core().linkUp(); });
        reported = linked && eventually([&] { return rig->store.count() == 3; });
        rig->ticks(3);  // the heartbeat
        heartbeatAnswered = eventually([&] { return trace.contains("\r\nrcv heart beat ack."); });
        SmsFrame sms{0, 900, 1, {2026, 11, 30, 8, 0, 0}, "\xC4\xE3"};
        rig->core().sendSms(sms);
        eventually([&] { return trace.contains("\r\nrcv SMS REJ."); });
    }
    program.join();
    ASSERT_NE(port, 0) << result.out << result.err;
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(result.err.empty()) << result.err;
    EXPECT_TRUE(linked);
    EXPECT_TRUE(reported);
    EXPECT_TRUE(heartbeatAnswered);
    EXPECT_EQ(rig->substations.state(0), substationNoAntenna);
    EXPECT_EQ(rig->substations.state(2), substationCongested);
    EXPECT_TRUE(trace.contains("\r\nrcv SMS REJ."));

    const std::string& out = result.out;
    const std::string console = "127.0.0.1:" + std::to_string(rig->port());
    EXPECT_TRUE(hasLine(out, "# login-accepted from=" + console)) << out;
    EXPECT_TRUE(hasLine(out, "rx from=" + console +
                                 " ver=0 code=0x01 name=devCmdLogin len=32 "
                                 "payload=61646D696E0000000000000000000000"
                                 "33313431353900000000000000000000 "
                                 "user=admin password=314159"))
        << out;
    EXPECT_TRUE(hasLine(out, "tx to=" + console +
                                 " ver=2 code=0x02 name=devCmdLoginAck len=2 payload=0000 "
                                 "result=0"))
        << out;
    EXPECT_TRUE(hasLine(out, "rx from=" + console +
                                 " ver=0 code=0x04 name=devCmdHeartBeat len=0 payload="))
        << out;
    EXPECT_TRUE(hasLine(out, "tx to=" + console +
                                 " ver=2 code=0x05 name=devCmdHeartBeatAck len=4 payload=03010003 "
                                 "count=3 states=1,0,3"))
        << out;
    EXPECT_TRUE(hasLine(out, "tx to=" + console +
                                 " ver=2 code=0x03 name=devCmdLabelReport len=7 "
                                 "payload=000000038400D8 sub=0 tag=900 status=0x00 lowv=0 n=0 "
                                 "extra= rssi=-40"))
        << out;
    EXPECT_TRUE(
        hasLinePrefix(out, "rx from=" + console + " ver=2 code=0x09 name=devCmdSms len=124 "))
        << out;
    EXPECT_TRUE(hasLinePrefix(out, "tx to=" + console + " ver=2 code=0x0B name=devCmdSmsRej "))
        << out;
    EXPECT_TRUE(hasLine(out, "# stop reason=duration state=linked logins=1 accepted=1")) << out;
}
