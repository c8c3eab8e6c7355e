// Captures that "readersim --pcap" writes while the real console cores talk
// to it over loopback (the listening server, the connecting and the legacy
// link, as in tests/integration), decoded by tshark with the plugin: the
// dialect each conversation is told to be and the fields of its frames.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>

#include "tests/integration/consoleRig.h"
#include "tests/integration/readersimRun.h"
#include "tests/wireshark/tsharkRun.h"

namespace {

std::string capturePath(const std::string& tag) { return outputBase(tag) + ".pcap"; }

// Both ends use ports that the system picks, which another dissector may
// claim; the heuristic goes first so the magic decides.
const char* const kHeuristicFirst = "-o udp.try_heuristic_first:TRUE";

const std::vector<std::string> kFields = {
    "ip.src", "ip.dst", "udp.srcport", "udp.dstport", "tagnet.dialect", "tagnet.code",
    "tagnet.crc.status", "tagnet.login.name", "tagnet.reader_version", "tagnet.tag_id",
    "tagnet.substation", "tagnet.rssi", "tagnet.reader_id", "tagnet.state", "tagnet.lamp_mode",
    "tagnet.sms.text"};

// The first packet whose Info column starts with prefix, or null.
const Fields* firstWithInfo(const Dissection& d, const std::string& prefix)
{
    for (const Fields& f : d.packets)
        if (f.at("_ws.col.Info").compare(0, prefix.size(), prefix) == 0)
            return &f;
    return nullptr;
}

// Every packet is a good frame of the dialect.
void expectAllOf(const Dissection& d, const std::string& dialect)
{
    for (const Fields& f : d.packets) {
        EXPECT_EQ(f.at("tagnet.dialect"), dialect) << f.at("_ws.col.Info");
        EXPECT_EQ(f.at("tagnet.crc.status"), "1") << f.at("_ws.col.Info");
    }
}

#define ASSERT_PACKET(var, d, prefix)                                      \
    const Fields* var = firstWithInfo(d, prefix);                          \
    ASSERT_NE(var, nullptr) << "no packet \"" << prefix << "\" in the capture"

}  // namespace

TEST(WiresharkCaptures, ListenModeAgainstTheListeningServer)
{
    ServerRig rig;
    ASSERT_NE(rig.port, 0);
    const std::string pcap = capturePath("capture_listen");
    RunResult result;
    std::thread program = startReadersim(
        "listen --server 127.0.0.1:" + std::to_string(rig.port) +
            " --duration 2 --tick-ms 100 --tags 2 --first-tag 500 --substations 7"
            " --states 0,1,3 --rssi -35 --pcap " + pcap,
        "capture_listen", &result);
    const bool linked = eventually([&] { return rig.linkUp(); });
    if (linked) {
        const uint8_t call[7] = {7, 0, 0, 1, 0xF4, 5, 3};
        rig.server.core().sendToReader(netCodeLabelAlarm, call, sizeof call);
        const Bytes sms = hexBytes("07 000001F4 0001 06 0B 1E 08 00 00 04 C4E3BAC3");
        rig.server.core().sendToReader(netCodeSms, sms.data(), sms.size());
    }
    program.join();
    ASSERT_TRUE(linked) << result.out << result.err;
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::string start = awaitOutputLine("capture_listen", "# readersim mode=listen");
    const std::string localPort = start.substr(start.find("local-port=") + 11,
                                               start.find(' ', start.find("local-port=")) -
                                                   start.find("local-port=") - 11);

    const Dissection d = dissect(pcap, kFields, kHeuristicFirst);
    ASSERT_FALSE(luaFailed(d)) << d.errors;
    expectAllOf(d, "listen");
    ASSERT_PACKET(login, d, "Login request name=dev001");
    EXPECT_EQ(login->at("ip.src"), "127.0.0.1");
    EXPECT_EQ(login->at("udp.srcport"), localPort);
    EXPECT_EQ(login->at("udp.dstport"), std::to_string(rig.port));
    ASSERT_PACKET(loginAck, d, "Login ack accepted");
    EXPECT_EQ(loginAck->at("udp.srcport"), std::to_string(rig.port));
    ASSERT_PACKET(authAck, d, "Auth ack accepted");
    ASSERT_PACKET(heartbeat, d, "Heartbeat states=0,1,3");
    ASSERT_PACKET(report, d, "Tag report id=500 sub=7 rssi=-35");
    EXPECT_EQ(report->at("tagnet.reader_id"), "1");
    ASSERT_PACKET(callPacket, d, "Call id=500 sub=7 lamp=3");
    EXPECT_EQ(callPacket->at("tagnet.lamp_mode"), "3");
    ASSERT_PACKET(smsPacket, d, "Short message id=500");
    EXPECT_EQ(smsPacket->at("tagnet.sms.text"), u8"你好");
    ASSERT_PACKET(smsAck, d, "Short message ack");
}

