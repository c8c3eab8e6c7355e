// readersim: the software reader on the command line. The reader's
// behaviour is the portable core (the personalities, TagSim, the frame
// printer); this file only parses the arguments, opens the UDP socket and
// runs a plain loop: wait briefly for a datagram, hand it over, tick on time.
// The mode serial (built with the serial core) hands its port and loop to
// runSerialReader (serialRun.h).
#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "console/directCodes.h"
#include "console/netPdu.h"
#include "platform/udpSocket.h"
#include "tools/readersim/directReader.h"
#include "tools/readersim/framePrint.h"
#include "tools/readersim/legacyReader.h"
#include "tools/readersim/lineFaults.h"
#include "tools/readersim/listenReader.h"
#include "tools/readersim/pcapWriter.h"
#include "tools/readersim/simOptions.h"
#if defined(READERSIM_SERIAL)
#include "tools/readersim/serialRun.h"
#endif
#if defined(READERSIM_LEGACY_SERIAL)
#include "tools/readersim/legacySerialReader.h"
#endif

namespace {

constexpr size_t kReceiveBytes = 2048;  // larger datagrams arrive cut to this size
constexpr int kLongestWaitMs = 50;       // how late a stop request is noticed at most

volatile std::sig_atomic_t gStopRequested = 0;

// Opens the --pcap capture, if one was asked for; false after a message.
bool openCapture(const SimOptions& o, PcapWriter& pcap, uint32_t linkType)
{
    if (!o.pcapPath[0] || pcap.open(o.pcapPath, linkType))
        return true;
    std::fprintf(stderr, "readersim: cannot write the capture file %s\n", o.pcapPath);
    return false;
}

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

// The network stack and the reader's one socket, bound as its mode wants.
class Session {
public:
    Session(const SimOptions& o, FrameDialect dialect)
        : options_(o),
          printing_(socket_, log_, dialect),
          line_(o.line, wire_,
                dialect == FrameDialect::listen ? uint8_t(netCodeLabelReport)
                                                : uint8_t(devCmdLabelReport))
    {
    }
    ~Session()
    {
        socket_.close();
        if (started_)
            netStackCleanup();
    }

    // Binds to all interfaces on localPort (listen) or to waitAt; false
    // after an error message on stderr.
    bool open(bool wait)
    {
        if (!netStackStartup()) {
            std::fprintf(stderr, "readersim: the network stack cannot be started\n");
            return false;
        }
        started_ = true;
        int error = 0;
        if (!socket_.create(&error)) {
            std::fprintf(stderr, "readersim: cannot create a UDP socket (error %d)\n", error);
            return false;
        }
        const NetAddr local = wait ? options_.waitAt : NetAddr{0, options_.localPort};
        const UdpBind bound = wait ? socket_.bindTo(local, &error)
                                   : socket_.bindAny(local.port, &error);
        if (bound != UdpBind::ok) {
            char addr[24];
            formatNetAddr(addr, sizeof addr, local);
            std::fprintf(stderr, "readersim: cannot bind UDP %s%s (error %d)\n", addr,
                         bound == UdpBind::inUse ? ", the port is in use" : "", error);
            return false;
        }
        if (!openCapture(options_, pcap_, pcapLinkRawIp))
            return false;
        if (pcap_.isOpen())
            tap_.reset(new PcapUdpTap(pcap_, plainSender(), NetAddr{local.ip, socket_.localPort()},
                                      &udpLocalAddressToward));
        return true;
    }

    SimLog& log() { return log_; }
    // The frames go through the faulty line when one is asked for, then on
    // to the wire (the capture, when one is written, and the socket); "tx"
    // lines show what the line passed on.
    FrameSender& sender()
    {
        return options_.line.any() ? static_cast<FrameSender&>(line_) : wire_;
    }
    // The line's counts, at the end of a run with a faulty line.
    void printLineSummary()
    {
        if (options_.line.any())
            line_.printSummary(log_);
    }
    uint16_t localPort() const { return socket_.localPort(); }

