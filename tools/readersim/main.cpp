// readersim: the software reader on the command line. The reader's
// behaviour is the portable core (ListenReader, TagSim, the frame printer);
// this file only parses the arguments, opens the UDP socket and runs a
// plain loop: wait briefly for a datagram, hand it over, tick on time.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>

#include "platform/udpSocket.h"
#include "tools/readersim/framePrint.h"
#include "tools/readersim/listenReader.h"
#include "tools/readersim/simOptions.h"

namespace {

constexpr size_t kReceiveBytes = 2048;  // larger datagrams arrive cut to this size
constexpr int kLongestWaitMs = 50;       // how late a stop request is noticed at most

volatile std::sig_atomic_t gStopRequested = 0;

extern "C" void onStopSignal(int) { gStopRequested = 1; }

// Every line goes out at once, so a test reading the output file sees it.
class StdoutLog : public SimLog {
public:
    void line(const char* text) override
    {
        std::fputs(text, stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
};

int runListen(const SimOptions& o)
{
    if (!netStackStartup()) {
        std::fprintf(stderr, "readersim: the network stack cannot be started\n");
        return simExitFailure;
    }
    UdpSocket socket;
    int error = 0;
    if (!socket.create(&error)) {
        std::fprintf(stderr, "readersim: cannot create a UDP socket (error %d)\n", error);
        netStackCleanup();
        return simExitFailure;
    }
    if (socket.bindAny(o.localPort, &error) != UdpBind::ok) {
        std::fprintf(stderr, "readersim: cannot bind UDP port %u (error %d)\n",
                     unsigned(o.localPort), error);
        socket.close();
        netStackCleanup();
        return simExitFailure;
    }

    StdoutLog log;
    PrintingSender printing(socket, log, FrameDialect::listen);
    FrameSender& sender = o.printSent ? static_cast<FrameSender&>(printing) : socket;
    TagSim tags(o.tags);
    ListenReader reader(o.listen, tags, sender, log);
    ReaderPersonality& personality = reader;

    char server[24];
    formatNetAddr(server, sizeof server, o.listen.server);
    simStatus(log, "readersim mode=listen server=%s local-port=%u name=%s tick-ms=%d duration=%d",
              server, unsigned(socket.localPort()), o.listen.deviceName, o.tickMs,
              o.durationSeconds);

    using Clock = std::chrono::steady_clock;
    const auto period = std::chrono::milliseconds(o.tickMs);
    const auto startTime = Clock::now();
    const auto endTime = startTime + std::chrono::seconds(o.durationSeconds);
    auto nextTick = startTime + period;
    const char* reason = "interrupt";
    uint8_t datagram[kReceiveBytes];

    personality.start();
    while (!gStopRequested) {
        const auto now = Clock::now();
        if (o.durationSeconds > 0 && now >= endTime) {
            reason = "duration";
            break;
        }
        if (now >= nextTick) {
            personality.tick();
            nextTick += period;
            if (nextTick <= now)  // far behind (a stalled machine): start afresh
                nextTick = now + period;
            continue;
        }
        auto until = nextTick;
        if (o.durationSeconds > 0 && endTime < until)
            until = endTime;
        long long waitMs =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - now).count() + 1;
        if (waitMs > kLongestWaitMs)
            waitMs = kLongestWaitMs;
        if (!socket.waitReadable(int(waitMs)))
            continue;
        NetAddr from;
        const long n = socket.receive(datagram, sizeof datagram, &from, &error);
        if (n < 0) {
            simStatus(log, "receive-error code=%d", error);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        personality.onDatagram(datagram, size_t(n), from);
    }
    simStatus(log, "stop reason=%s state=%s logins=%d", reason,
              ListenReader::stateName(reader.state()), reader.loginsSent());
    socket.close();
    netStackCleanup();
    return simExitOk;
}

}  // namespace

int main(int argc, char** argv)
{
    SimOptions options;
    char error[512];
    if (!parseSimOptions(argc, argv, &options, error, sizeof error)) {
        std::fprintf(stderr, "readersim: %s\nTry 'readersim --help'.\n", error);
        return simExitUsage;
    }
    if (options.help) {
        std::fputs(simUsage().c_str(), stdout);
        return simExitOk;
    }
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
    switch (options.mode) {
    case SimMode::listen:
        return runListen(options);
    case SimMode::none:
        break;
    }
    return simExitUsage;
}
