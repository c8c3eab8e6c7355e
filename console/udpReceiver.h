// One UDP socket and the receive thread that hands every datagram to a
// handler. The consoles' links are built on it: the listening server binds
// the chosen port, the direct links an ephemeral one.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

#include "console/netAddr.h"
#include "platform/udpSocket.h"

class DatagramHandler {
public:
    virtual ~DatagramHandler() = default;
    // truncated: the datagram was longer than the receive buffer and holds
    // only its first size bytes.
    virtual void onDatagram(const uint8_t* datagram, size_t size, const NetAddr& from,
                            bool truncated) = 0;
};

class UdpReceiver {
public:
    // traceErrors: a failed receive is traced as "errno = %d\r\n".
    UdpReceiver(DatagramHandler& handler, bool traceErrors)
        : handler_(handler), traceErrors_(traceErrors)
    {
    }
    ~UdpReceiver() { close(); }

    // Creates the socket and binds it to all interfaces on port (0 = an
    // ephemeral port); 0 success, 1 failure, 2 port in use, as the listening
    // server reports them. bufferBytes > 0 sets both socket buffers.
    int open(uint16_t port, int bufferBytes, const char* who);
    // Closes the socket and joins the receive thread: afterwards no thread
    // runs and no datagram is handled.
    void close();

    // How open() starts the receive thread; nullptr (the default) is a plain
    // std::thread. A test puts a starter that throws std::system_error, as
    // std::thread does when the system cannot create a thread.
    using ThreadStarter = std::thread (*)(std::function<void()> body);
    void setThreadStarter(ThreadStarter starter) { starter_ = starter; }

    bool running() const { return running_.load(); }
    UdpSocket& socket() { return socket_; }
    const UdpSocket& socket() const { return socket_; }
    uint64_t datagramsReceived() const { return received_.load(std::memory_order_relaxed); }

private:
    void loop();

    DatagramHandler& handler_;
    const bool traceErrors_;
    UdpSocket socket_;
    std::atomic<bool> running_{false};
    std::atomic<uint64_t> received_{0};
    std::thread thread_;
    ThreadStarter starter_ = nullptr;
};
