// Captures that "readersim --pcap" writes while the real console cores talk
// to it over loopback (the listening server, the connecting and the legacy
// link, as in tests/integration), decoded by tshark with the plugin: the
// dialect each conversation is told to be and the fields of its frames.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>

#include "tests/integration/consoleRig.h"
#include "tests/integration/readersimRun.h"
#include "platform/serialPort.h"
#include "r7a-setup/r7aFrame.h"
#include "serial/configFrame.h"
#include "serial/serialLink.h"
#include "tests/unit/serial/linkFixture.h"
#include "tests/wireshark/tsharkRun.h"
#include "tests/wireshark/writePayloads.h"

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

// Every packet is flushed as it is written: a reader killed outright leaves
// a capture that holds what it sent and received up to then.
TEST(WiresharkCaptures, CaptureOfAKilledReaderIsWhole)
{
    ServerRig rig;
    ASSERT_NE(rig.port, 0);
    const std::string base = outputBase("capture_killed");
    const std::string pcap = base + ".pcap";
    std::remove(pcap.c_str());
    const std::string cmd = std::string("\"") + READERSIM_BINARY + "\" listen --server 127.0.0.1:" +
                            std::to_string(rig.port) + " --tick-ms 100 --tags 1 --first-tag 42 --pcap \"" +
                            pcap + "\" >\"" + base + ".out\" 2>&1 & echo $! >\"" + base + ".pid\"";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    const int pid = std::atoi(readFile(base + ".pid").c_str());
    ASSERT_GT(pid, 0);
    const bool reported = eventually([&] { return rig.linkUp() && rig.store.count() == 1; });
    std::system(("kill -KILL " + std::to_string(pid)).c_str());
    ASSERT_TRUE(reported) << readFile(base + ".out");

    const Dissection d = dissect(pcap, {"tagnet.crc.status", "ip.checksum.status", "tagnet.dialect"},
                                 std::string(kHeuristicFirst) + " -o ip.check_checksum:TRUE");
    ASSERT_FALSE(luaFailed(d)) << d.errors;
    ASSERT_PACKET(login, d, "Login request name=dev001");
    EXPECT_EQ(login->at("ip.checksum.status"), "1");  // the IPv4 header checksum is good
    ASSERT_PACKET(report, d, "Tag report id=42");
    for (const Fields& f : d.packets)
        EXPECT_EQ(f.at("tagnet.crc.status"), "1") << f.at("_ws.col.Info");
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

namespace {

// A pair of pseudo-terminals joined by socat, as the end-to-end tests use
// them: the tool's side opens a(), readersim serves b().
class SocatPair {
public:
    explicit SocatPair(const std::string& tag) : base_(outputBase(tag))
    {
        std::remove((base_ + "_A").c_str());
        std::remove((base_ + "_B").c_str());
        const std::string cmd = std::string("\"") + SOCAT + "\" pty,raw,echo=0,link=" + a() +
                                " pty,raw,echo=0,link=" + b() + " >/dev/null 2>&1 & echo $! >" +
                                base_ + "_socat.pid";
        if (std::system(cmd.c_str()) == 0)
            pid_ = std::atoi(readFile(base_ + "_socat.pid").c_str());
        ready_ = pid_ > 0 && eventually([&] {
                     return ::access(a().c_str(), F_OK) == 0 && ::access(b().c_str(), F_OK) == 0;
                 });
    }
    ~SocatPair()
    {
        if (pid_ > 0)
            std::system(("kill " + std::to_string(pid_) + " 2>/dev/null").c_str());
    }
    bool ready() const { return ready_; }
    std::string a() const { return base_ + "_A"; }
    std::string b() const { return base_ + "_B"; }

private:
    std::string base_;
    int pid_ = 0;
    bool ready_ = false;
};

const std::vector<std::string> kSerialFields = {
    "tagserial.direction", "tagserial.dialect", "tagserial.code", "tagserial.crc.status",
    "tagserial.level", "tagserial.model", "tagserial.layout", "tagserial.ssid", "tagserial.ip",
    "tagserial.threshold", "tagserial.noise", "tagserial.reassembled_from",
    "tagserial.ant1_as_ant0"};

// The packet that holds a frame whose Info starts with prefix, or null.
const Fields* serialPacket(const Dissection& d, const std::string& prefix)
{
    for (const Fields& f : d.packets) {
        const std::string& info = f.at("_ws.col.Info");
        size_t at = 0;
        while (at != std::string::npos) {
            if (info.compare(at, prefix.size(), prefix) == 0)
                return &f;
            at = info.find(" | ", at);
            if (at != std::string::npos)
                at += 3;
        }
    }
    return nullptr;
}

#define ASSERT_SERIAL(var, d, prefix)                                      \
    const Fields* var = serialPacket(d, prefix);                           \
    ASSERT_NE(var, nullptr) << "no frame \"" << prefix << "\" in the capture"

}  // namespace

// The tool's serial link (the real port adapter and cutter) against
// readersim serial, which writes its reply in three pieces.
TEST(WiresharkCaptures, SerialModeAgainstTheSerialLink)
{
    SocatPair pair("capture_serial");
    ASSERT_TRUE(pair.ready());
    const std::string pcap = capturePath("capture_serial");
    RunResult result;
    std::thread program = startReadersim(
        "serial --device " + pair.b() +
            " --model 3 --ssid 工地-AP --duration 3 --tick-ms 10 --split reply --split-parts 3"
            " --split-gap 1 --rssi-threshold -60 --pcap " + pcap,
        "capture_serial", &result);
    std::vector<Bytes> frames;
    SerialPort port;
    if (!awaitOutputLine("capture_serial", "# readersim mode=serial").empty() &&
        port.openDevice(pair.a().c_str())) {
        WaitingSink sink;
        SerialLink link(port, sink);
        link.start();
        sendReadRequest(port);
        frames = sink.waitFor(1);
        if (frames.size() == 1) {
            const Bytes& reply = frames[0];
            const Bytes write = toolWriteFor(reply[26], reply.data() + 10, reply.size() - 10);
            sendWriteRequest(port, write.data(), write.size());
            sink.waitFor(2);
            sendConfigFrame(port, configCmdRssiRead, nullptr, 0);
            sink.waitFor(3);
            const uint8_t threshold = uint8_t(-50);
            sendConfigFrame(port, configCmdRssiWrite, &threshold, 1);
            frames = sink.waitFor(4);
        }
        link.stop();
        port.closeComPort();
    }
    program.join();
    ASSERT_EQ(frames.size(), 4u) << result.out;

    // The tool's link took every frame; a loaded machine may still have
    // written the pieces further apart than the dissector's 50 ms.
    const Dissection d = dissect(pcap, kSerialFields, "-o tagserial.give_up_ms:0");
    ASSERT_FALSE(luaFailed(d)) << d.errors;
    for (const Fields& f : d.packets)
        if (f.at("tagserial.code") != "")
            EXPECT_EQ(f.at("tagserial.crc.status"), "1") << f.at("_ws.col.Info");
    ASSERT_SERIAL(read, d, "Read request");
    EXPECT_EQ(read->at("tagserial.direction"), "0");
    ASSERT_SERIAL(replyPacket, d, "Parameter reply model=3 level=3");
    EXPECT_EQ(replyPacket->at("tagserial.layout"), "wifi");
    EXPECT_EQ(replyPacket->at("tagserial.ssid"), u8"工地-AP");
    EXPECT_EQ(std::count(replyPacket->at("tagserial.reassembled_from").begin(),
                         replyPacket->at("tagserial.reassembled_from").end(), ','),
              2);  // three packets
    ASSERT_SERIAL(writePacket, d, "Write request wifi (157 bytes)");
    EXPECT_EQ(writePacket->at("tagserial.model"), "3");
    EXPECT_EQ(writePacket->at("tagserial.ip"), "192.168.1.200");
    ASSERT_SERIAL(ack, d, "Write ack");
    ASSERT_SERIAL(rssiReply, d, "RSSI reply threshold=-60");
    ASSERT_SERIAL(rssiWrite, d, "RSSI write threshold=-50");
    ASSERT_SERIAL(rssiAck, d, "RSSI write ack");
}

// The legacy settings tool's older dialect, its request bytes sent on the
// real port adapter; readersim answers with a 59-byte reply.
TEST(WiresharkCaptures, LegacySerialModeOnThePort)
{
    SocatPair pair("capture_r7a");
    ASSERT_TRUE(pair.ready());
    const std::string pcap = capturePath("capture_r7a");
    RunResult result;
    std::thread program = startReadersim("legacy-serial --device " + pair.b() +
                                             " --reply-size 59 --ip 10.0.0.7 --flag 1"
                                             " --duration 2 --tick-ms 10 --pcap " + pcap,
                                         "capture_r7a", &result);
    SerialPort port;
    size_t got = 0;
    if (!awaitOutputLine("capture_r7a", "# readersim mode=legacy-serial").empty() &&
        port.openDevice(pair.a().c_str())) {
        port.writeComBytes(r7aReadRequest, sizeof r7aReadRequest);
        uint8_t buffer[512];
        eventually([&] {
            const long n = port.readComBytes(buffer + got, sizeof buffer - got, 10);
            if (n > 0)
                got += size_t(n);
            return got >= r7aReplyWithFlag;
        });
        const Bytes write = hexBytes(
            "51564E52 01 03 C0 61 00 11 00 01 02 C3 01 A8 C0 00 FF FF FF 01 01 A8 C0 B0 01");
        port.writeComBytes(write.data(), write.size());
        eventually([&] {
            return readFile(outputBase("capture_r7a") + ".out").find("ack") != std::string::npos;
        });
        port.closeComPort();
    }
    program.join();
    ASSERT_EQ(got, r7aReplyWithFlag) << result.out;

    const Dissection d = dissect(pcap, kSerialFields);
    ASSERT_FALSE(luaFailed(d)) << d.errors;
    for (const Fields& f : d.packets) {
        EXPECT_EQ(f.at("tagserial.dialect"), "legacy") << f.at("_ws.col.Info");
        EXPECT_EQ(f.at("tagserial.crc.status"), "1") << f.at("_ws.col.Info");
    }
    ASSERT_SERIAL(read, d, "R7A read request");
    EXPECT_EQ(read->at("tagserial.level"), "1");
    ASSERT_SERIAL(replyPacket, d, "R7A parameter reply (59 bytes) ip=10.0.0.7");
    EXPECT_EQ(replyPacket->at("tagserial.ant1_as_ant0"), "1");
    ASSERT_SERIAL(writePacket, d, "R7A write request ip=192.168.1.195");
    EXPECT_EQ(writePacket->at("tagserial.threshold"), "-80");
}

// A capture file that cannot be written stops the reader before it starts.
TEST(WiresharkCaptures, UnwritableCaptureFileIsAFailure)
{
    const std::string pcap = outputBase("no_such_dir") + "/capture.pcap";
    for (const char* mode : {"listen --duration 1", "legacy --port 0 --duration 1"}) {
        const RunResult r = runReadersim(std::string(mode) + " --pcap " + pcap, "capture_unwritable");
        EXPECT_EQ(r.exitCode, 1) << mode;
        EXPECT_EQ(r.err, "readersim: cannot write the capture file " + pcap + "\n") << mode;
    }
}
