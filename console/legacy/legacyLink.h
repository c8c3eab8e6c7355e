// The legacy console's link core: the older variant of the direct dialect.
// Logs in with a 32-byte login, keeps the link with heartbeats every 10 s,
// counts it lost after 30 s without any valid frame, and stores tag reports
// whether or not the login was accepted.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>

#include "console/consoleLink.h"
#include "console/directCodes.h"
#include "console/netAddr.h"
#include "console/netPdu.h"
#include "console/tagStore.h"

constexpr int legacyStoreCapacity = 1000;
constexpr int legacyLoginRetry = 3;
constexpr int legacyHeartBeatPeriod = 10;
constexpr int legacySilenceLimit = 30;
constexpr size_t legacySmsPayload = 124;

class LegacyLink {
public:
    LegacyLink(TagStore& store, SubstationTable& substations, FrameSender& sender);

    // Start: the reader's address; the first login leaves at the first tick.
    void open(uint32_t readerIp);
    void close();
    // truncated: cut by the socket to the size bytes held (a length failure).
    void onDatagram(const uint8_t* datagram, size_t size, const NetAddr& from,
                    bool truncated = false);
    void netClientTick();

    bool linkUp() const { return linkUp_.load(); }
    int retryCountdown() const { return retryCountdown_.load(); }
    int silenceCount() const { return silenceCount_.load(); }
    NetAddr readerAddr() const;

    void sendLogin();
    void sendHeartBeat();
    void sendLabelAlarm(const CallFrame& call);
    void sendSms(const SmsFrame& sms);

private:
    void send(uint8_t version, uint8_t code, const uint8_t* payload, size_t length);

    TagStore& store_;
    SubstationTable& substations_;
    FrameSender& sender_;

    mutable std::mutex lock_;
    NetAddr readerAddr_{};
    std::atomic<bool> linkUp_{false};
    std::atomic<int> retryCountdown_{0};
    std::atomic<int> silenceCount_{0};
};

// The 124-byte short-message payload, text zero-padded to its 110-byte field.
void legacySmsPayloadBytes(const SmsFrame& sms, uint8_t out[legacySmsPayload]);
