// The serial reader, tick by tick: the parameter reply of every layout byte
// for byte against records built here from the layout tables, writes as the
// tool encodes them applied and read back, the misbehaviours (silence, CRC,
// late, noise, pieces), its own cutting of what it receives, the frame
// lines; and, on POSIX, the run loop over a pseudo-terminal with the tool's
// link on the other end.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "serial/configFrame.h"
#include "serial/paramRecords.h"
#include "tests/unit/serial/linkFixture.h"
#include "tools/readersim/serialPrint.h"
#include "tools/readersim/serialReader.h"
#include "tools/readersim/serialRun.h"

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>
#endif

namespace {

class LineLog : public SimLog {
public:
    void line(const char* text) override
    {
        std::lock_guard<std::mutex> guard(lock_);
        lines_.emplace_back(text);
    }
    std::vector<std::string> lines()
    {
        std::lock_guard<std::mutex> guard(lock_);
        return lines_;
    }
    bool contains(const std::string& text) { return count(text) > 0; }
    size_t count(const std::string& text)
    {
        size_t n = 0;
        for (const std::string& l : lines())
            n += l == text ? 1 : 0;
        return n;
    }
    bool startsWith(const std::string& prefix)
    {
        for (const std::string& l : lines())
            if (l.compare(0, prefix.size(), prefix) == 0)
                return true;
        return false;
    }
    void clear()
    {
        std::lock_guard<std::mutex> guard(lock_);
        lines_.clear();
    }

private:
    std::mutex lock_;
    std::vector<std::string> lines_;
};

class RecordingWriter : public SerialWriter {
public:
    std::vector<Bytes> writes;
    void writeComBytes(const uint8_t* bytes, size_t count) override
    {
        writes.emplace_back(bytes, bytes + count);
    }
    Bytes all() const
    {
        Bytes out;
        for (const Bytes& w : writes)
            out.insert(out.end(), w.begin(), w.end());
        return out;
    }
};

// Bytes placed at offsets by hand, from the layout tables.
class Placed {
public:
    explicit Placed(size_t size) : b_(size, 0) {}
    Placed& at(size_t offset, std::initializer_list<uint8_t> bytes)
    {
        size_t i = offset;
        for (uint8_t v : bytes)
            b_.at(i++) = v;
        return *this;
    }
    Placed& text(size_t offset, const char* t)
    {
        for (size_t i = 0; t[i]; ++i)
            b_.at(offset + i) = uint8_t(t[i]);
        return *this;
    }
    const Bytes& bytes() const { return b_; }

private:
    Bytes b_;
};

template <size_t N>
FixedText<N> textOf(const char* t)
{
    FixedText<N> f;
    f.assign(std::string_view(t));
    return f;
}

// A reader whose every field differs from its neighbours, so that a field
// written to the wrong place shows.
SerialRecordValues distinctValues()
{
    SerialRecordValues v;
    v.version = textOf<paramVersionSize>("T-1.0");
    v.connect.mode = connectActive;
    v.connect.name = textOf<paramTextSize>("north-gate");
    v.connect.password = textOf<paramTextSize>("pw-7788");
    v.connect.platformIp = ipv4(10, 1, 2, 3);
    v.connect.platformPort = 9001;  // 0x2329
    v.connect.deviceId = -2;        // FF FF FF FE
    v.net = {1, ipv4(10, 0, 0, 5), ipv4(255, 255, 0, 0), ipv4(10, 0, 0, 1)};
    v.wifiNet = {1, ipv4(172, 16, 0, 9), ipv4(255, 255, 255, 0), ipv4(172, 16, 0, 1)};
    v.rs485Baud = 1;
    v.antenna0Baud = 2;
    v.antenna1Baud = 3;
    v.antennaMerge = 1;
    v.mac = {0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F};
    v.wifiMac = {0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F};
    v.ssid = textOf<paramTextSize>("site-ap");
    v.wifiPassword = textOf<paramTextSize>("wpass");
    v.network = networkWifi;
    v.domainEnabled = 1;
    v.domain = textOf<paramDomainSize>("rfid.example.net");
    v.reserved = 0x5A;
    return v;
}

// The records of distinctValues(), one builder per layout.
Bytes wiredRecord(uint8_t model)
{
    return Placed(116)
        .text(0, "T-1.0")
        .at(16, {model})
        .at(17, {1})
        .text(18, "north-gate")
        .text(50, "pw-7788")
        .at(82, {10, 1, 2, 3, 0x23, 0x29})
        .at(88, {1, 10, 0, 0, 5, 255, 255, 0, 0, 10, 0, 0, 1})
        .at(101, {1, 2, 3, 0, 1})
        .at(106, {0xFF, 0xFF, 0xFF, 0xFE})
        .at(110, {0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F})
        .bytes();
}

Bytes wifiRecord(uint8_t model)
{
    return Placed(180)
        .text(0, "T-1.0")
        .at(16, {model})
        .at(17, {1})
        .text(18, "north-gate")
        .text(50, "pw-7788")
        .at(82, {10, 1, 2, 3, 0x23, 0x29})
        .at(88, {1, 10, 0, 0, 5, 255, 255, 0, 0, 10, 0, 0, 1})
        .at(101, {0, 2, 3, 0, 1})
        .text(106, "site-ap")
        .text(138, "wpass")
        .at(170, {0xFF, 0xFF, 0xFF, 0xFE})
        .at(174, {0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F})
        .bytes();
}

Bytes compactRecord(uint8_t model)
{
    return Placed(112)
        .text(0, "T-1.0")
        .at(16, {model})
        .at(17, {1})
        .text(18, "north-gate")
        .text(50, "pw-7788")
        .at(82, {10, 1, 2, 3, 0x23, 0x29})
        .at(88, {0xFF, 0xFF, 0xFF, 0xFE})
        .at(92, {1, 10, 0, 0, 5, 255, 255, 0, 0, 10, 0, 0, 1})
        .at(105, {0x5A, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F})
        .bytes();
}

Bytes domainRecord(uint8_t model)
{
    return Placed(150)
        .text(0, "T-1.0")
        .at(16, {model})
        .text(17, "north-gate")
        .text(49, "pw-7788")
        .at(81, {1})
        .text(82, "rfid.example.net")
        .at(142, {10, 1, 2, 3, 0x23, 0x29, 2, 0x5A})
        .bytes();
}

Bytes dualRecord(uint8_t model)
{
    return Placed(198)
        .text(0, "T-1.0")
        .at(16, {model})
        .at(17, {1})
        .text(18, "site-ap")
        .text(50, "wpass")
        .at(82, {0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F})
        .at(88, {1, 10, 0, 0, 5, 255, 255, 0, 0, 10, 0, 0, 1})
        .at(101, {0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F})
        .at(107, {1, 172, 16, 0, 9, 255, 255, 255, 0, 172, 16, 0, 1})
        .at(120, {1})
        .text(121, "north-gate")
        .text(153, "pw-7788")
        .at(185, {10, 1, 2, 3, 0x23, 0x29})
        .at(191, {0xFF, 0xFF, 0xFF, 0xFE, 2, 0, 0x5A})
        .bytes();
}

Bytes configFrame(uint8_t command, const Bytes& payload, uint8_t level = 0)
{
    return linkFrame(command, payload, level);
}

const Bytes kReadRequest(configReadRequest, configReadRequest + configHeaderSize);

// The tool's side of the frames the reader wrote: cut and dispatched as the
// configuration tool does.
class ToolSide : public ConfigReplyHandler {
public:
    int replies = 0;
    int acks = 0;
    uint8_t level = 0xEE;
    ParamRecordStore store;

    void onParameterReply(uint8_t l, const uint8_t* payload, size_t length) override
    {
        ++replies;
        level = l;
        store.assign(payload, length);
    }
    void onWriteAcknowledged() override { ++acks; }