namespace {

// readersim in a waiting mode against the console core of Link; returns the
// dissection of its capture.
template <class Link>
Dissection captureWaiting(const std::string& mode, const std::string& options,
                          const std::string& tag, int ticksAfterLogin)
{
    SharedTrace trace;
    const std::string pcap = capturePath(tag);
    RunResult result;
    std::thread program = startReadersim(mode + " --port 0 --duration 3 --tick-ms 100 --tags 2"
                                                " --first-tag 700 --substations 5 --rssi -42 " +
                                             options + " --pcap " + pcap,
                                         tag, &result);
    const uint16_t port = boundPort(awaitOutputLine(tag, "# readersim mode=" + mode));
    if (port != 0) {
        ConsoleRig<Link> rig(port);
        rig.core().open(0x7F000001);
        rig.ticks(1);  // the legacy console's first login leaves at the first tick
        if (eventually([&] { return rig.core().linkUp(); })) {
            eventually([&] { return rig.store.count() == 2; });
            rig.ticks(ticksAfterLogin);
            rig.core().sendLabelAlarm(CallFrame{5, 700, 5, 3});
            rig.core().sendSms(SmsFrame{5, 700, 9, {2026, 11, 30, 8, 0, 0}, "\xC4\xE3\xBA\xC3"});
            eventually([&] { return trace.contains("sms") || trace.contains("SMS"); });
        }
    }
    program.join();
    EXPECT_NE(port, 0) << result.out << result.err;
    EXPECT_EQ(result.exitCode, 0) << result.err;
    return dissect(pcap, kFields, kHeuristicFirst);
}

}  // namespace

TEST(WiresharkCaptures, DirectModeVersion4AgainstTheConnectingConsole)
{
    const Dissection d = captureWaiting<DirectLink>("direct", "--version 4 --link-period 5",
                                                    "capture_direct4", 10);
    ASSERT_FALSE(luaFailed(d)) << d.errors;
    expectAllOf(d, "direct");
    ASSERT_PACKET(login, d, "Login name=admin");
    ASSERT_PACKET(loginAck, d, "Login ack accepted version=4");
    EXPECT_EQ(loginAck->at("tagnet.reader_version"), "4");
    ASSERT_PACKET(report, d, "Tag report id=700 sub=5 rssi=-42");
    EXPECT_EQ(report->at("tagnet.reader_id"), "1");  // the leading bytes of version 4
    ASSERT_PACKET(link, d, "Link request");
    ASSERT_PACKET(linkAck, d, "Link ack");
    ASSERT_PACKET(callPacket, d, "Call id=700 sub=5 lamp=3");
    ASSERT_PACKET(smsPacket, d, "Short message id=700 sub=5 no=9");
    EXPECT_EQ(smsPacket->at("tagnet.sms.text"), u8"你好");
}

TEST(WiresharkCaptures, DirectModeVersion2AgainstTheConnectingConsole)
{
    const Dissection d =
        captureWaiting<DirectLink>("direct", "--version 2", "capture_direct2", 4);
    ASSERT_FALSE(luaFailed(d)) << d.errors;
    expectAllOf(d, "direct");
    ASSERT_PACKET(loginAck, d, "Login ack accepted version=2");
    ASSERT_PACKET(report, d, "Tag report id=700 sub=5 rssi=-42");
    EXPECT_EQ(report->at("tagnet.reader_id"), "");  // no leading bytes below version 4
    ASSERT_PACKET(heartbeat, d, "Heartbeat");
    ASSERT_PACKET(heartbeatAck, d, "Heartbeat ack");
    ASSERT_PACKET(callPacket, d, "Call id=700 sub=5 lamp=3");
}

TEST(WiresharkCaptures, LegacyModeAgainstTheLegacyConsole)
{
    const Dissection d = captureWaiting<LegacyLink>("legacy", "", "capture_legacy", 4);
    ASSERT_FALSE(luaFailed(d)) << d.errors;
    expectAllOf(d, "legacy");
    ASSERT_PACKET(login, d, "Login name=admin");
    ASSERT_PACKET(loginAck, d, "Login ack accepted");
    ASSERT_PACKET(report, d, "Tag report id=700 sub=5 rssi=-42");
    ASSERT_PACKET(heartbeat, d, "Heartbeat");
    ASSERT_PACKET(smsPacket, d, "Short message id=700 sub=5 no=9");
    EXPECT_EQ(smsPacket->at("tagnet.sms.text"), u8"你好");
}
