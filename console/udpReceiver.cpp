#include "console/udpReceiver.h"

#include <chrono>
#include <exception>

#include "console/netPdu.h"

int UdpReceiver::open(uint16_t port, int bufferBytes, const char* who)
{
    close();  // exactly one socket and one receive thread
    int error = 0;
    if (!socket_.create(&error)) {
        netTrace("%s create socket fail\r\n", who);
        return 1;
    }
    const UdpBind bound = socket_.bindAny(port, &error);
    if (bound != UdpBind::ok) {
        socket_.close();
        netTrace("%s bind socket fail %d\r\n", who, error);
        return bound == UdpBind::inUse ? 2 : 1;
    }
    if (bufferBytes > 0) {
        if (!socket_.setSendBuffer(bufferBytes))
            netTrace("%s %d can not set socket send buffer size", __FILE__, __LINE__);
        if (!socket_.setReceiveBuffer(bufferBytes))
            netTrace("%s %d can not set socket receive buffer size", __FILE__, __LINE__);
    }
    running_.store(true);
    try {
        if (starter_)
            thread_ = starter_([this] { loop(); });
        else
            thread_ = std::thread(&UdpReceiver::loop, this);
    } catch (const std::exception&) {
        // No thread to receive on (std::system_error): undo the start, so
        // the caller reports a failed start and a later Start begins afresh.
        running_.store(false);
        socket_.close();
        netTrace("%s create thread fail\r\n", who);
        return 1;
    }
    return 0;
}

void UdpReceiver::close()
{
    running_.store(false);
    socket_.interrupt();
    if (thread_.joinable())
        thread_.join();
    socket_.close();
}

void UdpReceiver::loop()
{
    uint8_t datagram[netMaxDatagram];
    while (running_.load()) {
        NetAddr from;
        int error = 0;
        bool truncated = false;
        const long n = socket_.receive(datagram, sizeof datagram, &from, &error, &truncated);
        if (!running_.load())
            break;
        if (n < 0) {
            if (traceErrors_)
                netTrace("errno = %d\r\n", error);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        handler_.onDatagram(datagram, size_t(n), from, truncated);
        received_.fetch_add(1, std::memory_order_relaxed);
    }
}