    // Every write in turn, each cut as far as it goes.
    void receive(const std::vector<Bytes>& writes)
    {
        ConfigFrameSink sink(*this);
        for (const Bytes& w : writes) {
            cutter_.append(w.data(), w.size());
            while (cutter_.cut(sink) == CutResult::frame) {
            }
        }
    }

private:
    FrameCutter cutter_;
};

class SerialFixture {
public:
    SerialReaderConfig config;
    RecordingWriter writer;
    LineLog log;

    SerialReader& reader()
    {
        if (!reader_)
            reader_.reset(new SerialReader(config, writer, log));
        return *reader_;
    }
    void deliver(const Bytes& bytes) { reader().onBytes(bytes.data(), bytes.size()); }
    void ticks(int n)
    {
        for (int i = 0; i < n; ++i)
            reader().tick();
    }
    // Sends a read request and returns the payload of the single reply.
    Bytes read()
    {
        writer.writes.clear();
        deliver(kReadRequest);
        EXPECT_EQ(writer.writes.size(), 1u);
        ConfigFrame f;
        const Bytes all = writer.all();
        if (configFrameCheck(all.data(), all.size(), &f) != ConfigCheck::ok ||
            f.command != configCmdParamReply)
            return Bytes();
        return Bytes(f.payload, f.payload + f.length);
    }
    ParamRecordStore readStore()
    {
        const Bytes p = read();
        ParamRecordStore s;
        s.assign(p.data(), p.size());
        return s;
    }
    // Sends a write request and says whether the one answer was the ack.
    bool write(const WritePayload& payload)
    {
        writer.writes.clear();
        deliver(configFrame(configCmdWriteRequest,
                            Bytes(payload.data(), payload.data() + payload.length)));
        return writer.writes.size() == 1 && writer.writes[0] == ackFrame();
    }
    Bytes ackFrame() const
    {
        // 0xB001: the CRC of the two zero length bytes.
        return {0x51, 0x56, 0x4E, 0x52, config.level, 0x04, 0xB0, 0x01, 0x00, 0x00};
    }

private:
    std::unique_ptr<SerialReader> reader_;
};

}  // namespace

TEST(SerialReader, ReplyOfEveryLayoutByteForByte)
{
    struct Case {
        uint8_t model;
        Bytes (*record)(uint8_t);
    };
    const Case cases[] = {
        {1, wiredRecord},   {2, wiredRecord},   {52, wiredRecord},   {3, wifiRecord},
        {6, compactRecord}, {5, domainRecord},  {7, dualRecord},
        // Codes without a layout answer in the wired layout with their code.
        {0, wiredRecord},   {4, wiredRecord},   {200, wiredRecord},
    };
    for (const Case& c : cases) {
        SerialFixture f;
        f.config.model = c.model;
        f.config.level = 2;
        f.config.values = distinctValues();
        f.deliver(kReadRequest);
        ASSERT_EQ(f.writer.writes.size(), 1u) << int(c.model);
        const Bytes& frame = f.writer.writes[0];
        const Bytes expected = c.record(c.model);
        ASSERT_EQ(frame.size(), expected.size() + 10) << int(c.model);
        EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 6),
                  Bytes({0x51, 0x56, 0x4E, 0x52, 0x02, 0x02}))
            << int(c.model);
        EXPECT_EQ(frame[8], 0x00) << int(c.model);
        EXPECT_EQ(frame[9], uint8_t(expected.size())) << int(c.model);
        EXPECT_EQ(Bytes(frame.begin() + 10, frame.end()), expected) << int(c.model);
        const uint16_t crc = crc16Modbus(frame.data() + 8, frame.size() - 8);
        EXPECT_EQ(frame[6], uint8_t(crc >> 8)) << int(c.model);
        EXPECT_EQ(frame[7], uint8_t(crc)) << int(c.model);

        // The tool takes it: its level, its model, its page or none.
        ToolSide tool;
        tool.receive(f.writer.writes);
        EXPECT_EQ(tool.replies, 1) << int(c.model);
        EXPECT_EQ(tool.level, 2) << int(c.model);
        EXPECT_EQ(tool.store.modelCode(), c.model) << int(c.model);
        EXPECT_EQ(paramModelInfo(c.model) != nullptr,
                  c.model != 0 && c.model != 4 && c.model != 200)
            << int(c.model);
    }
}

TEST(SerialReader, DefaultsReadLikeADeliveredReader)
{
    SerialFixture f;
    const ParamRecordStore s = f.readStore();
    EXPECT_EQ(s.version().view(), "V2.14-230612");
    EXPECT_EQ(s.modelCode(), modelWired);
    EXPECT_EQ(f.writer.writes[0][4], 3);  // level
    const WiredParams p = decodeWired(s);
    EXPECT_EQ(p.connect.mode, connectWait);
    EXPECT_EQ(p.connect.name.view(), "admin");
    EXPECT_EQ(p.connect.password.view(), "314159");
    EXPECT_EQ(p.connect.platformIp, ipv4(192, 168, 1, 100));
    EXPECT_EQ(p.connect.platformPort, 8800);
    EXPECT_EQ(p.connect.deviceId, 1);
    EXPECT_EQ(p.net.dhcp, 0);
    EXPECT_EQ(p.net.ip, ipv4(192, 168, 1, 200));
    EXPECT_EQ(p.net.mask, ipv4(255, 255, 255, 0));
    EXPECT_EQ(p.net.gateway, ipv4(192, 168, 1, 1));
    EXPECT_EQ(p.rs485Baud, 4);
    EXPECT_EQ(p.antenna0Baud, 4);
    EXPECT_EQ(p.antenna1Baud, 4);
    char mac[paramMacTextSize];
    formatMac(p.mac, mac);
    EXPECT_STREQ(mac, "02-51-56-00-00-01");
}

TEST(SerialReader, LevelByteOfEveryAnswer)
{
    for (uint8_t level : {0, 1, 3, 255}) {
        SerialFixture f;
        f.config.level = level;
        f.deliver(kReadRequest);
        f.deliver(configFrame(configCmdWriteRequest, Bytes(wiredWriteSize, 0)));
        ASSERT_EQ(f.writer.writes.size(), 2u);
        EXPECT_EQ(f.writer.writes[0][4], level);
        EXPECT_EQ(f.writer.writes[1], f.ackFrame());
        ToolSide tool;
        tool.receive(f.writer.writes);
        EXPECT_EQ(tool.level, level);
        EXPECT_EQ(paramLevelSupported(tool.level), level != 0);
    }
}

