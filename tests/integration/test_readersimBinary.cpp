// The readersim program itself: run against a listening server in this
// process, its output captured in a file, and with bad arguments.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "tests/integration/loopbackRig.h"

namespace {

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct RunResult {
    int exitCode = -1;
    std::string out, err;
};

// Runs readersim with args through the shell, its output in files named
// after tag in the build directory, and returns its exit code and output.
RunResult runReadersim(const std::string& args, const std::string& tag)
{
    const std::string base = std::string(INTEGRATION_WORK_DIR) + "/readersim_" + tag;
    const std::string cmd = std::string("\"") + READERSIM_BINARY + "\" " + args + " >\"" + base +
                            ".out\" 2>\"" + base + ".err\"; echo $? >\"" + base + ".rc\"";
    std::remove((base + ".rc").c_str());
    const int status = std::system(cmd.c_str());
    RunResult r;
    if (status != -1) {
        const std::string rc = readFile(base + ".rc");
        if (!rc.empty())
            r.exitCode = std::atoi(rc.c_str());
    }
    r.out = readFile(base + ".out");
    r.err = readFile(base + ".err");
    return r;
}

bool hasLine(const std::string& output, const std::string& line)
{
    std::istringstream in(output);
    std::string l;
    while (std::getline(in, l))
        if (l == line)
            return true;
    return false;
}

bool hasLinePrefix(const std::string& output, const std::string& prefix)
{
    std::istringstream in(output);
    std::string l;
    while (std::getline(in, l))
        if (l.compare(0, prefix.size(), prefix) == 0)
            return true;
    return false;
}

}  // namespace

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
}
