// Helpers for tests over real loopback UDP: the network stack, bounded
// waits, the traces of a receive thread, and a reader-side socket.
#pragma once
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "console/netPdu.h"
#include "platform/udpSocket.h"

struct NetStack {
    NetStack() { netStackStartup(); }
    ~NetStack() { netStackCleanup(); }
};

// Polls until cond holds or about five seconds pass: waiting for datagrams
// to cross the loopback, not measuring time.
template <class Cond>
bool eventually(Cond cond)
{
    for (int i = 0; i < 500; ++i) {
        if (cond())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return cond();
}

// The traces, written on a receive thread (and the test's) and read by the
// test: every access holds the lock.
class SharedTrace {
public:
    SharedTrace() { netTraceSetSink(collect, this); }
    ~SharedTrace() { netTraceSetSink(nullptr, nullptr); }
    bool contains(const std::string& text) const { return count(text) > 0; }
    // How many traces equal text, or begin with it when prefix is set.
    int count(const std::string& text, bool prefix = false) const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        int n = 0;
        for (const auto& l : lines_)
            if (prefix ? l.compare(0, text.size(), text) == 0 : l == text)
                ++n;
        return n;
    }
    std::vector<std::string> lines() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return lines_;
    }

private:
    static void collect(void* context, const char* text)
    {
        SharedTrace* self = static_cast<SharedTrace*>(context);
        std::lock_guard<std::mutex> lock(self->mutex_);
        self->lines_.emplace_back(text);
    }
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

// A reader's socket on an ephemeral loopback port.
struct LoopbackClient {
    UdpSocket socket;
    LoopbackClient()
    {
        int e = 0;
        socket.create(&e);
        socket.bindTo(NetAddr{0x7F000001, 0}, &e);
    }
    void send(uint16_t port, const std::vector<uint8_t>& datagram)
    {
        socket.sendTo(NetAddr{0x7F000001, port}, datagram.data(), datagram.size());
    }
    // The next datagram (up to 2048 bytes), or nothing after about five seconds.
    std::vector<uint8_t> receive()
    {
        if (!socket.waitReadable(5000))
            return {};
        uint8_t buf[2048];
        NetAddr from;
        int e = 0;
        const long n = socket.receive(buf, sizeof buf, &from, &e);
        return n > 0 ? std::vector<uint8_t>(buf, buf + n) : std::vector<uint8_t>{};
    }
};