TEST(SerialReader, WiredWritesKeepWhatTheModelLeavesOut)
{
    // What a re-read shows of each group: the page's value, or the
    // reader's own value from before the write.
    struct Case {
        const char* name;
        uint8_t model;
        uint8_t mode;
        uint8_t dhcp;
        bool platform, id, addresses, rs485Ant0Merge, ant1;
    };
    const Case cases[] = {
        {"1 active, DHCP off", 1, connectActive, 0, true, false, true, true, true},
        {"1 wait, DHCP on", 1, connectWait, 1, false, true, false, true, true},
        {"2 wait, DHCP off", 2, connectWait, 0, false, true, true, false, true},
        {"2 active, DHCP on", 2, connectActive, 1, true, false, false, false, true},
        {"52 active", 52, connectActive, 0, true, false, true, false, false},
        // The model-52 write always carries DHCP 0 and the three addresses.
        {"52, page with DHCP on", 52, connectWait, 1, true, false, true, false, false},
    };
    for (const Case& c : cases) {
        SerialFixture f;
        f.config.model = c.model;
        const SerialRecordValues before = f.config.values;
        WiredParams page;
        page.connect.mode = c.mode;
        page.connect.name.assign("page-name");
        page.connect.password.assign("page-pw");
        page.connect.platformIp = ipv4(10, 9, 8, 7);
        page.connect.platformPort = 7000;
        page.connect.deviceId = 4242;
        page.net = {c.dhcp, ipv4(10, 0, 1, 2), ipv4(255, 0, 0, 0), ipv4(10, 0, 1, 1)};
        page.rs485Baud = 0;
        page.antenna0Baud = 1;
        page.antenna1Baud = 2;
        page.antennaMerge = 1;
        ASSERT_TRUE(f.write(encodeWiredWrite(c.model, page))) << c.name;
        EXPECT_EQ(f.reader().writesApplied(), 1) << c.name;

        const WiredParams got = decodeWired(f.readStore());
        const bool active = c.model == modelWiredActive || c.mode != connectWait;
        EXPECT_EQ(got.connect.mode, active ? connectActive : connectWait) << c.name;
        EXPECT_EQ(got.connect.name.view(), active ? "page-name" : "admin") << c.name;
        EXPECT_EQ(got.connect.password.view(), active ? "page-pw" : "314159") << c.name;
        const ConnectSettings& old = before.connect;
        EXPECT_EQ(got.connect.platformIp, c.platform ? page.connect.platformIp : old.platformIp)
            << c.name;
        EXPECT_EQ(got.connect.platformPort,
                  c.platform ? page.connect.platformPort : old.platformPort)
            << c.name;
        EXPECT_EQ(got.connect.deviceId, c.id ? page.connect.deviceId : old.deviceId) << c.name;
        EXPECT_EQ(got.net.dhcp, c.model == modelWiredActive ? 0 : c.dhcp) << c.name;
        EXPECT_EQ(got.net.ip, c.addresses ? page.net.ip : before.net.ip) << c.name;
        EXPECT_EQ(got.net.mask, c.addresses ? page.net.mask : before.net.mask) << c.name;
        EXPECT_EQ(got.net.gateway, c.addresses ? page.net.gateway : before.net.gateway)
            << c.name;
        EXPECT_EQ(got.rs485Baud, c.rs485Ant0Merge ? page.rs485Baud : before.rs485Baud) << c.name;
        EXPECT_EQ(got.antenna0Baud, c.rs485Ant0Merge ? page.antenna0Baud : before.antenna0Baud)
            << c.name;
        EXPECT_EQ(got.antennaMerge, c.rs485Ant0Merge ? page.antennaMerge : before.antennaMerge)
            << c.name;
        EXPECT_EQ(got.antenna1Baud, c.ant1 ? page.antenna1Baud : before.antenna1Baud) << c.name;
        EXPECT_EQ(got.mac, before.mac) << c.name;  // never written
    }
}

TEST(SerialReader, CompactWriteCarriesTheIdInThePlatformPlace)
{
    for (uint8_t mode : {connectWait, connectActive}) {
        SerialFixture f;
        f.config.model = modelCompactWired;
        const SerialRecordValues before = f.config.values;
        CompactWiredParams page;
        page.connect.mode = mode;
        page.connect.name.assign("gate");
        page.connect.password.assign("secret");
        page.connect.platformIp = ipv4(172, 20, 1, 1);
        page.connect.platformPort = 6000;
        page.connect.deviceId = -77;
        page.net = {0, ipv4(172, 20, 1, 50), ipv4(255, 255, 0, 0), ipv4(172, 20, 0, 1)};
        page.reserved = 0x33;
        ASSERT_TRUE(f.write(encodeCompactWiredWrite(page))) << int(mode);
        const CompactWiredParams got = decodeCompactWired(f.readStore());
        const bool wait = mode == connectWait;
        EXPECT_EQ(got.connect.mode, mode);
        EXPECT_EQ(got.connect.name.view(), wait ? "admin" : "gate");
        EXPECT_EQ(got.connect.deviceId, wait ? -77 : before.connect.deviceId);
        EXPECT_EQ(got.connect.platformIp, wait ? before.connect.platformIp : ipv4(172, 20, 1, 1));
        EXPECT_EQ(got.connect.platformPort, wait ? before.connect.platformPort : 6000);
        EXPECT_EQ(got.net.ip, ipv4(172, 20, 1, 50));
        EXPECT_EQ(got.net.gateway, ipv4(172, 20, 0, 1));
        EXPECT_EQ(got.reserved, 0x33);
    }
}

TEST(SerialReader, WriteDecodersReadHandBuiltPayloads)
{
    // Compact, wait mode: the device ID big-endian at 65, port 0.
    const Bytes compact = Placed(85)
                              .at(0, {0})
                              .text(1, "admin")
                              .text(33, "314159")
                              .at(65, {0x00, 0x01, 0x02, 0x03, 0x00, 0x00})
                              .at(71, {0, 192, 168, 5, 5, 255, 255, 255, 0, 192, 168, 5, 1})
                              .at(84, {0x44})
                              .bytes();
    const CompactWiredParams c = decodeCompactWiredWrite(compact.data(), compact.size());
    EXPECT_EQ(c.connect.deviceId, 0x00010203);
    EXPECT_EQ(c.connect.platformIp, 0u);
    EXPECT_EQ(c.net.ip, ipv4(192, 168, 5, 5));
    EXPECT_EQ(c.reserved, 0x44);

    // Dual-network, WIFI chosen, wait mode: the ID at 156.
    const Bytes dual = Placed(164)
                           .at(0, {1})
                           .text(1, "ap-1")
                           .text(33, "pass-1")
                           .at(78, {0, 10, 1, 1, 9, 255, 255, 255, 0, 10, 1, 1, 1})
                           .at(91, {0})
                           .text(92, "admin")
                           .text(124, "314159")
                           .at(156, {0xFF, 0xFF, 0xFF, 0x85, 0x00, 0x00, 3, 0x66})
                           .bytes();
    const DualNetworkParams d = decodeDualNetworkWrite(dual.data(), dual.size());
    EXPECT_EQ(d.network, networkWifi);
    EXPECT_EQ(d.ssid.view(), "ap-1");
    EXPECT_EQ(d.wifiPassword.view(), "pass-1");
    EXPECT_EQ(d.wifi.ip, ipv4(10, 1, 1, 9));
    EXPECT_EQ(d.connect.deviceId, -123);
    EXPECT_EQ(d.connect.platformIp, 0u);
    EXPECT_EQ(d.antennaBaud, 3);
    EXPECT_EQ(d.reserved, 0x66);

    // A payload cut short reads as zeros where its bytes end.
    const WiredParams w = decodeWiredWrite(compact.data(), 70);
    EXPECT_EQ(w.connect.name.view(), "admin");
    EXPECT_EQ(w.net.ip, 0u);
    EXPECT_EQ(w.connect.deviceId, 0);
}

TEST(SerialReader, WifiWriteAppliedAndReadBack)
{
    for (uint8_t mode : {connectWait, connectActive}) {
        SerialFixture f;
        f.config.model = modelWifi;
        const SerialRecordValues before = f.config.values;
        WifiParams page;
        page.connect.mode = mode;
        page.connect.name.assign("wifi-node");
        page.connect.password.assign("pw");
        page.connect.platformIp = ipv4(8, 8, 4, 4);
        page.connect.platformPort = 4100;
        page.connect.deviceId = 90000;
        page.net = {0, ipv4(192, 168, 9, 9), ipv4(255, 255, 255, 0), ipv4(192, 168, 9, 1)};
        page.antennaBaud = 0;
        page.ssid.assign("shop-floor");
        page.wifiPassword.assign("k3y");
        ASSERT_TRUE(f.write(encodeWifiWrite(page))) << int(mode);
        const WifiParams got = decodeWifi(f.readStore());
        const bool wait = mode == connectWait;
        EXPECT_EQ(got.connect.deviceId, wait ? 90000 : before.connect.deviceId);
        EXPECT_EQ(got.connect.platformIp, wait ? before.connect.platformIp : ipv4(8, 8, 4, 4));
        EXPECT_EQ(got.net.ip, ipv4(192, 168, 9, 9));
        EXPECT_EQ(got.antennaBaud, 0);
        EXPECT_EQ(got.ssid.view(), "shop-floor");
        EXPECT_EQ(got.wifiPassword.view(), "k3y");
        EXPECT_EQ(got.mac, before.mac);
    }
}

