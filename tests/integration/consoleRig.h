// The connecting and the legacy console's link cores against the software
// reader over loopback UDP, both in this process. The console core runs on
// a UdpReceiver (its own socket and receive thread), as ClientLink runs it
// in the programs; the reader is pumped by the test. Ticks of both sides
// are the test's.
//
// The console cores send to port 4099 of the reader's address. The rig's
// sender redirects that one port to the reader's port, so the in-process
// tests bind an ephemeral loopback port each, run side by side and do not
// depend on 4099 being free; every other destination (the link ack goes to
// the link request's sender) is left as it is.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "console/connect/directLink.h"
#include "console/legacy/legacyLink.h"
#include "console/udpReceiver.h"
#include "tests/integration/loopbackRig.h"
#include "tests/unit/readersim/waitingFixture.h"

class RedirectingSender : public FrameSender {
public:
    explicit RedirectingSender(UdpSocket& socket) : socket_(socket) {}
    uint16_t readerPort = devReaderPort;
    void sendFrame(const NetAddr& to, const uint8_t* frame, size_t length) override
    {
        NetAddr target = to;
        if (target.port == devReaderPort)
            target.port = readerPort;
        socket_.sendTo(target, frame, length);
    }

private:
    UdpSocket& socket_;
};

// Core is DirectLink or LegacyLink.
template <class Core>
class ConsoleRig : private DatagramHandler {
public:
    NetStack stack;
    TagStore store;
    SubstationTable substations;

    explicit ConsoleRig(uint16_t readerPort)
    {
        redirect_.readerPort = readerPort;
        store.clear();  // as a start from the main window does
        opened_ = receiver_.open(0, 0, "consoleRig") == 0;
    }
    ~ConsoleRig() override { receiver_.close(); }

    bool opened() const { return opened_; }
    uint16_t port() const { return receiver_.socket().localPort(); }
    Core& core() { return core_; }
    void ticks(int n)
    {
        for (int i = 0; i < n; ++i)
            core_.netClientTick();
    }
    // Waits until the console has handled `count` datagrams in all.
    bool handled(uint64_t count)
    {
        return eventually([&] { return receiver_.datagramsReceived() >= count; });
    }

private:
    void onDatagram(const uint8_t* datagram, size_t size, const NetAddr& from,
                    bool truncated) override
    {
        core_.onDatagram(datagram, size, from, truncated);
    }

    UdpReceiver receiver_{*this, false};
    RedirectingSender redirect_{receiver_.socket()};
    Core core_{store, substations, redirect_};
    bool opened_ = false;
};

// Counts what the reader sends, for the console-side barrier.
class CountingSender : public FrameSender {
public:
    explicit CountingSender(FrameSender& inner) : inner_(inner) {}
    uint64_t sent = 0;
    void sendFrame(const NetAddr& to, const uint8_t* frame, size_t length) override
    {
        ++sent;
        inner_.sendFrame(to, frame, length);
    }

private:
    FrameSender& inner_;
};

// A direct or legacy reader's core on a loopback socket of its own; every
// datagram it is handed is kept as received.
template <class Reader, class Config>
class WaitingLoopbackReader {
public:
    UdpSocket socket;
    RecordingLog log;
    std::vector<Bytes> received;

    WaitingLoopbackReader(const Config& config, const TagSimConfig& tagConfig)
        : counting_(socket), tags_(tagConfig)
    {
        int e = 0;
        socket.create(&e);
        socket.bindTo(NetAddr{0x7F000001, 0}, &e);
        reader_.reset(new Reader(config, tags_, counting_, log));
        reader_->start();
    }

    Reader& reader() { return *reader_; }
    uint16_t port() const { return socket.localPort(); }
    uint64_t sent() const { return counting_.sent; }
    bool linked() const { return reader_->state() == WaitingReader::State::linked; }

    void ticks(int n)
    {
        for (int i = 0; i < n; ++i)
            reader_->tick();
    }

    // Hands over every datagram already waiting: a frame sent on loopback
    // before the call is waiting by then.
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

    // Pumps until a datagram with this code has arrived; returns the last
    // one (empty if none came).
    Bytes awaitCode(uint8_t code)
    {
        const size_t seen = countCode(code);
        pumpUntil([&] { return countCode(code) > seen; });
        for (auto it = received.rbegin(); it != received.rend(); ++it)
            if (it->size() > 5 && (*it)[5] == code)
                return *it;
        return {};
    }

    size_t countCode(uint8_t code) const
    {
        size_t n = 0;
        for (const Bytes& d : received)
            if (d.size() > 5 && d[5] == code)
                ++n;
        return n;
    }

    bool logged(const std::string& line) const { return log.contains(line); }
    bool loggedPrefix(const std::string& prefix) const
    {
        for (const auto& l : log.lines)
            if (l.compare(0, prefix.size(), prefix) == 0)
                return true;
        return false;
    }

private:
    void receiveOne()
    {
        uint8_t buf[2048];
        NetAddr from;
        int e = 0;
        const long n = socket.receive(buf, sizeof buf, &from, &e);
        if (n < 0)
            return;
        received.emplace_back(buf, buf + n);
        reader_->onDatagram(buf, size_t(n), from);
    }

    CountingSender counting_;
    TagSim tags_;
    std::unique_ptr<Reader> reader_;
};

using DirectLoopbackReader = WaitingLoopbackReader<DirectReader, DirectReaderConfig>;
using LegacyLoopbackReader = WaitingLoopbackReader<LegacyReader, LegacyReaderConfig>;
