// The command line: defaults, accepted values, and every kind of bad
// argument refused with a message that names the option.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tools/readersim/simOptions.h"

namespace {

struct Parsed {
    bool ok;
    SimOptions options;
    std::string error;
};

Parsed parse(std::vector<const char*> args)
{
    args.insert(args.begin(), "readersim");
    Parsed p;
    char error[512] = "";
    p.ok = parseSimOptions(int(args.size()), args.data(), &p.options, error, sizeof error);
    p.error = error;
    return p;
}

}  // namespace

TEST(SimOptions, Defaults)
{
    const Parsed p = parse({"listen"});
    ASSERT_TRUE(p.ok) << p.error;
    const SimOptions& o = p.options;
    EXPECT_EQ(o.mode, SimMode::listen);
    EXPECT_FALSE(o.help);
    EXPECT_EQ(o.tickMs, 1000);
    EXPECT_EQ(o.durationSeconds, 0);
    EXPECT_EQ(o.listen.server, (NetAddr{0x7F000001, 8800}));
    EXPECT_STREQ(o.listen.deviceName, "dev001");
    EXPECT_STREQ(o.listen.password, "314159");
    EXPECT_EQ(o.listen.heartbeatTicks, 10);
    EXPECT_EQ(o.listen.stateCount, 1);
    EXPECT_EQ(o.listen.states[0], 0);
    EXPECT_EQ(o.tags.tagCount, 3);
    EXPECT_EQ(o.tags.reportsPerTick, -1);
}

TEST(SimOptions, AcceptedValues)
{
    const Parsed p = parse({"listen", "--server", "192.168.1.195:9000", "--name=DEV001",
                            "--password", "", "--states", "0,2,1,3,9", "--rssi", "-50,-40,127",
                            "--extra", "0a0B", "--status-bits", "0x0E", "--bad-crc",
                            "report,heartbeat", "--oversize", "all", "--tick-ms", "100",
                            "--duration", "3", "--first-tag", "4294967295", "--no-heartbeat",
                            "--reject-sms", "--local-port", "0"});
    ASSERT_TRUE(p.ok) << p.error;
    const SimOptions& o = p.options;
    EXPECT_EQ(o.listen.server, (NetAddr{0xC0A801C3, 9000}));
    EXPECT_STREQ(o.listen.deviceName, "DEV001");
    EXPECT_STREQ(o.listen.password, "");
    ASSERT_EQ(o.listen.stateCount, 5);
    EXPECT_EQ(o.listen.states[4], 9);
    ASSERT_EQ(o.tags.rssiCount, 3);
    EXPECT_EQ(o.tags.rssi[0], -50);
    EXPECT_EQ(o.tags.rssi[2], 127);
    ASSERT_EQ(o.tags.extraCount, 2);
    EXPECT_EQ(o.tags.extra[0], 0x0A);
    EXPECT_EQ(o.tags.extra[1], 0x0B);
    EXPECT_EQ(o.tags.statusBits, 0x0E);
    EXPECT_EQ(o.listen.faults.badCrc, unsigned(kindReport | kindHeartbeat));
    EXPECT_EQ(o.listen.faults.oversize, unsigned(kindAll));
    EXPECT_EQ(o.tickMs, 100);
    EXPECT_EQ(o.durationSeconds, 3);
    EXPECT_EQ(o.tags.firstTagId, 0xFFFFFFFFu);
    EXPECT_EQ(o.listen.heartbeatTicks, 0);
    EXPECT_TRUE(o.listen.rejectSms);
    EXPECT_FALSE(o.listen.rejectCalls);

    // An empty state list sends heartbeats that announce no substation.
    const Parsed empty = parse({"listen", "--states", ""});
    ASSERT_TRUE(empty.ok) << empty.error;
    EXPECT_EQ(empty.options.listen.stateCount, 0);
}

