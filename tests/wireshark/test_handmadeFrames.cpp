// Hand-made frames of every dialect written into captures with readersim's
// pcap writer, then dissected by tshark with the plugin: every code of the
// three network dialects, the dialect and report layout taken from the
// conversation, a bad CRC and a wrong length, a GBK short message; the
// serial frames of every model layout, the signal filter tool's commands,
// the legacy settings tool's dialect and a reply reassembled from three
// packets with noise in front.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "console/netPdu.h"
#include "r7a-setup/r7aFrame.h"
#include "serial/configFrame.h"
#include "serial/paramRecords.h"
#include "tests/unit/readersim/readerFixture.h"
#include "tests/wireshark/tsharkRun.h"
#include "tests/wireshark/writePayloads.h"
#include "tools/readersim/pcapWriter.h"
#include "tools/readersim/serialReader.h"

namespace {

std::string capturePath(const char* name) { return std::string(WIRESHARK_WORK_DIR) + "/" + name; }

// Checks every expectation of one packet; `what` names the case.
void expectPacket(const Dissection& d, size_t index, const std::vector<Expect>& expect,
                  const std::string& what)
{
    ASSERT_LT(index, d.packets.size()) << what;
    const Fields& row = d.packets[index];
    for (const Expect& e : expect) {
        const auto it = row.find(e.field);
        const std::string actual = it == row.end() ? "(not asked)" : it->second;
        EXPECT_TRUE(matches(actual, e.value))
            << what << " (frame " << index + 1 << "): " << e.field << " is '" << actual
            << "', expected '" << e.value << "'; info: " << row.at("_ws.col.Info");
    }
}

std::vector<std::string> fieldsOf(const std::vector<std::vector<Expect>>& lists)
{
    std::vector<std::string> fields;
    for (const auto& list : lists)
        for (const Expect& e : list) {
            bool known = false;
            for (const std::string& f : fields)
                known = known || f == e.field;
            if (!known && std::string(e.field) != "_ws.col.Info")
                fields.push_back(e.field);
        }
    return fields;
}

// ---------------------------------------------------------------------------
// Network frames

enum class Spoil { none, crc, trailingByte };

struct NetCase {
    const char* what;
    NetAddr from, to;
    uint8_t version;
    uint8_t code;
    std::string payloadHex;
    std::vector<Expect> expect;
    Spoil spoil = Spoil::none;
};

constexpr uint32_t kLocal = 0x7F000001;
const NetAddr kListenReader{kLocal, 40100}, kPlatform{kLocal, 8800};
const NetAddr kHeurA{kLocal, 47001}, kHeurB{kLocal, 47002};
const NetAddr kConsole4{kLocal, 50001}, kReader4{0x7F000002, 4099};
const NetAddr kConsole2{kLocal, 50002}, kReader2{0x7F000003, 4099};
const NetAddr kLegacyConsole{kLocal, 50003}, kLegacyReader{0x7F000004, 4099};
const NetAddr kStray{kLocal, 50004}, kStrayReader{0x7F000005, 4099};

const std::string kLogin = "61646D696E0000000000000000000000 33313431353900000000000000000000";

std::vector<NetCase> netCases()
{
    return {
        // The listening dialect, one conversation on the platform's port.
        {"login request", kListenReader, kPlatform, 4, 0x20, "646576303031 00",
         {{"tagnet.dialect", "listen"}, {"tagnet.login.name", "dev001"}, {"tagnet.code", "0x20"},
          {"tagnet.crc.status", "1"}, {"_ws.col.Info", "Login request name=dev001"}}},
        {"login ack", kPlatform, kListenReader, 4, 0x21, "00" + std::string(512, 'A'),
         {{"tagnet.result", "0"}, {"tagnet.challenge", "~aaaaaaaa"}}},
        {"login reject", kPlatform, kListenReader, 4, 0x21, "02",
         {{"tagnet.result", "2"}, {"_ws.col.Info", "Login ack refused result=2"}}},
        {"auth request", kListenReader, kPlatform, 4, 0x22, "00112233445566778899AABBCCDDEEFF",
         {{"tagnet.auth.md5", "00112233445566778899aabbccddeeff"}}},
        {"auth ack", kPlatform, kListenReader, 4, 0x23, "000F00000001",
         {{"tagnet.auth.result", "0"}, {"_ws.col.Info", "Auth ack accepted"}}},
        {"auth reject", kPlatform, kListenReader, 4, 0x23, "04", {{"tagnet.auth.result", "4"}}},
        {"tag report", kListenReader, kPlatform, 4, 0x24, "00000001 00 00018704 41 0A0B DD",
         {{"tagnet.tag_id", "100100"}, {"tagnet.substation", "0"}, {"tagnet.rssi", "-35"},
          {"tagnet.low_voltage", "1"}, {"tagnet.extra", "0a0b"},
          {"_ws.col.Info", "Tag report id=100100 sub=0 rssi=-35 lowv extra=2"}}},
        {"heartbeat", kListenReader, kPlatform, 4, 0x25, "00000001 03 000103",
         {{"tagnet.state", "0,1,3"}, {"_ws.col.Info", "Heartbeat states=0,1,3"}}},
        {"heartbeat ack", kPlatform, kListenReader, 4, 0x26, "", {{"tagnet.code", "0x26"}}},
        {"call", kPlatform, kListenReader, 4, 0x27, "07 000001F4 05 03",
         {{"tagnet.lamp_mode", "3"}, {"tagnet.tag_id", "500"},
          {"_ws.col.Info", "Call id=500 sub=7 lamp=3 (red lamp and buzzer)"}}},
        {"stop call", kPlatform, kListenReader, 4, 0x27, "07 000001F4 01 FF",
         {{"tagnet.lamp_mode", "255"}, {"_ws.col.Info", "Stop call id=500 sub=7"}}},
        {"call ack", kListenReader, kPlatform, 4, 0x28, "07000001F40503",
         {{"_ws.col.Info", "Call ack id=500 sub=7"}}},
        {"call reject", kListenReader, kPlatform, 4, 0x29, "07000001F40503",
         {{"_ws.col.Info", "Call rejected id=500 sub=7"}}},
        {"GBK short message", kPlatform, kListenReader, 4, 0x2A,
         "07 000001F4 0001 06 0B 1E 08 00 00 08 C4E3BAC3CAC0BDE7",
         {{"tagnet.sms.text", u8"你好世界"}, {"tagnet.sms.number", "1"},
          {"tagnet.sms.time", "2026-11-30 08:00:00"}, {"tagnet.tag_id", "500"}}},
        {"short message ack", kListenReader, kPlatform, 4, 0x2B, "07000001F40001",
         {{"tagnet.code", "0x2b"}, {"tagnet.dialect", "listen"}}},
        {"short message reject", kListenReader, kPlatform, 4, 0x2C, "07000001F40001",
         {{"tagnet.code", "0x2c"}}},
        {"bad CRC", kPlatform, kListenReader, 4, 0x26, "",
         {{"tagnet.crc.status", "0"}, {"_ws.expert.message", "~CRC"}}, Spoil::crc},
        {"wrong length", kPlatform, kListenReader, 4, 0x26, "",
         {{"tagnet.crc.status", "1"}, {"_ws.expert.message", "~Length field 0, datagram holds 1"}},
         Spoil::trailingByte},
        // The magic on ports nobody registered: the heuristic dissector.
        {"heuristic", kHeurA, kHeurB, 4, 0x20, "6465763030310000",
         {{"tagnet.dialect", "listen"}, {"tagnet.login.name", "dev001"}}},

        // The direct dialect with a reader of version 4.
        {"direct login", kConsole4, kReader4, 4, 0x01, kLogin + "0A",
         {{"tagnet.dialect", "direct"}, {"tagnet.login.name", "admin"}}},
        {"direct login ack v4", kReader4, kConsole4, 4, 0x02, "00",
         {{"tagnet.result", "0"}, {"tagnet.reader_version", "4"}}},
        {"direct report v4", kReader4, kConsole4, 4, 0x03, "00000001 02 000003E8 00 C4",
         {{"tagnet.dialect", "direct"}, {"tagnet.tag_id", "1000"}, {"tagnet.substation", "2"},
          {"tagnet.rssi", "-60"}, {"tagnet.reader_id", "1"}}},
        {"direct heartbeat", kConsole4, kReader4, 2, 0x04, "", {{"tagnet.dialect", "direct"}}},
        {"direct heartbeat ack", kReader4, kConsole4, 4, 0x05, "02 0001",
         {{"tagnet.state", "0,1"}}},
        {"direct call", kConsole4, kReader4, 4, 0x06, "02 000003E8 05 01",
         {{"tagnet.lamp_mode", "1"}, {"tagnet.dialect", "direct"}}},
        {"direct call ack", kReader4, kConsole4, 4, 0x07, "02000003E80501",
         {{"_ws.col.Info", "Call ack id=1000 sub=2"}}},
        {"direct call reject", kReader4, kConsole4, 4, 0x08, "02000003E80501",
         {{"_ws.col.Info", "Call rejected id=1000 sub=2"}}},
        {"direct short message", kConsole4, kReader4, 4, 0x09,
         "02 000003E8 0002 06 0B 1E 08 00 00 03 616263",
         {{"tagnet.sms.text", "abc"}, {"tagnet.sms.number", "2"}}},
        {"direct short message ack", kReader4, kConsole4, 4, 0x0A, "02000003E80002",
         {{"tagnet.code", "0x0a"}, {"tagnet.dialect", "direct"}}},
        {"direct short message reject", kReader4, kConsole4, 4, 0x0B, "02000003E80002",
         {{"tagnet.code", "0x0b"}}},
        {"direct link request", kReader4, kConsole4, 4, 0x0F, "00000001 02 0003",
         {{"tagnet.state", "0,3"}, {"_ws.col.Info", "Link request states=0,3"}}},
        {"direct link ack", kConsole4, kReader4, 4, 0x10, "", {{"tagnet.code", "0x10"}}},

        // The direct dialect with a reader of version 2: reports without leading bytes.
        {"direct login (v2 reader)", kConsole2, kReader2, 4, 0x01, kLogin + "0A",
         {{"tagnet.dialect", "direct"}}},
        {"direct login ack v2", kReader2, kConsole2, 2, 0x02, "00",
         {{"tagnet.reader_version", "2"}, {"_ws.col.Info", "Login ack accepted version=2"}}},
        {"direct report v2", kReader2, kConsole2, 2, 0x03, "01 000007D0 00 D8",
         {{"tagnet.tag_id", "2000"}, {"tagnet.substation", "1"}, {"tagnet.rssi", "-40"},
          {"tagnet.reader_id", ""}}},

        // The legacy console's variant.
        {"legacy login", kLegacyConsole, kLegacyReader, 0, 0x01, kLogin,
         {{"tagnet.dialect", "legacy"}, {"tagnet.login.name", "admin"},
          {"tagnet.login.password", "314159"}}},
        {"legacy login ack", kLegacyReader, kLegacyConsole, 2, 0x02, "0000",
         {{"tagnet.dialect", "legacy"}, {"tagnet.result", "0"}}},
        {"legacy report", kLegacyReader, kLegacyConsole, 2, 0x03, "03 00000BB8 01 B0",
         {{"tagnet.tag_id", "3000"}, {"tagnet.substation", "3"}, {"tagnet.rssi", "-80"},
          {"tagnet.low_voltage", "1"}, {"_ws.col.Info", "Tag report id=3000 sub=3 rssi=-80 lowv"}}},
        {"legacy heartbeat", kLegacyConsole, kLegacyReader, 0, 0x04, "",
         {{"tagnet.dialect", "legacy"}}},
        {"legacy heartbeat ack", kLegacyReader, kLegacyConsole, 2, 0x05, "01 02",
         {{"tagnet.state", "2"}}},
        {"legacy call", kLegacyConsole, kLegacyReader, 2, 0x06, "01 00000064 05 01",
         {{"tagnet.crc", "0x99d8"}, {"tagnet.lamp_mode", "1"}, {"tagnet.dialect", "legacy"}}},
        {"legacy call ack", kLegacyReader, kLegacyConsole, 2, 0x07, "0100000064", {{"tagnet.code", "0x07"}}},
        {"legacy call reject", kLegacyReader, kLegacyConsole, 2, 0x08, "0100000064", {{"tagnet.code", "0x08"}}},
        {"legacy short message", kLegacyConsole, kLegacyReader, 2, 0x09,
         "00 00000BB8 0001 06 0B 1E 08 00 00 04 C4E3BAC3" + std::string(2 * 106, '0'),
         {{"tagnet.sms.text", u8"你好"}, {"tagnet.dialect", "legacy"}, {"tagnet.length", "124"}}},
        {"legacy short message ack", kLegacyReader, kLegacyConsole, 2, 0x0A, "", {{"tagnet.code", "0x0a"}}},
        {"legacy short message reject", kLegacyReader, kLegacyConsole, 2, 0x0B, "", {{"tagnet.code", "0x0b"}}},

        // A report in a conversation that shows no login: no guess.
        {"report without login", kStrayReader, kStray, 2, 0x03, "01 000007D0 00 D8",
         {{"tagnet.dialect", "unknown"}, {"_ws.expert.message", "~No login ack seen"}}},
    };
}

TEST(WiresharkHandmade, NetworkFramesOfEveryDialect)
{
    const std::vector<NetCase> cases = netCases();
    const std::string path = capturePath("handmade_net.pcap");
    {
        PcapWriter pcap;
        ASSERT_TRUE(pcap.open(path.c_str(), pcapLinkRawIp));
        for (const NetCase& c : cases) {
            const Bytes payload = hexBytes(c.payloadHex.c_str());
            uint8_t frame[1100];
            size_t n = netPduBuildVersion(frame, sizeof frame - 1, c.version, c.code,
                                          payload.data(), payload.size());
            ASSERT_NE(n, 0u) << c.what;
            if (c.spoil == Spoil::crc)
                frame[7] ^= 0xFF;
            if (c.spoil == Spoil::trailingByte)
                frame[n++] = 0x55;
            pcap.writeUdp(c.from, c.to, frame, n);
        }
    }
    std::vector<std::vector<Expect>> lists;
    for (const NetCase& c : cases)
        lists.push_back(c.expect);
    std::vector<std::string> fields = fieldsOf(lists);
    const Dissection d = dissect(path, fields);
    ASSERT_FALSE(luaFailed(d)) << d.errors;
    ASSERT_EQ(d.packets.size(), cases.size()) << d.errors;
    for (size_t i = 0; i < cases.size(); ++i)
        expectPacket(d, i, cases[i].expect, cases[i].what);

    // The preference that forces a dialect wins over what the capture shows.
    const Dissection forced = dissect(path, {"tagnet.dialect"}, "-o tagnet.dialect:legacy");
    ASSERT_FALSE(luaFailed(forced)) << forced.errors;
    ASSERT_EQ(forced.packets.size(), cases.size());
    EXPECT_EQ(forced.packets.back().at("tagnet.dialect"), "legacy");
    EXPECT_EQ(forced.packets[20].at("tagnet.dialect"), "legacy");  // the direct login ack
}

// ---------------------------------------------------------------------------
// Serial frames

struct SerialPacket {
    const char* what;
    uint8_t direction;
    Bytes bytes;
    std::vector<Expect> expect;
    long long pauseUs = 1000;  // time since the packet before
};

// Gives the records of a capture written by PcapWriter the time stamps
// 1700000000 s plus the given microseconds, so what the dissector makes of
// pauses does not depend on how fast the test ran.
void setRecordTimes(const std::string& path, const std::vector<long long>& micros)
{
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    std::streamoff at = 24;  // behind the file header
    for (long long us : micros) {
        uint32_t record[4];
        f.seekg(at);
        if (!f.read(reinterpret_cast<char*>(record), sizeof record))
            return;
        record[0] = uint32_t(1700000000 + us / 1000000);
        record[1] = uint32_t(us % 1000000);
        f.seekp(at);
        f.write(reinterpret_cast<const char*>(record), sizeof record);
        at += std::streamoff(sizeof record + record[2]);
    }
}

Bytes configFrame(uint8_t level, uint8_t command, const Bytes& payload)
{
    Bytes out(payload.size() + configHeaderSize);
    out.resize(buildConfigFrame(out.data(), out.size(), level, command, payload.data(), payload.size()));
    return out;
}

Bytes r7aFrame(uint8_t level, uint8_t command, const Bytes& payload)
{
    Bytes out(payload.size() + r7aHeaderSize);
    out.resize(buildR7aFrame(out.data(), out.size(), level, command, payload.data(), payload.size()));
    return out;
}

Bytes slice(const Bytes& b, size_t from, size_t count)
{
    return Bytes(b.begin() + long(from), b.begin() + long(from + count));
}

struct ModelCase {
    uint8_t model;
    const char* layout;
    std::vector<Expect> reply, write;
};

std::vector<SerialPacket> serialPackets()
{
    SerialRecordValues v;
    v.connect.deviceId = -12345;
    v.net.ip = ipv4(10, 1, 2, 3);
    std::vector<SerialPacket> packets;
    packets.push_back({"read request", pcapToReader, Bytes(configReadRequest, configReadRequest + 10),
                       {{"tagserial.code", "0x01"}, {"tagserial.level", "0"},
                        {"tagserial.crc.status", "1"}, {"tagserial.dialect", "configuration"}}});

    // A model-1 reply in three writes, three noise bytes in front of it.
    Bytes record(serialRecordMax);
    record.resize(encodeSerialRecord(modelWired, v, record.data(), record.size()));
    const Bytes reply = configFrame(3, configCmdParamReply, record);
    Bytes head = {0xEE, 0xEE, 0xEE};
    const Bytes first = slice(reply, 0, 20);
    head.insert(head.end(), first.begin(), first.end());
    packets.push_back({"noise and the reply's head", pcapFromReader, head,
                       {{"tagserial.noise", "eeeeee"}, {"tagserial.code", ""},
                        {"_ws.col.Info", "Noise (3 bytes) | Frame fragment"}}});
    packets.push_back({"the reply's middle", pcapFromReader, slice(reply, 20, 50),
                       {{"tagserial.fragment", "~"}, {"tagserial.code", ""}}});
    packets.push_back({"the reply's end", pcapFromReader, slice(reply, 70, reply.size() - 70),
                       {{"tagserial.code", "0x02"}, {"tagserial.model", "1"}, {"tagserial.level", "3"},
                        {"tagserial.crc.status", "1"}, {"tagserial.device_id", "-12345"},
                        {"tagserial.ip", "10.1.2.3"}, {"tagserial.reassembled_from", "2,3,4"}}});

    const std::vector<ModelCase> models = {
        {modelWired, "wired", {{"tagserial.device_id", "-12345"}}, {{"tagserial.device_id", "-12345"}}},
        {modelWiredOneAntenna, "wired", {{"tagserial.antenna1_baud", "4"}}, {{"tagserial.ip", "10.1.2.3"}}},
        {modelWiredActive, "wired", {{"tagserial.ip", "10.1.2.3"}}, {{"tagserial.connect_mode", "1"}}},
        {modelWifi, "wifi", {{"tagserial.ssid", "reader-ap"}, {"tagserial.device_id", "-12345"}},
         {{"tagserial.wifi_password", "12345678"}}},
        {modelDomain, "domain", {{"tagserial.domain", "platform.example.com"}, {"tagserial.ip", ""}},
         {{"tagserial.platform_ip", "192.168.1.100"}, {"tagserial.platform_port", "8800"}}},
        {modelCompactWired, "compact", {{"tagserial.device_id", "-12345"}, {"tagserial.ip", "10.1.2.3"}},
         {{"tagserial.device_id", "-12345"}, {"tagserial.platform_ip", ""}}},
        {modelDualNetwork, "dual", {{"tagserial.wifi.ip", "192.168.2.200"}, {"tagserial.ip", "10.1.2.3"}},
         {{"tagserial.device_id", "-12345"}, {"tagserial.ip", "10.1.2.3"}}},
    };
    for (const ModelCase& m : models) {
        Bytes rec(serialRecordMax);
        rec.resize(encodeSerialRecord(m.model, v, rec.data(), rec.size()));
        std::vector<Expect> replyExpect = {{"tagserial.model", std::to_string(m.model)},
                                           {"tagserial.layout", m.layout}};
        replyExpect.insert(replyExpect.end(), m.reply.begin(), m.reply.end());
        packets.push_back({"parameter reply", pcapFromReader, configFrame(3, configCmdParamReply, rec),
                           replyExpect});
        // The write: its layout from its length, the model from the reply before it.
        std::vector<Expect> writeExpect = {{"tagserial.code", "0x03"},
                                           {"tagserial.model", std::to_string(m.model)},
                                           {"tagserial.layout", m.layout}};
        writeExpect.insert(writeExpect.end(), m.write.begin(), m.write.end());
        packets.push_back({"write request", pcapToReader,
                           configFrame(0, configCmdWriteRequest, toolWriteFor(m.model, rec.data(), rec.size())), writeExpect});
    }
    packets.push_back({"write ack", pcapFromReader, configFrame(3, configCmdWriteAck, {}),
                       {{"tagserial.code", "0x04"}, {"_ws.col.Info", "Write ack"}}});

    // The signal filter tool's commands.
    packets.push_back({"RSSI read", pcapToReader, configFrame(0, configCmdRssiRead, {}),
                       {{"tagserial.code", "0x07"}}});
    packets.push_back({"RSSI reply", pcapFromReader, configFrame(3, configCmdRssiReply, {0xC4}),
                       {{"tagserial.threshold", "-60"}, {"_ws.col.Info", "RSSI reply threshold=-60"}}});
    packets.push_back({"RSSI write", pcapToReader, configFrame(0, configCmdRssiWrite, {0xCE}),
                       {{"tagserial.threshold", "-50"}, {"tagserial.crc", "0xc4f1"}}});
    packets.push_back({"RSSI write ack", pcapFromReader, configFrame(3, configCmdRssiWriteAck, {}),
                       {{"tagserial.code", "0x0a"}}});
    Bytes two = configFrame(0, configCmdRssiRead, {});
    two.insert(two.end(), configReadRequest, configReadRequest + 10);
    packets.push_back({"two frames in one write", pcapToReader, two,
                       {{"tagserial.code", "0x07,0x01"}, {"_ws.col.Info", "RSSI read | Read request"}}});
    Bytes spoiled = configFrame(3, configCmdRssiReply, {0xC4});
    spoiled[7] ^= 0xFF;
    packets.push_back({"bad CRC", pcapFromReader, spoiled,
                       {{"tagserial.crc.status", "0"}, {"_ws.expert.message", "~CRC bytes"}}});

    // The legacy settings tool's dialect.
    packets.push_back({"R7A read request", pcapToReader, Bytes(r7aReadRequest, r7aReadRequest + 10),
                       {{"tagserial.dialect", "legacy"}, {"tagserial.level", "1"}, {"tagserial.crc.status", "1"}}});
    R7aRecord r7a;
    r7a.rs485Baud = 0;
    r7a.antenna0Baud = 1;
    r7a.antenna1Baud = 2;
    r7a.ip = ipv4(192, 168, 1, 195);
    r7a.mask = ipv4(255, 255, 255, 0);
    r7a.gateway = ipv4(192, 168, 1, 1);
    std::strcpy(r7a.version, "R7A-V1.7");
    r7a.threshold = -80;
    r7a.flag = 1;
    for (size_t size : {r7aReplyBase, r7aReplyWithThreshold, r7aReplyWithFlag}) {
        Bytes payload(size - r7aHeaderSize);
        payload.resize(encodeR7aReply(r7a, size, payload.data(), payload.size()));
        std::vector<Expect> expect = {{"tagserial.dialect", "legacy"}, {"tagserial.code", "0x02"},
                                      {"tagserial.ip", "192.168.1.195"},
                                      {"tagserial.antenna1_baud", "2"},
                                      {"tagserial.threshold", size >= 58 ? "-80" : ""},
                                      {"tagserial.ant1_as_ant0", size == 59 ? "1" : ""}};
        packets.push_back({"R7A reply", pcapFromReader, r7aFrame(0, configCmdParamReply, payload), expect});
    }
    // The write example of the legacy tool: threshold -80, the flag set.
    packets.push_back({"R7A write", pcapToReader,
                       hexBytes("51564E52 01 03 C0 61 00 11 00 01 02 C3 01 A8 C0 00 FF FF FF 01 01 A8 C0 B0 01"),
                       {{"tagserial.dialect", "legacy"}, {"tagserial.crc.status", "1"},
                        {"tagserial.ip", "192.168.1.195"}, {"tagserial.mask", "255.255.255.0"},
                        {"tagserial.threshold", "-80"}, {"tagserial.ant1_as_ant0", "1"}}});
    packets.push_back({"R7A ack", pcapFromReader, r7aFrame(0, configCmdWriteAck, {}),
                       {{"tagserial.code", "0x04"}, {"tagserial.dialect", "legacy"}}});

    // A reply's head, then nothing for 200 ms: the cutter gives the head up,
    // and the next frame stands on its own.
    packets.push_back({"a head left alone", pcapFromReader, slice(reply, 0, 30),
                       {{"_ws.col.Info", "Frame fragment"}}});
    packets.push_back({"after the pause", pcapFromReader, configFrame(3, configCmdWriteAck, {}),
                       {{"_ws.col.Info", "Incomplete frame dropped | Write ack"},
                        {"_ws.expert.message", "~30 bytes held since packet"},
                        {"_ws.expert.message", "~dropped: no byte for 200 ms"}},
                       200000});
    return packets;
}

TEST(WiresharkHandmade, SerialFramesOfEveryLayoutAndDialect)
{
    const std::vector<SerialPacket> packets = serialPackets();
    const std::string path = capturePath("handmade_serial.pcap");
    {
        PcapWriter pcap;
        ASSERT_TRUE(pcap.open(path.c_str(), pcapLinkUser0));
        for (const SerialPacket& p : packets)
            pcap.writeSerial(p.direction, p.bytes.data(), p.bytes.size());
    }
    std::vector<long long> times;
    long long now = 0;
    for (const SerialPacket& p : packets)
        times.push_back(now += p.pauseUs);
    setRecordTimes(path, times);
    std::vector<std::vector<Expect>> lists;
    for (const SerialPacket& p : packets)
        lists.push_back(p.expect);
    const Dissection d = dissect(path, fieldsOf(lists));
    ASSERT_FALSE(luaFailed(d)) << d.errors;
    ASSERT_EQ(d.packets.size(), packets.size()) << d.errors;
    for (size_t i = 0; i < packets.size(); ++i)
        expectPacket(d, i, packets[i].expect, packets[i].what);
}

}  // namespace
