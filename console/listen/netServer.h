// The listening server: a UDP socket on the chosen port, the receive thread
// that checks and dispatches every datagram, and the connection core.
#pragma once
#include <atomic>
#include <cstdint>
#include <thread>

#include "console/listen/listenServer.h"
#include "platform/udpSocket.h"

constexpr int netSocketBufferBytes = 0x80000;

enum : int { netOpenOk = 0, netOpenFailed = 1, netOpenInUse = 2 };

class NetServer {
public:
    NetServer(TagStore& store, SubstationTable& substations, RandomSource& random);
    ~NetServer();

    // 0 success, 1 failure, 2 port already in use.
    int netServerOpen(uint16_t port, const char* deviceName, const char* password);
    // Closes the socket, ends the connection and joins the receive thread.
    void netServerClose();
    // The one-second connection tick.
    void tick() { core_.tick(); }

    ListenServer& core() { return core_; }
    const ListenServer& core() const { return core_; }
    bool netRecvRunning() const { return netRecvRunning_.load(); }
    uint16_t boundPort() const { return socket_.localPort(); }
    // Datagrams handed to the core since the program started.
    uint64_t datagramsReceived() const { return received_.load(std::memory_order_relaxed); }

private:
    void netRecvThread();

    UdpSocket socket_;
    SubstationTable& substations_;
    ListenServer core_;
    std::atomic<bool> netRecvRunning_{false};
    std::atomic<uint64_t> received_{0};
    std::thread thread_;
};