TEST(SimOptions, DefaultsOfTheWaitingModes)
{
    const Parsed d = parse({"direct"});
    ASSERT_TRUE(d.ok) << d.error;
    EXPECT_EQ(d.options.mode, SimMode::direct);
    EXPECT_EQ(d.options.waitAt, (NetAddr{0x7F000001, 4099}));
    EXPECT_EQ(d.options.direct.version, 4);
    EXPECT_EQ(d.options.direct.linkPeriodTicks, 20);
    EXPECT_STREQ(d.options.direct.user, "admin");
    EXPECT_STREQ(d.options.direct.password, "314159");
    EXPECT_EQ(d.options.direct.keepAliveTicks, -1);
    EXPECT_FALSE(d.options.direct.refuseLogin);
    EXPECT_FALSE(d.options.direct.silent);

    const Parsed l = parse({"legacy"});
    ASSERT_TRUE(l.ok) << l.error;
    EXPECT_EQ(l.options.mode, SimMode::legacy);
    EXPECT_EQ(l.options.waitAt, (NetAddr{0x7F000001, 4099}));
    EXPECT_EQ(l.options.legacy.version, 2);
    EXPECT_EQ(l.options.legacy.loginResult, 0);
    EXPECT_FALSE(l.options.legacy.shortLoginAck);
    EXPECT_STREQ(l.options.legacy.user, "admin");
}

TEST(SimOptions, SharedOptionsGoToTheChosenMode)
{
    const Parsed d = parse({"direct", "--bind", "0.0.0.0", "--port", "0", "--version", "2",
                            "--link-period", "59", "--states", "3,1", "--reader-id", "7",
                            "--reject-calls", "--bad-crc", "link,login", "--short-reports",
                            "--stop-keepalive", "0", "--refuse-login", "--report-refused",
                            "--silent", "--user", "root", "--password", "0123456789abcdef"});
    ASSERT_TRUE(d.ok) << d.error;
    const SimOptions& o = d.options;
    EXPECT_EQ(o.waitAt, (NetAddr{0, 0}));
    EXPECT_EQ(o.direct.version, 2);
    EXPECT_EQ(o.direct.linkPeriodTicks, 59);
    ASSERT_EQ(o.direct.stateCount, 2);
    EXPECT_EQ(o.direct.states[0], 3);
    EXPECT_EQ(o.direct.readerId, 7u);
    EXPECT_TRUE(o.direct.rejectCalls);
    EXPECT_EQ(o.direct.faults.badCrc, unsigned(kindLink | kindLogin));
    EXPECT_TRUE(o.direct.faults.shortReports);
    EXPECT_EQ(o.direct.keepAliveTicks, 0);
    EXPECT_TRUE(o.direct.refuseLogin);
    EXPECT_TRUE(o.direct.reportWhenRefused);
    EXPECT_TRUE(o.direct.silent);
    EXPECT_STREQ(o.direct.user, "root");
    EXPECT_STREQ(o.direct.password, "0123456789abcdef");
    // The other modes keep their defaults.
    EXPECT_EQ(o.listen.stateCount, 1);
    EXPECT_FALSE(o.listen.rejectCalls);
    EXPECT_EQ(o.legacy.stateCount, 1);
    EXPECT_EQ(o.legacy.faults.badCrc, 0u);

    const Parsed l = parse({"legacy", "--login-result", "0x0100", "--short-login-ack",
                            "--version", "4", "--reject-sms", "--states", ""});
    ASSERT_TRUE(l.ok) << l.error;
    EXPECT_EQ(l.options.legacy.loginResult, 0x0100);
    EXPECT_TRUE(l.options.legacy.shortLoginAck);
    EXPECT_EQ(l.options.legacy.version, 4);
    EXPECT_TRUE(l.options.legacy.rejectSms);
    EXPECT_EQ(l.options.legacy.stateCount, 0);
    EXPECT_EQ(l.options.direct.version, 4);
    EXPECT_FALSE(l.options.direct.rejectSms);

    // The capture file, in every mode.
    for (const char* mode : {"listen", "direct", "legacy"}) {
        const Parsed c = parse({mode, "--pcap", "out.pcap"});
        ASSERT_TRUE(c.ok) << mode << ": " << c.error;
        EXPECT_STREQ(c.options.pcapPath, "out.pcap") << mode;
    }
    EXPECT_STREQ(parse({"listen"}).options.pcapPath, "");
}

TEST(SimOptions, NamesAndPasswordsAtTheirLimits)
{
    const std::string name64(64, 'n'), name65(65, 'n'), pass31(31, 'p'), pass32(32, 'p');
    EXPECT_TRUE(parse({"listen", "--name", name64.c_str()}).ok);
    EXPECT_FALSE(parse({"listen", "--name", name65.c_str()}).ok);
    const Parsed p = parse({"listen", "--password", pass31.c_str()});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(std::string(p.options.listen.password), pass31);
    EXPECT_FALSE(parse({"listen", "--password", pass32.c_str()}).ok);
}

