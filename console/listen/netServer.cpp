#include "console/listen/netServer.h"

#include <chrono>

NetServer::NetServer(TagStore& store, SubstationTable& substations, RandomSource& random)
    : substations_(substations), core_(store, substations, socket_, random)
{
}

NetServer::~NetServer() { netServerClose(); }

int NetServer::netServerOpen(uint16_t port, const char* deviceName, const char* password)
{
    netServerClose();  // exactly one socket and one receive thread
    int error = 0;
    if (!socket_.create(&error)) {
        netTrace("netServerOpen create socket fail\r\n");
        return netOpenFailed;
    }
    const UdpBind bound = socket_.bindAny(port, &error);
    if (bound != UdpBind::ok) {
        socket_.close();
        netTrace("netServerOpen bind socket fail %d\r\n", error);
        return bound == UdpBind::inUse ? netOpenInUse : netOpenFailed;
    }
    if (!socket_.setSendBuffer(netSocketBufferBytes))
        netTrace("%s %d can not set socket send buffer size", __FILE__, __LINE__);
    if (!socket_.setReceiveBuffer(netSocketBufferBytes))
        netTrace("%s %d can not set socket receive buffer size", __FILE__, __LINE__);

    core_.configure(deviceName, password);
    substations_.reset();
    netRecvRunning_.store(true);
    thread_ = std::thread(&NetServer::netRecvThread, this);
    return netOpenOk;
}

void NetServer::netServerClose()
{
    netRecvRunning_.store(false);
    socket_.interrupt();
    if (thread_.joinable())
        thread_.join();
    socket_.close();
    core_.reset();
}

void NetServer::netRecvThread()
{
    uint8_t datagram[netMaxDatagram];
    while (netRecvRunning_.load()) {
        NetAddr from;
        int error = 0;
        const long n = socket_.receive(datagram, sizeof datagram, &from, &error);
        if (!netRecvRunning_.load())
            break;
        if (n < 0) {
            netTrace("errno = %d\r\n", error);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        core_.onDatagram(datagram, size_t(n), from);
        received_.fetch_add(1, std::memory_order_relaxed);
    }
    netRecvRunning_.store(false);
}
