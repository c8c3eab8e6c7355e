// The connecting console's link core: logs in to one reader as "admin",
// retries, keeps the link with heartbeats (readers below version 4) or on
// the reader's link requests (version 4 on), and feeds the tag store. Driven
// by datagrams and one-second ticks; frames leave through a FrameSender.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>

#include "console/consoleLink.h"
#include "console/directCodes.h"
#include "console/netAddr.h"
#include "console/netPdu.h"
#include "console/tagStore.h"

constexpr int devLoginFirstRetry = 3;
constexpr int devLoginRetry = 5;
constexpr int devHeartBeatPeriod = 15;
constexpr int devLinkTimeout = 60;

class DirectLink {
public:
    DirectLink(TagStore& store, SubstationTable& substations, FrameSender& sender);

    // Start: the reader's address (port 4099), login sent at once.
    void open(uint32_t readerIp);
    void close();  // every field cleared; nothing is sent
    // truncated: cut by the socket to the size bytes held (a length failure).
    void onDatagram(const uint8_t* datagram, size_t size, const NetAddr& from,
                    bool truncated = false);
    void netClientTick();

    bool linkUp() const { return linkUp_.load(); }
    int loginState() const { return loginState_.load(); }
    unsigned readerVersion() const { return readerVersion_.load(); }
    int retryCountdown() const { return retryCountdown_.load(); }
    int heartBeatTimeout() const { return heartBeatTimeout_.load(); }
    NetAddr readerAddr() const;

    void sendLogin();
    void sendHeartBeat();
    void sendLinkAck(const NetAddr& to);
    void sendLabelAlarm(const CallFrame& call);
    void sendSms(const SmsFrame& sms);

private:
    void send(const NetAddr& to, uint8_t version, uint8_t code, const uint8_t* payload,
              size_t length, const char* head = "net send %d:", bool lowerCase = false);
    uint8_t commandVersion() const { return readerVersion_.load() >= 4 ? 4 : 2; }
    void copyStates(const uint8_t* states, size_t available, size_t announced);
    void onLabelReport(const uint8_t* payload, size_t length);
    void restartTimeout();

    TagStore& store_;
    SubstationTable& substations_;
    FrameSender& sender_;

    mutable std::mutex lock_;  // read-modify-write of the fields below
    NetAddr readerAddr_{};
    std::atomic<bool> linkUp_{false};
    std::atomic<int> loginState_{0};
    std::atomic<unsigned> readerVersion_{0};
    std::atomic<int> retryCountdown_{0};
    std::atomic<int> heartBeatTimeout_{0};
};