TEST(SimOptions, BadArgumentsAreRefusedByName)
{
    struct Case {
        std::vector<const char*> args;
        const char* mention;  // the message names this
    };
    const std::string states256 = [] {
        std::string s = "0";
        for (int i = 1; i < 256; ++i)
            s += ",0";
        return s;
    }();
    const std::string longPath(260, 'p');  // one byte more than a capture path holds
    const Case cases[] = {
        {{}, "no mode"},
        {{"lisen"}, "unknown mode 'lisen'"},
        {{"--tags", "3"}, "unknown mode '--tags'"},
#if defined(READERSIM_SERIAL)
        {{"serial"}, "mode serial needs --device"},
        {{"serial", "--model", "1"}, "needs --device"},
#else
        {{"serial"}, "mode 'serial' is not available"},
#endif
        {{"listen", "--frobnicate"}, "unknown option '--frobnicate'"},
        {{"listen", "--tags"}, "--tags needs a value"},
        {{"listen", "--no-heartbeat=1"}, "--no-heartbeat takes no value"},
        {{"listen", "--tick-ms", "abc"}, "--tick-ms: expected"},
        {{"direct", "--pcap", ""}, "--pcap: expected a file name"},
        {{"listen", "--pcap"}, "--pcap needs a value"},
        {{"listen", "--pcap", longPath.c_str()}, "--pcap: expected a file name of 1 to 259 bytes"},
        {{"listen", "--tick-ms", "100ms"}, "--tick-ms"},
        {{"listen", "--tick-ms", "5"}, "--tick-ms"},
        {{"listen", "--tick-ms", ""}, "--tick-ms"},
        {{"listen", "--duration", "-1"}, "--duration"},
        {{"listen", "--tags", "99999999999999999999999"}, "--tags"},
        {{"listen", "--tags", "1000001"}, "--tags"},
        {{"listen", "--server", "127.0.0.1"}, "--server"},
        {{"listen", "--server", "127.0.0.1:0"}, "--server"},
        {{"listen", "--server", "127.0.0.1:65536"}, "--server"},
        {{"listen", "--server", "256.0.0.1:8800"}, "--server"},
        {{"listen", "--server", "1.2.3:8800"}, "--server"},
        {{"listen", "--server", "1.2.3.4.5:8800"}, "--server"},
        {{"listen", "--server", "localhost:8800"}, "--server"},
        {{"listen", "--states", "0,,1"}, "--states"},
        {{"listen", "--states", "256"}, "--states"},
        {{"listen", "--states", states256.c_str()}, "--states"},
        {{"listen", "--substations", ""}, "--substations"},
        {{"listen", "--rssi", "-129"}, "--rssi"},
        {{"listen", "--rssi", "-40,"}, "--rssi"},
        {{"listen", "--extra", "ABC"}, "--extra"},
        {{"listen", "--extra", "0102030405060708"}, "--extra"},
        {{"listen", "--extra", "zz"}, "--extra"},
        {{"listen", "--status-bits", "1"}, "--status-bits"},
        {{"listen", "--status-bits", "0x20"}, "--status-bits"},
        {{"listen", "--bad-crc", "frames"}, "--bad-crc"},
        {{"listen", "--bad-length", "report,"}, "--bad-length"},
        {{"listen", "--heartbeat", "0"}, "--heartbeat"},
        {{"listen", "--local-port", "70000"}, "--local-port"},
        // The waiting modes, and options of another mode.
        {{"direct", "--server", "127.0.0.1:8800"}, "unknown option '--server' for mode direct"},
        {{"listen", "--port", "4099"}, "unknown option '--port' for mode listen"},
        {{"direct", "--login-result", "1"}, "unknown option '--login-result'"},
        {{"legacy", "--link-period", "20"}, "unknown option '--link-period'"},
        {{"direct", "--link-period", "60"}, "--link-period"},
        {{"direct", "--link-period", "0"}, "--link-period"},
        {{"direct", "--version", "256"}, "--version"},
        {{"direct", "--version", "-1"}, "--version"},
        {{"legacy", "--port", "65536"}, "--port"},
        {{"direct", "--bind", "1.2.3"}, "--bind"},
        {{"direct", "--bind", "127.0.0.1:4099"}, "--bind"},
        {{"direct", "--user", "seventeen-bytes!!"}, "--user"},
        {{"legacy", "--password", "12345678901234567"}, "--password"},
        {{"legacy", "--login-result", "65536"}, "--login-result"},
        {{"direct", "--stop-keepalive", "-1"}, "--stop-keepalive"},
        {{"direct", "--bad-crc", "links"}, "--bad-crc"},
        {{"legacy", "--silent=1"}, "--silent takes no value"},
        // Words, "--" and a second mode are unknown options; an empty value
        // after '=' is a value; the first fault on the line is the one named.
        {{"listen", "word"}, "unknown option 'word' for mode listen"},
        {{"listen", "--"}, "unknown option '--'"},
        {{"listen", "--", "--tags", "3"}, "unknown option '--'"},
        {{"listen", "direct"}, "unknown option 'direct'"},
        {{"listen", "--tick-ms="}, "--tick-ms: expected"},
        {{"listen", "--tags", "-5"}, "--tags: expected"},
        {{"listen", "--nonsense", "--tags", "x"}, "unknown option '--nonsense'"},
        {{"listen", "--tags", "x", "--nonsense"}, "--tags: expected"},
        {{"listen", "word", "--tags"}, "unknown option 'word'"},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const char* a : c.args)
            shown += std::string(" '") + a + "'";
        const Parsed p = parse(c.args);
        EXPECT_FALSE(p.ok) << shown;
        EXPECT_NE(p.error.find(c.mention), std::string::npos) << shown << " -> " << p.error;
    }
}