    // Runs the personality until the duration ends or a stop is requested;
    // returns why it stopped. A plain loop: wait briefly for a datagram,
    // hand it over, tick on time.
    const char* run(ReaderPersonality& personality)
    {
        using Clock = std::chrono::steady_clock;
        const auto period = std::chrono::milliseconds(options_.tickMs);
        const int duration = options_.durationSeconds;
        const auto startTime = Clock::now();
        const auto endTime = startTime + std::chrono::seconds(duration);
        auto nextTick = startTime + period;
        uint8_t datagram[kReceiveBytes];

        personality.start();
        while (!gStopRequested) {
            const auto now = Clock::now();
            line_.setTimeMs(
                std::chrono::duration_cast<std::chrono::milliseconds>(now - startTime).count());
            if (duration > 0 && now >= endTime) {
                line_.flush();
                return "duration";
            }
            if (now >= nextTick) {
                line_.flush();
                personality.tick();
                nextTick += period;
                if (nextTick <= now)  // far behind (a stalled machine): start afresh
                    nextTick = now + period;
                continue;
            }
            auto until = nextTick;
            if (duration > 0 && endTime < until)
                until = endTime;
            long long waitMs =
                std::chrono::duration_cast<std::chrono::milliseconds>(until - now).count() + 1;
            if (waitMs > kLongestWaitMs)
                waitMs = kLongestWaitMs;
            if (!socket_.waitReadable(int(waitMs)))
                continue;
            NetAddr from;
            int error = 0;
            const long n = socket_.receive(datagram, sizeof datagram, &from, &error);
            if (n < 0) {
                simStatus(log_, "receive-error code=%d", error);
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            // The capture shows the wire: what came, whether or not a
            // silent line then keeps it from the reader.
            if (tap_)
                tap_->received(datagram, size_t(n), from);
            if (line_.passIncoming())
                personality.onDatagram(datagram, size_t(n), from);
        }
        line_.flush();
        return "interrupt";
    }

private:
    // The wire behind the faulty line: the capture's tap once open() has
    // made one, otherwise the socket (through the "tx" printer if asked).
    class Wire : public FrameSender {
    public:
        explicit Wire(Session& session) : session_(session) {}
        void sendFrame(const NetAddr& to, const uint8_t* frame, size_t length) override
        {
            FrameSender& next = session_.tap_ ? static_cast<FrameSender&>(*session_.tap_)
                                              : session_.plainSender();
            next.sendFrame(to, frame, length);
        }

    private:
        Session& session_;
    };

    FrameSender& plainSender()
    {
        return options_.printSent ? static_cast<FrameSender&>(printing_) : socket_;
    }

    const SimOptions& options_;
    UdpSocket socket_;
    StdoutLog log_;
    PrintingSender printing_;
    PcapWriter pcap_;
    std::unique_ptr<PcapUdpTap> tap_;
    Wire wire_{*this};
    FaultyLine line_;
    bool started_ = false;
};

int runListen(const SimOptions& o)
{
    Session session(o, FrameDialect::listen);
    if (!session.open(false))
        return simExitFailure;
    TagSim tags(o.tags);
    ListenReader reader(o.listen, tags, session.sender(), session.log());
    char server[24];
    formatNetAddr(server, sizeof server, o.listen.server);
    simStatus(session.log(),
              "readersim mode=listen server=%s local-port=%u name=%s tick-ms=%d duration=%d",
              server, unsigned(session.localPort()), o.listen.deviceName, o.tickMs,
              o.durationSeconds);
    const char* reason = session.run(reader);
    simStatus(session.log(), "stop reason=%s state=%s logins=%d", reason,
              ListenReader::stateName(reader.state()), reader.loginsSent());
    session.printLineSummary();
    return simExitOk;
}

// The direct and the legacy reader: Reader is DirectReader or LegacyReader.
template <class Reader, class Config>
int runWaiting(const SimOptions& o, const Config& config, const char* mode,
               FrameDialect dialect)
{
    Session session(o, dialect);
    if (!session.open(true))
        return simExitFailure;
    TagSim tags(o.tags);
    Reader reader(config, tags, session.sender(), session.log());
    char bound[24];
    formatNetAddr(bound, sizeof bound, NetAddr{o.waitAt.ip, session.localPort()});
    simStatus(session.log(), "readersim mode=%s bind=%s version=%u tick-ms=%d duration=%d", mode,
              bound, unsigned(config.version), o.tickMs, o.durationSeconds);
    reader.printStop(session.run(reader));
    session.printLineSummary();
    return simExitOk;
}

#if defined(READERSIM_SERIAL)
bool stopRequested() { return gStopRequested != 0; }

int runSerial(const SimOptions& o)
{
    SerialSimConfig config = o.serial;
    config.printSent = o.printSent;
    const SerialRunClock clock{o.tickMs, o.durationSeconds, &stopRequested};
    SerialPort port;
    StdoutLog log;
    PcapWriter pcap;
    if (!openCapture(o, pcap, pcapLinkUser0))
        return simExitFailure;
    if (runSerialReader(config, clock, port, log, o.pcapPath[0] ? &pcap : nullptr) ==
        SerialRunEnd::cannotOpen) {
        std::fprintf(stderr, "readersim: cannot open the serial device %s\n", config.device);
        return simExitFailure;
    }
    return simExitOk;
}
#endif

#if defined(READERSIM_LEGACY_SERIAL)
int runLegacySerial(const SimOptions& o)
{
    LegacySerialSimConfig config = o.legacySerial;
    config.printSent = o.printSent;
    const SerialRunClock clock{o.tickMs, o.durationSeconds, &stopRequested};
    SerialPort port;
    StdoutLog log;
    PcapWriter pcap;
    if (!openCapture(o, pcap, pcapLinkUser0))
        return simExitFailure;
    if (runLegacySerialReader(config, clock, port, log, o.pcapPath[0] ? &pcap : nullptr) ==
        SerialRunEnd::cannotOpen) {
        std::fprintf(stderr, "readersim: cannot open the serial device %s\n", config.device);
        return simExitFailure;
    }
    return simExitOk;
}
#endif

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
        std::fputs(simUsage(options.mode).c_str(), stdout);
        return simExitOk;
    }
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
    switch (options.mode) {
    case SimMode::listen:
        return runListen(options);
    case SimMode::direct:
        return runWaiting<DirectReader>(options, options.direct, "direct", FrameDialect::direct);
    case SimMode::legacy:
        return runWaiting<LegacyReader>(options, options.legacy, "legacy", FrameDialect::legacy);
#if defined(READERSIM_SERIAL)
    case SimMode::serial:
        return runSerial(options);
#endif
#if defined(READERSIM_LEGACY_SERIAL)
    case SimMode::legacySerial:
        return runLegacySerial(options);
#endif
    case SimMode::none:
        break;
    }
    return simExitUsage;
}