TEST(SerialReader, DomainWriteStoresTheChosenTarget)
{
    for (uint8_t enabled : {0, 1}) {
        SerialFixture f;
        f.config.model = modelDomain;
        const SerialRecordValues before = f.config.values;
        DomainParams page;
        page.name.assign("dn");
        page.password.assign("dp");
        page.domainEnabled = enabled;
        page.domain.assign("tags.example.org");
        page.platformIp = ipv4(1, 2, 3, 4);
        page.platformPort = 5555;
        page.antennaBaud = 1;
        page.reserved = 9;
        ASSERT_TRUE(f.write(encodeDomainWrite(page))) << int(enabled);
        const DomainParams got = decodeDomain(f.readStore());
        EXPECT_EQ(got.name.view(), "dn");
        EXPECT_EQ(got.domainEnabled, enabled);
        EXPECT_EQ(got.domain.view(), enabled ? "tags.example.org" : before.domain.view());
        EXPECT_EQ(got.platformIp, enabled ? before.connect.platformIp : ipv4(1, 2, 3, 4));
        EXPECT_EQ(got.platformPort, 5555);
        EXPECT_EQ(got.antennaBaud, 1);
        EXPECT_EQ(got.reserved, 9);
    }
}

TEST(SerialReader, DualNetworkWriteStoresOnlyTheChosenNetwork)
{
    for (uint8_t network : {networkWired, networkWifi}) {
        SerialFixture f;
        f.config.model = modelDualNetwork;
        const SerialRecordValues before = f.config.values;
        DualNetworkParams page;
        page.network = network;
        page.ssid.assign("dual-ap");
        page.wifiPassword.assign("dual-pw");
        page.wired = {0, ipv4(10, 5, 0, 2), ipv4(255, 255, 255, 0), ipv4(10, 5, 0, 1)};
        page.wifi = {0, ipv4(10, 6, 0, 2), ipv4(255, 255, 255, 0), ipv4(10, 6, 0, 1)};
        page.connect.mode = connectWait;
        page.connect.deviceId = 31337;
        page.antennaBaud = 2;
        page.reserved = 0x77;
        ASSERT_TRUE(f.write(encodeDualNetworkWrite(page))) << int(network);
        const DualNetworkParams got = decodeDualNetwork(f.readStore());
        const bool wifi = network == networkWifi;
        EXPECT_EQ(got.network, network);
        EXPECT_EQ(got.ssid.view(), wifi ? "dual-ap" : before.ssid.view());
        EXPECT_EQ(got.wifi.ip, wifi ? ipv4(10, 6, 0, 2) : before.wifiNet.ip);
        EXPECT_EQ(got.wired.ip, wifi ? before.net.ip : ipv4(10, 5, 0, 2));
        EXPECT_EQ(got.connect.deviceId, 31337);
        EXPECT_EQ(got.connect.platformIp, before.connect.platformIp);
        EXPECT_EQ(got.wiredMac, before.mac);
        EXPECT_EQ(got.wifiMac, before.wifiMac);
        EXPECT_EQ(got.antennaBaud, 2);
        EXPECT_EQ(got.reserved, 0x77);
    }
}

TEST(SerialReader, EveryWriteIsAcknowledged)
{
    struct Case {
        const char* name;
        uint8_t model;
        size_t length;
        const char* status;  // nullptr: none
    };
    const Case cases[] = {
        {"one byte short", 1, 92, "# write-partial model=1 len=92 need=93"},
        {"empty", 6, 0, "# write-partial model=6 len=0 need=85"},
        {"no layout", 4, 93, "# write-unapplied model=4 reason=no-layout len=93"},
        {"whole", 1, 93, nullptr},
        {"one byte more", 1, 94, nullptr},
    };
    for (const Case& c : cases) {
        SerialFixture f;
        f.config.model = c.model;
        WritePayload w;
        w.length = c.length;
        EXPECT_TRUE(f.write(w)) << c.name;
        if (c.status) {
            EXPECT_TRUE(f.log.contains(c.status)) << c.name;
        }
    }
}

TEST(SerialReader, ShortWriteOfAnotherModelsPageStoresTheFieldsItCarriesWhole)
{
    // A model-1 reader written by the model-6 page (85 bytes, 93 expected):
    // the wired layout's fields up to offset 84 are read from the write, the
    // antenna codes at 85 and 86, the merge flag at 88 and the device ID at
    // 89 keep their values.
    SerialFixture f;
    f.config.model = modelWired;
    f.config.values.antenna0Baud = 1;
    f.config.values.antenna1Baud = 2;
    f.config.values.antennaMerge = 1;
    f.config.values.connect.deviceId = 4242;
    CompactWiredParams page;
    page.connect.mode = connectWait;
    page.connect.deviceId = 77;
    page.net = {0, ipv4(10, 9, 8, 7), ipv4(255, 255, 0, 0), ipv4(10, 9, 0, 1)};
    page.reserved = 3;
    ASSERT_TRUE(f.write(encodeCompactWiredWrite(page)));
    EXPECT_TRUE(f.log.contains("# write-partial model=1 len=85 need=93"));
    EXPECT_EQ(f.reader().writesApplied(), 1);

    const WiredParams got = decodeWired(f.readStore());
    EXPECT_EQ(got.connect.mode, connectWait);
    EXPECT_EQ(got.connect.name.view(), "admin");
    EXPECT_EQ(got.net.ip, ipv4(10, 9, 8, 7));
    EXPECT_EQ(got.net.gateway, ipv4(10, 9, 0, 1));
    EXPECT_EQ(got.rs485Baud, 3);  // byte 84 as it stands: the page's reserved byte
    EXPECT_EQ(got.antenna0Baud, 1);
    EXPECT_EQ(got.antenna1Baud, 2);
    EXPECT_EQ(got.antennaMerge, 1);
    EXPECT_EQ(got.connect.deviceId, 4242);

    // A field cut by the end of the write keeps its value whole: the gateway
    // at 80 to 83 of a write of 82 bytes.
    SerialFixture cut;
    cut.config.model = modelWired;
    const uint32_t gateway = cut.config.values.net.gateway;
    WiredParams wired;
    wired.net = {0, ipv4(10, 1, 1, 1), ipv4(255, 0, 0, 0), ipv4(10, 0, 0, 1)};
    WritePayload w = encodeWiredWrite(modelWired, wired);
    w.length = 82;
    ASSERT_TRUE(cut.write(w));
    const WiredParams after = decodeWired(cut.readStore());
    EXPECT_EQ(after.net.mask, ipv4(255, 0, 0, 0));
    EXPECT_EQ(after.net.gateway, gateway);
}

TEST(SerialReader, SilenceChosenPerAnswer)
{
    struct Case {
        unsigned silent;
        bool reply, ack;
    };
    const Case cases[] = {
        {serialKindReply, false, true},
        {serialKindAck, true, false},
        {serialKindAll, false, false},
        {0, true, true},
    };
    for (const Case& c : cases) {
        SerialFixture f;
        f.config.faults.silent = c.silent;
        f.deliver(kReadRequest);
        EXPECT_EQ(f.writer.writes.size(), c.reply ? 1u : 0u) << c.silent;
        EXPECT_EQ(f.log.contains("# answer-withheld code=0x02"), !c.reply) << c.silent;
        f.writer.writes.clear();
        WiredParams page;
        page.connect.deviceId = 55;
        const WritePayload w = encodeWiredWrite(modelWired, page);
        f.deliver(configFrame(configCmdWriteRequest, Bytes(w.data(), w.data() + w.length)));
        EXPECT_EQ(f.writer.writes.size(), c.ack ? 1u : 0u) << c.silent;
        // Silent or not, the write is stored.
        EXPECT_EQ(f.reader().values().connect.deviceId, 55) << c.silent;
        f.ticks(10);
        EXPECT_EQ(f.writer.writes.size(), c.ack ? 1u : 0u) << c.silent;
    }
}

