// A listening core wired to recording fakes: every frame it sends is kept
// with its destination, and the challenge comes from a counter.
#pragma once
#include <cstring>
#include <string>
#include <vector>

#include "common/md5.h"
#include "console/listen/listenServer.h"

using Bytes = std::vector<uint8_t>;

struct SentFrame {
    NetAddr to;
    Bytes bytes;
    uint8_t code() const { return bytes.size() > 5 ? bytes[5] : 0; }
    Bytes payload() const { return Bytes(bytes.begin() + 10, bytes.end()); }
};

class RecordingSender : public FrameSender {
public:
    std::vector<SentFrame> frames;
    void sendFrame(const NetAddr& to, const uint8_t* frame, size_t length) override
    {
        frames.push_back({to, Bytes(frame, frame + length)});
    }
};

class CountingRandom : public RandomSource {
public:
    // Each fill starts one higher than the last, so two challenges differ.
    uint8_t start = 0;
    void fill(uint8_t* out, size_t count) override
    {
        for (size_t i = 0; i < count; ++i)
            out[i] = uint8_t(start + i);
        ++start;
    }
};

// A frame with the given version byte (the direct dialects write 0, 2 or 4).
inline Bytes frameV(uint8_t version, uint8_t code, const Bytes& payload)
{
    uint8_t out[netMaxDatagram + 64];
    const size_t n =
        netPduBuildVersion(out, sizeof out, version, code, payload.data(), payload.size());
    return Bytes(out, out + n);
}

inline Bytes frameOf(uint8_t code, const Bytes& payload)
{
    return frameV(netVersionListen, code, payload);
}

inline Bytes text(const char* s, bool withZero = true)
{
    Bytes b(s, s + std::strlen(s));
    if (withZero)
        b.push_back(0);
    return b;
}

// The reader's answer: MD5 over the challenge and the zero-padded password.
inline Bytes answerFor(const Bytes& challenge, const char* password)
{
    uint8_t message[288] = {};
    std::memcpy(message, challenge.data(), 256);
    std::memcpy(message + 256, password, std::strlen(password));
    uint8_t d[16];
    Md5::digest(message, sizeof message, d);
    return Bytes(d, d + 16);
}

inline Bytes tagReport(uint32_t id, uint8_t sub, uint8_t status, int8_t rssi,
                       const Bytes& extra = {})
{
    Bytes p = {0xA1, 0xA2, 0xA3, 0xA4, sub, uint8_t(id >> 24), uint8_t(id >> 16),
               uint8_t(id >> 8), uint8_t(id), status};
    p.insert(p.end(), extra.begin(), extra.end());
    p.push_back(uint8_t(rssi));
    return frameOf(netCodeLabelReport, p);
}

inline Bytes heartBeat(const Bytes& states, int announced = -1)
{
    Bytes p = {0, 0, 0, 0, uint8_t(announced < 0 ? states.size() : size_t(announced))};
    p.insert(p.end(), states.begin(), states.end());
    return frameOf(netCodeHeartBeatReq, p);
}

class ListenFixture {
public:
    TagStore store;
    SubstationTable substations;
    RecordingSender sender;
    CountingRandom random;
    ListenServer server{store, substations, sender, random};
    NetAddr reader{0x7F000001, 40001};

    ListenFixture()
    {
        store.clear();
        server.configure("dev001", "314159");
    }

    void deliver(const Bytes& datagram, const NetAddr& from)
    {
        server.onDatagram(datagram.data(), datagram.size(), from);
    }
    void deliver(const Bytes& datagram) { deliver(datagram, reader); }

    // Logs in and returns the challenge of the accepting ack (empty if none).
    Bytes login(const NetAddr& from)
    {
        sender.frames.clear();
        deliver(frameOf(netCodeLoginReq, text("dev001")), from);
        if (sender.frames.size() != 1 || sender.frames[0].bytes.size() != 267)
            return {};
        const Bytes p = sender.frames[0].payload();
        return Bytes(p.begin() + 1, p.end());
    }

    bool authenticate(const NetAddr& from)
    {
        const Bytes challenge = login(from);
        if (challenge.empty())
            return false;
        deliver(frameOf(netCodeAuthReq, answerFor(challenge, "314159")), from);
        return server.linkUp();
    }
    bool authenticate() { return authenticate(reader); }

    void ticks(int n)
    {
        for (int i = 0; i < n; ++i)
            server.tick();
    }
};
