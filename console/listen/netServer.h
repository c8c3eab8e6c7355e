// The listening server: a UDP socket on the chosen port, the receive thread
// that checks and dispatches every datagram, and the connection core.
#pragma once
#include <cstdint>

#include "console/listen/listenServer.h"
#include "console/udpReceiver.h"

constexpr int netSocketBufferBytes = 0x80000;

enum : int { netOpenOk = 0, netOpenFailed = 1, netOpenInUse = 2 };

class NetServer : private DatagramHandler {
public:
    NetServer(TagStore& store, SubstationTable& substations, RandomSource& random);
    ~NetServer() override;

    // 0 success, 1 failure, 2 port already in use.
    int netServerOpen(uint16_t port, const char* deviceName, const char* password);
    // Closes the socket, ends the connection and joins the receive thread.
    void netServerClose();
    // The one-second connection tick.
    void tick() { core_.tick(); }

    ListenServer& core() { return core_; }
    const ListenServer& core() const { return core_; }
    UdpReceiver& receiver() { return receiver_; }
    bool netRecvRunning() const { return receiver_.running(); }
    uint16_t boundPort() const { return receiver_.socket().localPort(); }
    // Datagrams handed to the core since the program started.
    uint64_t datagramsReceived() const { return receiver_.datagramsReceived(); }

private:
    void onDatagram(const uint8_t* datagram, size_t size, const NetAddr& from,
                    bool truncated) override
    {
        core_.onDatagram(datagram, size, from, truncated);
    }

    SubstationTable& substations_;
    UdpReceiver receiver_;
    ListenServer core_;
};