TEST(SerialReader, BadCrcSpoilsOnlyTheLowCrcByte)
{
    SerialFixture good;
    good.deliver(kReadRequest);
    SerialFixture bad;
    bad.config.faults.badCrc = serialKindReply;
    bad.deliver(kReadRequest);
    bad.deliver(configFrame(configCmdWriteRequest, Bytes(wiredWriteSize, 0)));
    ASSERT_EQ(bad.writer.writes.size(), 2u);
    Bytes expected = good.writer.writes[0];
    expected[7] ^= 0xFF;
    EXPECT_EQ(bad.writer.writes[0], expected);
    EXPECT_EQ(bad.writer.writes[1], bad.ackFrame());  // not chosen: sound
    EXPECT_EQ(configFrameCheck(expected.data(), expected.size(), nullptr), ConfigCheck::badCrc);
    ToolSide tool;
    tool.receive(bad.writer.writes);
    EXPECT_EQ(tool.replies, 0);  // counts as no reply
    EXPECT_EQ(tool.acks, 1);
}

TEST(SerialReader, LateAnswerGoesAtTheNthTick)
{
    for (int late : {1, 2, 4}) {
        SerialFixture f;
        f.config.faults.late = serialKindReply;
        f.config.faults.lateTicks = late;
        f.deliver(kReadRequest);
        EXPECT_TRUE(f.log.contains("# answer-held code=0x02 ticks=" + std::to_string(late)));
        for (int t = 1; t < late; ++t) {
            f.ticks(1);
            EXPECT_TRUE(f.writer.writes.empty()) << late << " tick " << t;
        }
        EXPECT_EQ(f.reader().pendingAnswers(), 1u);
        f.ticks(1);
        ASSERT_EQ(f.writer.writes.size(), 1u) << late;
        EXPECT_EQ(f.writer.writes[0][5], configCmdParamReply);
        EXPECT_EQ(f.reader().pendingAnswers(), 0u);
        // The acknowledgement is not chosen: at once.
        f.deliver(configFrame(configCmdWriteRequest, Bytes(wiredWriteSize, 0)));
        EXPECT_EQ(f.writer.writes.size(), 2u) << late;
    }
}

TEST(SerialReader, RandomLateAnswersMixWithPunctualOnesBySeed)
{
    struct Case {
        int pct;
        int minLate, maxLate;  // of 60 replies
    };
    const Case cases[] = {{0, 0, 0}, {30, 8, 32}, {100, 60, 60}};
    for (const Case& c : cases) {
        auto run = [&](uint32_t seed) {
            SerialFixture f;
            f.config.faults.latePct = c.pct;
            f.config.faults.lateTicks = 2;
            f.config.faults.seed = seed;
            std::string pattern;
            for (int i = 0; i < 60; ++i) {
                f.writer.writes.clear();
                f.deliver(kReadRequest);
                const bool late = f.writer.writes.empty();
                pattern += late ? 'L' : '.';
                // A late one is held exactly --late-ticks ticks, like --late.
                f.ticks(1);
                EXPECT_EQ(f.writer.writes.size(), late ? 0u : 1u) << c.pct << " #" << i;
                f.ticks(1);
                EXPECT_EQ(f.writer.writes.size(), 1u) << c.pct << " #" << i;
            }
            const int late = int(std::count(pattern.begin(), pattern.end(), 'L'));
            EXPECT_EQ(f.reader().lateAnswersChosen(), late) << c.pct;
            EXPECT_GE(late, c.minLate) << c.pct;
            EXPECT_LE(late, c.maxLate) << c.pct;
            return pattern;
        };
        const std::string a = run(4);
        EXPECT_EQ(run(4), a) << c.pct;
        if (c.pct == 30) {
            EXPECT_NE(run(5), a);
        }
    }
    // Kinds chosen by --late stay late every time and are not drawn.
    SerialFixture f;
    f.config.faults.late = serialKindReply;
    f.config.faults.latePct = 100;
    f.config.faults.lateTicks = 1;
    f.deliver(kReadRequest);
    EXPECT_TRUE(f.writer.writes.empty());
    EXPECT_EQ(f.reader().lateAnswersChosen(), 0);
    f.deliver(configFrame(configCmdWriteRequest, Bytes(wiredWriteSize, 0)));
    EXPECT_EQ(f.reader().lateAnswersChosen(), 1);  // the ack, drawn
}

