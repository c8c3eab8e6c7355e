// The listening console's connection core: checks and dispatches the
// datagrams a reader sends, answers login, auth and heartbeat, feeds the
// tag store and counts the one-second ticks. It owns no socket or thread:
// datagrams come in through onDatagram, frames go out through a FrameSender.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>

#include "console/netAddr.h"
#include "console/netPdu.h"
#include "console/tagStore.h"

constexpr int netAuthWindowTicks = 10;
constexpr int netHeartBeatTicks = 60;
constexpr size_t netChallengeSize = 256;
constexpr size_t netSecretSize = 32;  // device name and password fields (31 bytes + zero)

// The auth state and the reader address, always read and written whole.
struct AuthState {
    uint8_t digest[16];
    uint8_t window;  // ticks left; 0 = no challenge pending
};

class ListenServer {
public:
    ListenServer(TagStore& store, SubstationTable& substations, FrameSender& sender,
                 RandomSource& random);

    // Takes the device name and password (each cut to 31 bytes) and clears
    // any pending challenge. Called before datagrams flow.
    void configure(const char* deviceName, const char* password);
    // Ends the connection: link down, no timeout, no challenge.
    void reset();

    // Receive thread: one datagram from a sender.
    // truncated: cut by the socket to the size bytes held (a length failure).
    void onDatagram(const uint8_t* datagram, size_t size, const NetAddr& from,
                    bool truncated = false);
    // Window thread: the connection tick, after the store's ageing tick.
    void tick();

    bool linkUp() const { return linkUp_.load(); }
    int heartBeatTimeout() const { return heartBeatTimeout_.load(); }
    AuthState authState() const;
    NetAddr readerAddr() const;

    // Window thread: sends a frame of the listening dialect to the linked
    // reader; nothing happens while no reader is linked. The dump uses head.
    bool sendToReader(uint8_t code, const uint8_t* payload, size_t length,
                      const char* head = "net send %d:");

    // The handlers, one per code, public for the tests.
    void netCmdCPLoginAck(const NetAddr& from, const uint8_t* payload, size_t length);
    void netCmdCPAuthAck(const NetAddr& from, const uint8_t* payload, size_t length);
    void onHeartBeat(const NetAddr& from, const uint8_t* payload, size_t length);
    void onLabelReport(const uint8_t* payload, size_t length);

private:
    void send(const NetAddr& to, uint8_t code, const uint8_t* payload, size_t length,
              const char* head = "net send %d:");

    TagStore& store_;
    SubstationTable& substations_;
    FrameSender& sender_;
    RandomSource& random_;

    char deviceName_[netSecretSize] = {};
    char password_[netSecretSize] = {};

    std::atomic<bool> linkUp_{false};
    std::atomic<int> heartBeatTimeout_{0};
    mutable std::mutex authLock_;  // guards auth_ and readerAddr_
    AuthState auth_{};
    NetAddr readerAddr_{};
};