TEST(SimOptions, HelpAnywhere)
{
    for (const std::vector<const char*>& args :
         {std::vector<const char*>{"--help"}, {"-h"}, {"listen", "--help"}, {"listen", "-h"}}) {
        const Parsed p = parse(args);
        ASSERT_TRUE(p.ok) << p.error;
        EXPECT_TRUE(p.options.help);
    }
    // Every line of every help text fits a terminal of 80 columns.
    std::vector<SimMode> modes{SimMode::none, SimMode::listen, SimMode::direct, SimMode::legacy};
#if defined(READERSIM_SERIAL)
    modes.push_back(SimMode::serial);
#endif
#if defined(READERSIM_LEGACY_SERIAL)
    modes.push_back(SimMode::legacySerial);
#endif
    for (const SimMode mode : modes) {
        const std::string usage = simUsage(mode);
        size_t start = 0;
        while (start < usage.size()) {
            const size_t end = usage.find('\n', start);
            const size_t len = (end == std::string::npos ? usage.size() : end) - start;
            EXPECT_LE(len, 79u) << usage.substr(start, len);
            start = end == std::string::npos ? usage.size() : end + 1;
        }
    }
}

TEST(SimOptions, HelpPerMode)
{
    const Parsed p = parse({"direct", "--help"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_TRUE(p.options.help);
    EXPECT_EQ(p.options.mode, SimMode::direct);

    struct Case {
        SimMode mode;
        std::vector<const char*> present;
        std::vector<const char*> absent;
    };
    const Case cases[] = {
        {SimMode::listen, {"Options of mode listen", "--server IP:PORT", "--auth-delay N"},
         {"--port N", "--link-period N", "--login-result N", "In mode direct"}},
        {SimMode::direct,
         {"Options of mode direct", "--port N", "--version N", "--link-period N",
          "--refuse-login", "--silent", "--stop-keepalive N", "In mode direct"},
         {"--server IP:PORT", "--login-result N", "--heartbeat N", "In mode legacy"}},
        {SimMode::legacy,
         {"Options of mode legacy", "--port N", "--login-result N", "--short-login-ack",
          "In mode legacy"},
         {"--server IP:PORT", "--link-period N", "In mode listen"}},
        {SimMode::none,
         {"--server IP:PORT", "--link-period N", "--login-result N", "In mode listen",
          "In mode direct", "In mode legacy", "(direct, legacy)"},
         {}},
    };
    for (const Case& c : cases) {
        const std::string usage = simUsage(c.mode);
        for (const char* text : c.present)
            EXPECT_NE(usage.find(text), std::string::npos) << int(c.mode) << ": " << text;
        for (const char* text : c.absent)
            EXPECT_EQ(usage.find(text), std::string::npos) << int(c.mode) << ": " << text;
    }
}

#if defined(READERSIM_SERIAL)
TEST(SimOptions, SerialDefaults)
{
    const Parsed p = parse({"serial", "--device", "/tmp/sp/B"});
    ASSERT_TRUE(p.ok) << p.error;
    const SimOptions& o = p.options;
    EXPECT_EQ(o.mode, SimMode::serial);
    EXPECT_STREQ(o.serial.device, "/tmp/sp/B");
    EXPECT_EQ(o.serial.model, 1);
    EXPECT_EQ(o.serial.level, 3);
    EXPECT_EQ(o.serial.values.version.view(), "V2.14-230612");
    EXPECT_EQ(o.serial.faults.silent, 0u);
    EXPECT_EQ(o.serial.faults.lateTicks, 3);
    EXPECT_EQ(o.tickMs, 1000);
    EXPECT_FALSE(o.printSent);
}

TEST(SimOptions, DeviceIsAPathOrOneOfThePortsTheToolsList)
{
    // COM1 to COM32 by number, any other text as a path (a name with more
    // than three digits is no port name).
    std::vector<const char*> modes{"serial"};
#if defined(READERSIM_LEGACY_SERIAL)
    modes.push_back("legacy-serial");
#endif
    for (const char* mode : modes) {
        for (const char* device : {"COM1", "COM32", "build/sp/B", "COMX", "COM1234"}) {
            const Parsed p = parse({mode, "--device", device});
            EXPECT_TRUE(p.ok) << mode << " " << device << ": " << p.error;
        }
        for (const char* device : {"COM0", "COM33", "COM255", "COM999"}) {
            const Parsed p = parse({mode, "--device", device});
            EXPECT_FALSE(p.ok) << mode << " " << device;
            EXPECT_NE(p.error.find("COMn with n 1..32"), std::string::npos) << p.error;
        }
    }
}

TEST(SimOptions, SerialAcceptedValues)
{
    // One option at a time, each with a check of the field it sets.
    struct Case {
        std::vector<const char*> args;  // after "serial --device COM3"
        bool (*check)(const SimOptions& o);
    };
    const Case cases[] = {
        {{"--model", "52"}, [](const SimOptions& o) { return o.serial.model == 52; }},
        {{"--model=0"}, [](const SimOptions& o) { return o.serial.model == 0; }},
        {{"--level", "0"}, [](const SimOptions& o) { return o.serial.level == 0; }},
        {{"--pcap", "serial.pcap"},
         [](const SimOptions& o) { return std::string(o.pcapPath) == "serial.pcap"; }},
        {{"--level", "0xFF"}, [](const SimOptions& o) { return o.serial.level == 255; }},
        {{"--version-text", "V9.99-000000-XYZ"},
         [](const SimOptions& o) { return o.serial.values.version.view() == "V9.99-000000-XYZ"; }},
        {{"--connect", "active"},
         [](const SimOptions& o) { return o.serial.values.connect.mode == connectActive; }},
        {{"--device-name", "root"},
         [](const SimOptions& o) { return o.serial.values.connect.name.view() == "root"; }},
        {{"--device-password", ""},
         [](const SimOptions& o) { return o.serial.values.connect.password.empty(); }},
        {{"--platform", "10.0.0.2:9000"},
         [](const SimOptions& o) {
             return o.serial.values.connect.platformIp == ipv4(10, 0, 0, 2) &&
                    o.serial.values.connect.platformPort == 9000;
         }},
        {{"--device-id", "-2147483648"},
         [](const SimOptions& o) { return o.serial.values.connect.deviceId == INT32_MIN; }},
        {{"--dhcp", "--ip", "10.1.2.3", "--mask", "255.0.0.0", "--gateway", "10.0.0.1"},
         [](const SimOptions& o) {
             const IpSettings& n = o.serial.values.net;
             return n.dhcp == 1 && n.ip == ipv4(10, 1, 2, 3) && n.mask == ipv4(255, 0, 0, 0) &&
                    n.gateway == ipv4(10, 0, 0, 1);
         }},
        {{"--rs485-baud", "0", "--antenna-baud", "0xFF", "--antenna1-baud", "2"},
         [](const SimOptions& o) {
             const SerialRecordValues& v = o.serial.values;
             return v.rs485Baud == 0 && v.antenna0Baud == 0xFF && v.antenna1Baud == 2;
         }},
        {{"--antenna-merge", "1"},
         [](const SimOptions& o) { return o.serial.values.antennaMerge == 1; }},
        {{"--mac", "0a-0B-0c-0D-0e-FF"},
         [](const SimOptions& o) {
             return o.serial.values.mac == MacAddress{0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0xFF};
         }},
        {{"--wifi-mac", "01:02:03:04:05:06"},
         [](const SimOptions& o) { return o.serial.values.wifiMac == MacAddress{1, 2, 3, 4, 5, 6}; }},
        {{"--ssid", "lab", "--wifi-password", "secret"},
         [](const SimOptions& o) {
             return o.serial.values.ssid.view() == "lab" &&
                    o.serial.values.wifiPassword.view() == "secret";
         }},
        {{"--wifi-dhcp", "--wifi-ip", "172.16.0.9"},
         [](const SimOptions& o) {
             return o.serial.values.wifiNet.dhcp == 1 &&
                    o.serial.values.wifiNet.ip == ipv4(172, 16, 0, 9);
         }},
        {{"--network", "wifi"},
         [](const SimOptions& o) { return o.serial.values.network == networkWifi; }},
        {{"--domain", "reader.example.org"},
         [](const SimOptions& o) {
             return o.serial.values.domainEnabled == 1 &&
                    o.serial.values.domain.view() == "reader.example.org";
         }},
        {{"--reserved", "0x5A"}, [](const SimOptions& o) { return o.serial.values.reserved == 0x5A; }},
        {{"--rssi-threshold", "-128", "--rssi-ack", "0x04", "--silent", "rssi-reply"},
         [](const SimOptions& o) {
             return o.serial.values.rssiThreshold == -128 && o.serial.rssiAckCommand == 0x04 &&
                    o.serial.faults.silent == serialKindRssiReply;
         }},
        {{"--silent", "ack", "--bad-crc", "reply"},
         [](const SimOptions& o) {
             return o.serial.faults.silent == serialKindAck &&
                    o.serial.faults.badCrc == serialKindReply;
         }},
        {{"--late", "all", "--late-ticks", "4"},
         [](const SimOptions& o) {
             return o.serial.faults.late == serialKindAll && o.serial.faults.lateTicks == 4;
         }},
        {{"--stray", "reply,ack", "--stray-bytes", "64"},
         [](const SimOptions& o) {
             return o.serial.faults.stray == (serialKindReply | serialKindAck) &&
                    o.serial.faults.strayBytes == 64;
         }},
        {{"--split", "reply", "--split-parts", "16", "--split-gap", "2"},
         [](const SimOptions& o) {
             const SerialFaults& f = o.serial.faults;
             return f.split == serialKindReply && f.splitParts == 16 && f.splitGapTicks == 2;
         }},
        {{"--tick-ms", "10", "--duration", "3", "--print-sent"},
         [](const SimOptions& o) { return o.tickMs == 10 && o.durationSeconds == 3 && o.printSent; }},
    };
    for (const Case& c : cases) {
        std::vector<const char*> args{"serial", "--device", "COM3"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Parsed p = parse(args);
        ASSERT_TRUE(p.ok) << c.args[0] << ": " << p.error;
        EXPECT_STREQ(p.options.serial.device, "COM3");
        EXPECT_TRUE(c.check(p.options)) << c.args[0];
    }
}

TEST(SimOptions, SerialBadArgumentsAreRefusedByName)
{
    struct Case {
        std::vector<const char*> args;  // after "serial --device /tmp/sp/B"
        const char* mention;
    };
    const std::string text17(17, 't'), text33(33, 't'), text61(61, 'd'), path128(128, 'p');
    const Case cases[] = {
        {{"--model", "256"}, "--model"},
        {{"--model", "-1"}, "--model"},
        {{"--model", "wifi"}, "--model"},
        {{"--level", "256"}, "--level"},
        {{"--level", ""}, "--level"},
        {{"--level"}, "--level needs a value"},
        {{"--version-text", text17.c_str()}, "--version-text"},
        {{"--connect", "passive"}, "--connect"},
        {{"--device-name", text33.c_str()}, "--device-name"},
        {{"--device-password", text33.c_str()}, "--device-password"},
        {{"--platform", "1.2.3.4"}, "--platform"},
        {{"--device-id", "2147483648"}, "--device-id"},
        {{"--dhcp=1"}, "--dhcp takes no value"},
        {{"--ip", "1.2.3"}, "--ip"},
        {{"--rs485-baud", "5"}, "--rs485-baud"},
        {{"--antenna-baud", "0xFE"}, "--antenna-baud"},
        {{"--mac", "02-51-56-00-00"}, "--mac"},
        {{"--mac", "02-51-56-00-00-0g"}, "--mac"},
        {{"--wifi-mac", "02.51.56.00.00.02"}, "--wifi-mac"},
        {{"--ssid", text33.c_str()}, "--ssid"},
        {{"--network", "lte"}, "--network"},
        {{"--domain", text61.c_str()}, "--domain"},
        {{"--reserved", "256"}, "--reserved"},
        {{"--rssi-threshold", "128"}, "--rssi-threshold"},
        {{"--rssi-ack", "0x0B"}, "--rssi-ack"},
        {{"--silent"}, "--silent needs a value"},
        {{"--silent", "report"}, "--silent"},
        {{"--bad-crc", "reply,"}, "--bad-crc"},
        {{"--late-ticks", "3601"}, "--late-ticks"},
        {{"--stray-bytes", "65"}, "--stray-bytes"},
        {{"--split-parts", "0"}, "--split-parts"},
        {{"--split-parts", "17"}, "--split-parts"},
        {{"--split-gap", "-1"}, "--split-gap"},
        {{"--device", ""}, "--device"},
        {{"--device", path128.c_str()}, "--device"},
        // COMn names one of the ports that the tools probe: COM1 to COM32.
        {{"--device", "COM0"}, "--device"},
        {{"--device", "COM33"}, "--device"},
        {{"--device", "COM255"}, "--device"},
        // Options of the UDP modes are not options of this one.
        {{"--tags", "3"}, "unknown option '--tags' for mode serial"},
        {{"--short-reports"}, "unknown option '--short-reports'"},
        {{"--port", "4099"}, "unknown option '--port'"},
    };
    for (const Case& c : cases) {
        std::vector<const char*> args{"serial", "--device", "/tmp/sp/B"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Parsed p = parse(args);
        EXPECT_FALSE(p.ok) << c.args[0];
        EXPECT_NE(p.error.find(c.mention), std::string::npos) << c.args[0] << " -> " << p.error;
    }
    // And the other way round: the serial options are not for the UDP modes.
    EXPECT_FALSE(parse({"listen", "--device", "/tmp/sp/B"}).ok);
    EXPECT_FALSE(parse({"direct", "--model", "1"}).ok);
    EXPECT_FALSE(parse({"legacy", "--late", "reply"}).ok);
}

TEST(SimOptions, SerialHelp)
{
    // Help needs no device.
    const Parsed p = parse({"serial", "--help"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_TRUE(p.options.help);
    EXPECT_EQ(p.options.mode, SimMode::serial);

    const std::string usage = simUsage(SimMode::serial);
    for (const char* text : {"Options of mode serial", "--device PATH", "--model N", "--level N",
                             "--late-ticks N", "--split-gap N", "--tick-ms N", "--print-sent",
                             "In mode serial"})
        EXPECT_NE(usage.find(text), std::string::npos) << text;
    for (const char* text : {"--tags N", "--server IP:PORT", "--port N", "In mode listen"})
        EXPECT_EQ(usage.find(text), std::string::npos) << text;
    const std::string all = simUsage();
    EXPECT_NE(all.find("In mode serial"), std::string::npos);
    EXPECT_NE(all.find("(serial)"), std::string::npos);
}
#endif

TEST(SimOptions, FaultyLineOptions)
{
    const Parsed p = parse({"listen", "--seed", "99", "--loss", "2", "--dup", "3", "--corrupt",
                            "4", "--reorder", "8", "--burst", "16", "--silence", "70",
                            "--silence-every", "300"});
    ASSERT_TRUE(p.ok) << p.error;
    const UdpLineConfig& l = p.options.line;
    EXPECT_EQ(l.seed, 99u);
    EXPECT_EQ(l.lossPct, 2);
    EXPECT_EQ(l.dupPct, 3);
    EXPECT_EQ(l.corruptPct, 4);
    EXPECT_EQ(l.reorderWindow, 8);
    EXPECT_EQ(l.burst, 16);
    EXPECT_EQ(l.silenceSeconds, 70);
    EXPECT_EQ(l.silenceEverySeconds, 300);
    EXPECT_FALSE(parse({"listen"}).options.line.any());
    const struct {
        std::vector<const char*> args;
        const char* error;
    } bad[] = {
        {{"direct", "--loss", "101"}, "--loss: expected a whole percentage 0..100, got '101'"},
        {{"legacy", "--reorder", "65"}, "--reorder: expected a window of 0..64 reports, got '65'"},
        {{"listen", "--drop-bytes", "5"}, "unknown option '--drop-bytes' for mode listen"},
    };
    for (const auto& b : bad) {
        const Parsed r = parse(b.args);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.error, b.error);
    }
#if defined(READERSIM_SERIAL)
    const Parsed s = parse({"serial", "--device", "x", "--seed", "5", "--drop-bytes", "1",
                            "--noise-max", "9"});
    ASSERT_TRUE(s.ok) << s.error;
    EXPECT_EQ(s.options.serial.line.seed, 5u);
    EXPECT_EQ(s.options.serial.line.dropBytesPermille, 10);
    const struct {
        const char* text;
        int permille;  // -1: refused
    } drops[] = {{"0.2", 2}, {"100", 1000}, {"100.0", 1000}, {"12.5", 125}, {"100.1", -1},
                 {".5", -1}, {"1.", -1}, {"1.25", -1}, {"-1", -1}, {"x", -1}};
    for (const auto& d : drops) {
        const Parsed r = parse({"serial", "--device", "x", "--drop-bytes", d.text});
        EXPECT_EQ(r.ok, d.permille >= 0) << d.text;
        if (r.ok) {
            EXPECT_EQ(r.options.serial.line.dropBytesPermille, d.permille) << d.text;
        }
    }
    EXPECT_EQ(s.options.serial.line.noiseMax, 9);

    // The random cuts and late answers; the seed reaches every choice.
    const Parsed c = parse({"serial", "--device", "x", "--cut", "25", "--cut-gap-max", "40",
                            "--late-pct", "10", "--seed", "12"});
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_EQ(c.options.serial.line.cutPct, 25);
    EXPECT_EQ(c.options.serial.line.cutGapMaxMs, 40);
    EXPECT_TRUE(c.options.serial.line.any());
    EXPECT_EQ(c.options.serial.faults.latePct, 10);
    EXPECT_EQ(c.options.serial.faults.seed, 12u);
    EXPECT_EQ(c.options.serial.line.seed, 12u);
    const struct {
        std::vector<const char*> args;
        const char* error;
    } badSerial[] = {
        {{"serial", "--device", "x", "--cut", "101"},
         "--cut: expected a whole percentage 0..100, got '101'"},
        {{"serial", "--device", "x", "--cut-gap-max", "10001"},
         "--cut-gap-max: expected a whole number of milliseconds 0..10000, got '10001'"},
        {{"serial", "--device", "x", "--late-pct", "-1"},
         "--late-pct: expected a whole percentage 0..100, got '-1'"},
        {{"listen", "--cut", "5"}, "unknown option '--cut' for mode listen"},
    };
    for (const auto& b : badSerial) {
        const Parsed r = parse(b.args);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.error, b.error);
    }
#endif
#if defined(READERSIM_LEGACY_SERIAL)
    // The legacy reader has the same wire, apart from the serial one's.
    const Parsed g = parse({"legacy-serial", "--device", "x", "--seed", "7", "--drop-bytes",
                            "0.5", "--noise-max", "3", "--cut", "50", "--cut-gap-max", "9"});
    ASSERT_TRUE(g.ok) << g.error;
    const SerialLineConfig& w = g.options.legacySerial.line;
    EXPECT_EQ(w.seed, 7u);
    EXPECT_EQ(w.dropBytesPermille, 5);
    EXPECT_EQ(w.noiseMax, 3);
    EXPECT_EQ(w.cutPct, 50);
    EXPECT_EQ(w.cutGapMaxMs, 9);
    EXPECT_FALSE(g.options.serial.line.any());
    const Parsed late = parse({"legacy-serial", "--device", "x", "--late-pct", "5"});
    EXPECT_FALSE(late.ok);
    EXPECT_EQ(late.error, "unknown option '--late-pct' for mode legacy-serial");
    const std::string usage = simUsage(SimMode::legacySerial);
    for (const char* text : {"--seed N", "--drop-bytes PCT", "--noise-max N", "--cut PCT",
                             "--cut-gap-max MS"})
        EXPECT_NE(usage.find(text), std::string::npos) << text;
#endif
}
