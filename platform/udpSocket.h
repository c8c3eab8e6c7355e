// A UDP socket over Winsock or POSIX sockets. The header is free of OS types
// so the portable code can hold one.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "console/netAddr.h"

enum class UdpBind { ok = 0, failed = 1, inUse = 2 };

// Brings the network stack up once per process (Winsock 2.2); a no-op on
// POSIX. Returns false when the stack is not usable.
bool netStackStartup();
void netStackCleanup();

class UdpSocket : public FrameSender {
public:
    UdpSocket() = default;
    ~UdpSocket() override;
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    // Creates an IPv4 UDP socket. False on failure, with the OS error code.
    bool create(int* osError);
    // Binds to all interfaces on port (0 = any free port).
    UdpBind bindAny(uint16_t port, int* osError);
    // Binds to one address (for a client that wants loopback only).
    UdpBind bindTo(const NetAddr& local, int* osError);
    bool setSendBuffer(int bytes);
    bool setReceiveBuffer(int bytes);
    // Blocks for one datagram. Returns the bytes placed in buffer, or -1
    // with the OS error. A datagram longer than capacity arrives cut to
    // capacity bytes and sets *truncated; a whole one clears it.
    // After interrupt() it returns -1 or 0 promptly.
    long receive(uint8_t* buffer, size_t capacity, NetAddr* from, int* osError,
                 bool* truncated = nullptr);
    // Waits up to timeoutMs for a datagram to be readable (for tools and tests).
    bool waitReadable(int timeoutMs);
    bool sendTo(const NetAddr& to, const uint8_t* data, size_t size);
    void sendFrame(const NetAddr& to, const uint8_t* frame, size_t length) override
    {
        sendTo(to, frame, length);
    }
    // Wakes a receive blocked on another thread; the socket accepts no more
    // datagrams. close() must still follow once that thread has left.
    void interrupt();
    void close();
    bool isOpen() const;
    uint16_t localPort() const;

private:
    std::atomic<intptr_t> handle_{-1};
    std::atomic<bool> interrupted_{false};
};

// The address this host sends from toward peer: a route lookup through a
// connected UDP socket that sends nothing. False when there is no route.
bool udpLocalAddressToward(const NetAddr& peer, uint32_t* ip);

// Random bytes from the operating system's cryptographic source.
void systemRandomFill(uint8_t* out, size_t count);

class SystemRandom : public RandomSource {
public:
    void fill(uint8_t* out, size_t count) override { systemRandomFill(out, count); }
};

// "a.b.c.d" to a host-order address; false for anything else.
bool parseIpv4(const char* text, uint32_t* ip);
