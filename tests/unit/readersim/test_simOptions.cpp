// The command line: defaults, accepted values, and every kind of bad
// argument refused with a message that names the option.
#include <gtest/gtest.h>

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
    const Case cases[] = {
        {{}, "no mode"},
        {{"lisen"}, "unknown mode 'lisen'"},
        {{"--tags", "3"}, "unknown mode '--tags'"},
        {{"serial"}, "mode 'serial' is not available"},
        {{"listen", "--frobnicate"}, "unknown option '--frobnicate'"},
        {{"listen", "--tags"}, "--tags needs a value"},
        {{"listen", "--no-heartbeat=1"}, "--no-heartbeat takes no value"},
        {{"listen", "--tick-ms", "abc"}, "--tick-ms: expected"},
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
    for (const SimMode mode : {SimMode::none, SimMode::listen, SimMode::direct, SimMode::legacy}) {
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