TEST(SerialRun, TheReadWaitsForTheTickTheEndOrTheWiresNextPiece)
{
    struct Case {
        const char* what;
        int64_t toTick, toEnd;
        bool holds;
        int64_t toWire;
        int wait;
    };
    const Case cases[] = {
        {"tick near", 10, -1, false, -1, 11},
        {"tick far", 900, -1, false, -1, 50},
        {"end first", 900, 4, false, -1, 5},
        {"cutter holds bytes", 900, -1, true, -1, 1},
        {"wire piece first", 900, -1, false, 7, 7},
        {"wire piece later than tick", 10, -1, false, 30, 11},
        {"wire piece due, cutter holds", 900, -1, true, 0, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(serialReadWaitMs(c.toTick, c.toEnd, c.holds, c.toWire), c.wait) << c.what;
}

TEST(SerialReader, NoiseBeforeTheAnswerInTheSameWrite)
{
    for (int stray : {1, 3, 12}) {
        SerialFixture clean;
        clean.deliver(kReadRequest);
        SerialFixture f;
        f.config.faults.stray = serialKindAll;
        f.config.faults.strayBytes = stray;
        f.deliver(kReadRequest);
        ASSERT_EQ(f.writer.writes.size(), 1u);
        const Bytes& w = f.writer.writes[0];
        ASSERT_EQ(w.size(), size_t(stray) + clean.writer.writes[0].size());
        EXPECT_EQ(Bytes(w.begin() + stray, w.end()), clean.writer.writes[0]) << stray;
        EXPECT_NE(w[0], 0x51) << stray;
        // The tool's cutter finds no magic at the start and drops it all.
        ToolSide tool;
        tool.receive(f.writer.writes);
        EXPECT_EQ(tool.replies, 0) << stray;
    }
}

TEST(SerialReader, AnswerInPiecesWithAGap)
{
    struct Case {
        int parts, gap;
        size_t writes;  // pieces (at most one per byte of the frame)
    };
    const Case cases[] = {{2, 0, 2}, {3, 0, 3}, {3, 2, 3}, {16, 1, 16}, {1, 5, 1}};
    for (const Case& c : cases) {
        SerialFixture clean;
        clean.deliver(kReadRequest);
        const Bytes whole = clean.writer.writes[0];
        SerialFixture f;
        f.config.faults.split = serialKindReply;
        f.config.faults.splitParts = c.parts;
        f.config.faults.splitGapTicks = c.gap;
        f.deliver(kReadRequest);
        const size_t atOnce = c.gap == 0 ? c.writes : 1;
        EXPECT_EQ(f.writer.writes.size(), atOnce) << c.parts << "/" << c.gap;
        for (size_t piece = 1; piece < c.writes && c.gap > 0; ++piece) {
            f.ticks(c.gap - 1);
            EXPECT_EQ(f.writer.writes.size(), piece) << c.parts << "/" << c.gap;
            f.ticks(1);
            EXPECT_EQ(f.writer.writes.size(), piece + 1) << c.parts << "/" << c.gap;
        }
        ASSERT_EQ(f.writer.writes.size(), c.writes);
        for (const Bytes& w : f.writer.writes)
            EXPECT_FALSE(w.empty());
        EXPECT_EQ(f.writer.all(), whole);
        // Pieces that follow each other without a pause come together again.
        ToolSide tool;
        tool.receive(f.writer.writes);
        EXPECT_EQ(tool.replies, 1) << c.parts << "/" << c.gap;
    }
    // Never more pieces than the frame has bytes: the 10-byte acknowledgement.
    SerialFixture f;
    f.config.faults.split = serialKindAck;
    f.config.faults.splitParts = serialSplitPartsMax;
    f.deliver(configFrame(configCmdWriteRequest, Bytes(wiredWriteSize, 0)));
    EXPECT_EQ(f.writer.writes.size(), 10u);
    EXPECT_EQ(f.writer.all(), f.ackFrame());
}

TEST(SerialReader, AnswersNeverOvertakeEachOther)
{
    SerialFixture f;
    f.config.faults.split = serialKindReply;
    f.config.faults.splitParts = 2;
    f.config.faults.splitGapTicks = 3;
    f.deliver(kReadRequest);
    f.deliver(configFrame(configCmdWriteRequest, Bytes(wiredWriteSize, 0)));
    EXPECT_EQ(f.writer.writes.size(), 1u);  // the ack waits for the reply's second piece
    f.ticks(3);
    ASSERT_EQ(f.writer.writes.size(), 3u);
    EXPECT_EQ(f.writer.writes[2], f.ackFrame());
    ToolSide tool;
    tool.receive(f.writer.writes);
    EXPECT_EQ(tool.replies, 1);
    EXPECT_EQ(tool.acks, 1);
}

TEST(SerialReader, QueueOfHeldAnswersIsBounded)
{
    SerialFixture f;
    f.config.faults.late = serialKindReply;
    f.config.faults.lateTicks = 2;
    for (size_t i = 0; i < SerialReader::queueSize + 1; ++i)
        f.deliver(kReadRequest);
    EXPECT_EQ(f.reader().pendingAnswers(), SerialReader::queueSize);
    EXPECT_EQ(f.log.count("# answer-dropped code=0x02 reason=queue-full"), 1u);
    f.ticks(2);
    EXPECT_EQ(f.writer.writes.size(), SerialReader::queueSize);
    EXPECT_EQ(f.reader().readRequests(), int(SerialReader::queueSize) + 1);
}

TEST(SerialReader, RequestInPiecesIsAnsweredOnceWhole)
{
    for (size_t cut = 1; cut < kReadRequest.size(); ++cut) {
        SerialFixture f;
        f.deliver(Bytes(kReadRequest.begin(), kReadRequest.begin() + cut));
        EXPECT_TRUE(f.writer.writes.empty()) << cut;
        EXPECT_TRUE(f.reader().holdsBytes()) << cut;
        f.deliver(Bytes(kReadRequest.begin() + cut, kReadRequest.end()));
        EXPECT_EQ(f.writer.writes.size(), 1u) << cut;
        EXPECT_FALSE(f.reader().holdsBytes()) << cut;
    }
    // Two requests in one read: two replies.
    SerialFixture f;
    f.deliver(joined(kReadRequest, kReadRequest));
    EXPECT_EQ(f.writer.writes.size(), 2u);
    EXPECT_EQ(f.reader().readRequests(), 2);
}

TEST(SerialReader, StalledRequestIsDroppedAfterFiftyQuietPolls)
{
    SerialFixture f;
    const Bytes write = configFrame(configCmdWriteRequest, Bytes(wiredWriteSize, 0));
    f.deliver(Bytes(write.begin(), write.begin() + 40));
    for (int i = 0; i < serialIdlePolls - 1; ++i)
        f.reader().idlePoll();
    EXPECT_TRUE(f.reader().holdsBytes());
    f.reader().idlePoll();
    EXPECT_FALSE(f.reader().holdsBytes());
    EXPECT_TRUE(f.log.contains("# discard reason=stalled bytes=40"));
    // The rest arriving now is noise, dropped too; a fresh request is answered.
    f.deliver(Bytes(write.begin() + 40, write.end()));
    EXPECT_TRUE(f.log.contains("# discard reason=magic bytes=63"));
    EXPECT_TRUE(f.writer.writes.empty());
    f.deliver(kReadRequest);
    EXPECT_EQ(f.writer.writes.size(), 1u);
}

TEST(SerialReader, NoiseOrBadCrcBeforeARequestIsNotAnswered)
{
    SerialFixture f;
    f.deliver(joined({0x00, 0xFF, 0x7E}, kReadRequest));
    EXPECT_TRUE(f.log.contains("# discard reason=magic bytes=13"));
    Bytes spoilt = kReadRequest;
    spoilt[6] ^= 0x01;
    f.deliver(spoilt);
    EXPECT_TRUE(f.log.contains("rx bad=crc size=10 bytes=51564E520001B1010000"));
    EXPECT_TRUE(f.writer.writes.empty());
    EXPECT_EQ(f.reader().readRequests(), 0);
    // A header announcing more than the cutter holds is dropped at once.
    f.deliver({0x51, 0x56, 0x4E, 0x52, 0x00, 0x03, 0x00, 0x00, 0x04, 0x00});
    EXPECT_TRUE(f.log.contains("# discard reason=oversize bytes=10"));
}

TEST(SerialReader, FrameLines)
{
    struct Case {
        const char* name;
        uint8_t model;
        Bytes frame;
        bool received;
        const char* line;
    };
    const Bytes wiredWait = Placed(93)
                                .text(1, "admin")
                                .text(33, "314159")
                                .at(71, {0, 192, 168, 1, 201, 255, 255, 255, 0, 192, 168, 1, 1})
                                .at(84, {4, 3, 2, 0, 1, 0x00, 0x00, 0x30, 0x39})
                                .bytes();
    const Bytes compactWait = Placed(85)
                                  .text(1, "admin")
                                  .text(33, "314159")
                                  .at(65, {0x00, 0x00, 0x00, 0x07})
                                  .at(71, {1})
                                  .at(84, {0x10})
                                  .bytes();
    const Bytes oddName = Placed(93).at(0, {1}).text(1, "a b\\\xB0").bytes();
    std::string wiredHex;
    for (uint8_t b : wiredWait) {
        static const char kHex[] = "0123456789ABCDEF";
        wiredHex += kHex[b >> 4];
        wiredHex += kHex[b & 0xF];
    }
    const std::string wiredLine =
        "rx code=0x03 name=configCmdWriteRequest level=0 len=93 payload=" + wiredHex +
        " model=1 mode=0 user=admin password=314159 platform=0.0.0.0:0 id=12345 dhcp=0 "
        "ip=192.168.1.201 mask=255.255.255.0 gateway=192.168.1.1 rs485=4 ant0=3 ant1=2 merge=1";
    const Case cases[] = {
        {"read request", 1, kReadRequest, true,
         "rx code=0x01 name=configCmdReadRequest level=0 len=0 payload="},
        {"read request with a byte", 1, configFrame(configCmdReadRequest, {0xAB}), true,
         "rx code=0x01 name=configCmdReadRequest level=0 len=1 payload=AB malformed=trailing"},
        {"wired write, wait mode", 1, configFrame(configCmdWriteRequest, wiredWait), true,
         wiredLine.c_str()},
        {"compact write, wait mode", 6, configFrame(configCmdWriteRequest, compactWait), true,
         nullptr},
        {"no layout", 4, configFrame(configCmdWriteRequest, {1, 2}), true,
         "rx code=0x03 name=configCmdWriteRequest level=0 len=2 payload=0102 model=4 "
         "layout=none"},
        {"ack sent", 1, configFrame(configCmdWriteAck, {}, 3), false,
         "tx code=0x04 name=configCmdWriteAck level=3 len=0 payload="},
        {"unknown command", 1, configFrame(0x42, {0x01}), true,
         "rx code=0x42 name=unknown level=0 len=1 payload=01"},
        {"signal filter read", 1, configFrame(configCmdRssiRead, {}), true,
         "rx code=0x07 name=configCmdRssiRead level=0 len=0 payload="},
        {"signal filter write", 1, configFrame(configCmdRssiWrite, {0xCE}), true,
         "rx code=0x09 name=configCmdRssiWrite level=0 len=1 payload=CE threshold=-50"},
        {"signal filter write without its byte", 1, configFrame(configCmdRssiWrite, {}), true,
         "rx code=0x09 name=configCmdRssiWrite level=0 len=0 payload= malformed=short"},
        {"threshold sent", 1, configFrame(configCmdRssiReply, {0x81}, 3), false,
         "tx code=0x08 name=configCmdRssiReply level=3 len=1 payload=81 threshold=-127"},
    };
    for (const Case& c : cases) {
        char line[simLineMax];
        formatSerialFrame(line, sizeof line, c.received, c.model, c.frame.data(),
                          c.frame.size());
        if (c.line) {
            EXPECT_STREQ(line, c.line) << c.name;
        }
    }
    char line[simLineMax];
    const Bytes compact = configFrame(configCmdWriteRequest, compactWait);
    formatSerialFrame(line, sizeof line, true, 6, compact.data(), compact.size());
    const std::string compactLine(line);
    EXPECT_NE(compactLine.find(" model=6 mode=0 user=admin password=314159 platform=0.0.0.0:0 "
                               "id=7 dhcp=1 ip=0.0.0.0 mask=0.0.0.0 gateway=0.0.0.0 "
                               "reserved=16"),
              std::string::npos)
        << compactLine;
    EXPECT_EQ(compactLine.find("malformed"), std::string::npos);

    const Bytes odd = configFrame(configCmdWriteRequest, oddName);
    formatSerialFrame(line, sizeof line, true, 2, odd.data(), odd.size());
    EXPECT_NE(std::string(line).find(" user=a\\x20b\\x5C\\xB0 "), std::string::npos) << line;

    const Bytes shortWrite = configFrame(configCmdWriteRequest, Bytes(50, 0));
    formatSerialFrame(line, sizeof line, true, 3, shortWrite.data(), shortWrite.size());
    EXPECT_NE(std::string(line).find(" ssid= wifi-password= malformed=short"), std::string::npos)
        << line;
}

TEST(SerialReader, PrintsWhatItReceivesAndWithPrintSentWhatItSends)
{
    SerialFixture f;
    f.config.printSent = true;
    f.deliver(kReadRequest);
    const std::vector<std::string> lines = f.log.lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "rx code=0x01 name=configCmdReadRequest level=0 len=0 payload=");
    const std::string head = "tx code=0x02 name=configCmdParamReply level=3 len=116 payload=";
    EXPECT_EQ(lines[1].compare(0, head.size(), head), 0) << lines[1];
    EXPECT_NE(lines[1].find(" version=V2.14-230612 model=1"), std::string::npos) << lines[1];
    EXPECT_EQ(lines[1].find("malformed"), std::string::npos);

    // A spoilt answer prints as what it is.
    SerialFixture bad;
    bad.config.printSent = true;
    bad.config.faults.badCrc = serialKindAck;
    bad.deliver(configFrame(configCmdWriteRequest, Bytes(wiredWriteSize, 0)));
    EXPECT_TRUE(bad.log.contains("tx bad=crc size=10 bytes=51564E520304B0FE0000"));
}

TEST(SerialReader, ParsesKinds)
{
    struct Case {
        const char* text;
        bool ok;
        unsigned kinds;
    };
    const Case cases[] = {
        {"reply", true, serialKindReply}, {"ack", true, serialKindAck},
        {"all", true, serialKindAll},     {"ack,reply", true, serialKindReply | serialKindAck},
        {"rssi-reply,rssi-ack", true, serialKindRssiReply | serialKindRssiAck},
        {"", false, 0},                   {"reply,", false, 0},
        {"Reply", false, 0},              {"login", false, 0},
    };
    for (const Case& c : cases) {
        unsigned kinds = 0xDEAD;
        EXPECT_EQ(parseSerialKinds(c.text, &kinds), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(kinds, c.kinds) << c.text;
        }
    }
}

TEST(SerialReaderRssi, ThresholdReadWrittenAndReadAgain)
{
    for (uint8_t ackCommand : {configCmdRssiWriteAck, configCmdWriteAck}) {
        SerialFixture f;
        f.config.values.rssiThreshold = -60;
        f.config.rssiAckCommand = ackCommand;
        f.deliver(configFrame(configCmdRssiRead, {}));
        ASSERT_EQ(f.writer.writes.size(), 1u);
        EXPECT_EQ(f.writer.writes[0], configFrame(configCmdRssiReply, {0xC4}, 3));
        f.writer.writes.clear();
        // The tool's write of -50, byte for byte.
        f.deliver({'Q', 'V', 'N', 'R', 0x00, 0x09, 0xC4, 0xF1, 0x00, 0x01, 0xCE});
        ASSERT_EQ(f.writer.writes.size(), 1u);
        EXPECT_EQ(f.writer.writes[0], configFrame(ackCommand, {}, 3));
        EXPECT_EQ(f.reader().values().rssiThreshold, -50);
        f.writer.writes.clear();
        f.deliver(configFrame(configCmdRssiRead, {}));
        ASSERT_EQ(f.writer.writes.size(), 1u);
        EXPECT_EQ(f.writer.writes[0], configFrame(configCmdRssiReply, {0xCE}, 3));
    }
}

TEST(SerialReaderRssi, WriteWithoutItsByteIsNotAcknowledged)
{
    SerialFixture f;
    f.config.values.rssiThreshold = -60;
    f.deliver(configFrame(configCmdRssiWrite, {}));
    EXPECT_TRUE(f.writer.writes.empty());
    EXPECT_EQ(f.reader().values().rssiThreshold, -60);
    EXPECT_TRUE(f.log.contains("# write-ignored code=0x09 reason=short len=0 need=1"));
}

// The misbehaviours reach the RSSI answers by their own kinds, and only them.
TEST(SerialReaderRssi, FaultsChosenPerKind)
{
    struct Case {
        const char* name;
        void (*choose)(SerialFaults&);
        bool threshold, ack, record;  // answers that come sound and in time
    };
    const Case cases[] = {
        {"silent rssi-reply", [](SerialFaults& x) { x.silent = serialKindRssiReply; }, false, true,
         true},
        {"silent rssi-ack", [](SerialFaults& x) { x.silent = serialKindRssiAck; }, true, false,
         true},
        {"bad-crc rssi-reply", [](SerialFaults& x) { x.badCrc = serialKindRssiReply; }, false,
         true, true},
        {"late rssi-ack", [](SerialFaults& x) { x.late = serialKindRssiAck; }, true, false, true},
        {"silent all", [](SerialFaults& x) { x.silent = serialKindAll; }, false, false, false},
        {"silent reply,ack", [](SerialFaults& x) { x.silent = serialKindReply | serialKindAck; },
         true, true, false},
    };
    for (const Case& c : cases) {
        SerialFixture f;
        c.choose(f.config.faults);
        f.deliver(kReadRequest);
        f.deliver(configFrame(configCmdRssiRead, {}));
        f.deliver(configFrame(configCmdRssiWrite, {0xCE}));
        // The sound frames among the bytes written so far, cut as a tool cuts them.
        FrameCutter cutter;
        for (const Bytes& w : f.writer.writes)
            cutter.append(w.data(), w.size());
        struct Sink : FrameSink {
            int record = 0, threshold = 0, ack = 0;
            void onFrame(const uint8_t* frame, size_t total) override
            {
                ConfigFrame fr;
                if (configFrameCheck(frame, total, &fr) != ConfigCheck::ok)
                    return;
                record += fr.command == configCmdParamReply;
                threshold += fr.command == configCmdRssiReply;
                ack += fr.command == configCmdRssiWriteAck;
            }
        } sink;
        while (cutter.cut(sink) == CutResult::frame) {
        }
        EXPECT_EQ(sink.record != 0, c.record) << c.name;
        EXPECT_EQ(sink.threshold != 0, c.threshold) << c.name;
        EXPECT_EQ(sink.ack != 0, c.ack) << c.name;
        // Silent or not, the write is stored.
        EXPECT_EQ(f.reader().values().rssiThreshold, -50) << c.name;
    }
}

#ifndef _WIN32

namespace {

// The tool's end of a pseudo-terminal: the master, as a SerialDevice for
// the tool's SerialLink. The reader opens the slave by its path.
class MasterDevice : public SerialDevice {
public:
    MasterDevice()
    {
        fd_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (fd_ < 0)
            return;
        if (::grantpt(fd_) != 0 || ::unlockpt(fd_) != 0) {
            ::close(fd_);
            fd_ = -1;
            return;
        }
        const char* name = ::ptsname(fd_);
        slave_ = name ? name : "";
        ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
    }
    ~MasterDevice() override
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool ok() const { return fd_ >= 0 && !slave_.empty(); }
    const std::string& slave() const { return slave_; }

    uint32_t probeComPorts() override { return 0; }
    bool openComPort(int) override { return false; }
    void closeComPort() override {}
    bool isOpen() const override { return fd_ >= 0; }
    void writeComBytes(const uint8_t* bytes, size_t count) override
    {
        size_t done = 0;
        waitUntil([&] {
            const ssize_t n = ::write(fd_, bytes + done, count - done);
            if (n > 0)
                done += size_t(n);
            return done == count;
        });
    }
    long readComBytes(uint8_t* buffer, size_t capacity, int timeoutMs) override
    {
        pollfd p{fd_, POLLIN, 0};
        const int ready = ::poll(&p, 1, timeoutMs);
        if (ready <= 0)
            return 0;
        if (!(p.revents & POLLIN))
            return -1;  // no slave open (yet, or any more)
        const ssize_t n = ::read(fd_, buffer, capacity);
        return n > 0 ? long(n) : 0;
    }

private:
    int fd_ = -1;
    std::string slave_;
};

std::atomic<bool> gStopReader{false};

bool stopReader() { return gStopReader.load(); }

// The reader on the slave side of a pty pair, run on a thread of its own
// until stop(); the tool's side is the test's.
struct PtyReaderRun {
    SerialRunClock clock;
    LineLog log;
    SerialPort port;
    SerialRunEnd end = SerialRunEnd::cannotOpen;
    std::thread runner;

    // True once the reader's end is open and raw: bytes go only then.
    bool start(const SerialSimConfig& config, int tickMs)
    {
        clock.tickMs = tickMs;
        clock.stopRequested = stopReader;
        gStopReader = false;
        runner = std::thread([this, config] { end = runSerialReader(config, clock, port, log); });
        return waitUntil([&] { return log.startsWith("# readersim mode=serial "); });
    }
    void stop()
    {
        gStopReader = true;
        if (runner.joinable())
            runner.join();
    }
    ~PtyReaderRun() { stop(); }
};

}  // namespace

TEST(SerialReaderPty, TheToolsLinkReadsWritesAndReadsAgain)
{
    MasterDevice tool;
    ASSERT_TRUE(tool.ok());
    SerialSimConfig config;
    std::snprintf(config.device, sizeof config.device, "%s", tool.slave().c_str());
    PtyReaderRun reader;
    const bool opened = reader.start(config, 10);

    WaitingSink sink;
    SerialLink link(tool, sink);
    if (opened) {
        link.start();
        sendReadRequest(tool);
        WiredParams page;
        page.connect.mode = connectWait;
        page.connect.deviceId = 777;
        page.net = {0, ipv4(10, 7, 7, 7), ipv4(255, 255, 255, 0), ipv4(10, 7, 7, 1)};
        page.antenna1Baud = 2;
        sink.waitFor(1);
        const WritePayload w = encodeWiredWrite(modelWired, page);
        sendWriteRequest(tool, w.data(), w.length);
        sink.waitFor(2);
        sendReadRequest(tool);
    }
    const std::vector<Bytes> frames = sink.waitFor(3);
    link.stop();
    reader.stop();
    ASSERT_TRUE(opened);
    EXPECT_EQ(reader.end, SerialRunEnd::stopped);

    ASSERT_EQ(frames.size(), 3u);
    ToolSide first;
    first.receive({frames[0]});
    ASSERT_EQ(first.replies, 1);
    EXPECT_EQ(first.level, 3);
    EXPECT_EQ(first.store.modelCode(), modelWired);
    EXPECT_EQ(decodeWired(first.store).connect.deviceId, 1);
    EXPECT_EQ(frames[1], Bytes({0x51, 0x56, 0x4E, 0x52, 0x03, 0x04, 0xB0, 0x01, 0x00, 0x00}));
    ToolSide again;
    again.receive({frames[2]});
    ASSERT_EQ(again.replies, 1);
    const WiredParams got = decodeWired(again.store);
    EXPECT_EQ(got.connect.deviceId, 777);
    EXPECT_EQ(got.net.ip, ipv4(10, 7, 7, 7));
    EXPECT_EQ(got.antenna1Baud, 2);
    EXPECT_TRUE(reader.log.contains("rx code=0x01 name=configCmdReadRequest level=0 len=0 payload="));
    EXPECT_TRUE(reader.log.contains("# stop reason=interrupt reads=2 writes=1 applied=1"));
    EXPECT_FALSE(reader.port.isOpen());
}

TEST(SerialReaderPty, TheLoopLetsTheWiresCutPiecesGoAndCountsThem)
{
    // Every answer cut with gaps of up to 10 ms: the loop wakes for each
    // held piece, and the tool's link puts the pieces together again.
    MasterDevice tool;
    ASSERT_TRUE(tool.ok());
    SerialSimConfig config;
    std::snprintf(config.device, sizeof config.device, "%s", tool.slave().c_str());
    config.line.cutPct = 100;
    config.line.cutGapMaxMs = 10;
    PtyReaderRun reader;
    const bool opened = reader.start(config, 1000);  // no tick is needed to let a piece go
    WaitingSink sink;
    SerialLink link(tool, sink);
    if (opened) {
        link.start();
        sendReadRequest(tool);
        sink.waitFor(1);
        sendReadRequest(tool);
    }
    const std::vector<Bytes> frames = sink.waitFor(2);
    link.stop();
    reader.stop();
    ASSERT_TRUE(opened);
    ASSERT_EQ(frames.size(), 2u);
    ToolSide side;
    side.receive(frames);
    EXPECT_EQ(side.replies, 2);
    const std::string bytes = std::to_string(2 * frames[0].size());
    EXPECT_TRUE(reader.log.contains("# line seed=1 offered=" + bytes + " delivered=" + bytes +
                             " lost=0 noise=0 cut=2 late=0"));
}

TEST(SerialReaderPty, ADeviceThatCannotBeOpened)
{
    SerialSimConfig config;
    std::snprintf(config.device, sizeof config.device, "%s", "/nonexistent/tagdesk-no-port");
    SerialPort port;
    LineLog log;
    EXPECT_EQ(runSerialReader(config, SerialRunClock{}, port, log), SerialRunEnd::cannotOpen);
    EXPECT_TRUE(log.lines().empty());
    config.device[0] = '\0';
    EXPECT_EQ(runSerialReader(config, SerialRunClock{}, port, log), SerialRunEnd::cannotOpen);
}

#endif
