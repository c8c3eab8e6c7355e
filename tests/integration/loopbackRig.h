// The software reader's core and the real listening server over loopback
// UDP, both in this process. The server runs its own receive thread; the
// reader is pumped by the test: every datagram that reaches its socket is
// handed to it, with bounded waits. Ticks of both sides are the test's.
#pragma once
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "console/listen/netServer.h"
#include "tests/unit/loopback.h"
#include "tests/unit/readersim/readerFixture.h"
#include "tools/readersim/listenReader.h"

// The listening server on a free loopback port with the default identity.
struct ServerRig {
    NetStack stack;
    TagStore store;
    SubstationTable substations;
    SystemRandom random;
    NetServer server{store, substations, random};
    uint16_t port = 0;

    ServerRig()
    {
        store.clear();  // as a start from the main window does
        if (server.netServerOpen(0, "dev001", "314159") == netOpenOk)
            port = server.boundPort();
    }
    bool linkUp() const { return server.core().linkUp(); }
    void ticks(int n)
    {
        for (int i = 0; i < n; ++i)
            server.tick();
    }

    // Returns once the server has handled every datagram sent to it before
    // the call: a login with an unknown name from another socket is
    // answered only after them, since the server reads one queue in order.
    bool barrier()
    {
        UdpSocket probe;
        int e = 0;
        if (!probe.create(&e) || probe.bindTo(NetAddr{0x7F000001, 0}, &e) != UdpBind::ok)
            return false;
        const Bytes login = frameOf(netCodeLoginReq, text("probe"));
        probe.sendTo(NetAddr{0x7F000001, port}, login.data(), login.size());
        if (!probe.waitReadable(5000))
            return false;
        uint8_t buf[64];
        NetAddr from;
        return probe.receive(buf, sizeof buf, &from, &e) == 11;
    }
};

// The reader's core on a loopback socket of its own.
class LoopbackReader {
public:
    UdpSocket socket;
    RecordingLog log;

    LoopbackReader(ListenReaderConfig config, const TagSimConfig& tagConfig, uint16_t serverPort)
        : tags_(tagConfig)
    {
        int e = 0;
        socket.create(&e);
        socket.bindTo(NetAddr{0x7F000001, 0}, &e);
        config.server = NetAddr{0x7F000001, serverPort};
        reader_.reset(new ListenReader(config, tags_, socket, log));
    }

    ListenReader& reader() { return *reader_; }
    ListenReader::State state() const { return reader_->state(); }

    // Hands over every datagram already waiting on the socket.
    void pumpAvailable()
    {
        while (socket.waitReadable(0))
            receiveOne();
    }

    // Hands over datagrams as they come until cond holds (about five seconds at most).
    template <class Cond>
    bool pumpUntil(Cond cond)
    {
        for (int i = 0; i < 500; ++i) {
            if (cond())
                return true;
            if (socket.waitReadable(10))
                receiveOne();
        }
        return cond();
    }

    bool logged(const std::string& line) const { return log.contains(line); }
    bool loggedPrefix(const std::string& prefix) const
    {
        for (const auto& l : log.lines)
            if (l.compare(0, prefix.size(), prefix) == 0)
                return true;
        return false;
    }

    // Starts and pumps until the reader is linked.
    bool link()
    {
        reader_->start();
        return pumpUntil([&] { return state() == ListenReader::State::linked; });
    }

private:
    void receiveOne()
    {
        uint8_t buf[2048];
        NetAddr from;
        int e = 0;
        const long n = socket.receive(buf, sizeof buf, &from, &e);
        if (n >= 0)
            reader_->onDatagram(buf, size_t(n), from);
    }

    TagSim tags_;
    std::unique_ptr<ListenReader> reader_;
};
