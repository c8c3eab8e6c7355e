// The capture that "readersim --pcap FILE" writes: a plain pcap file (the
// classic format, microsecond time stamps, host byte order), one record per
// datagram or serial read/write, each flushed as it is written so that a
// capture survives an interrupted run.
//
//   UDP     link type 101 (raw IPv4): an IPv4 and a UDP header with the real
//           addresses and ports, then the datagram.
//   serial  link type 147 (DLT_USER0): one direction byte (0 = PC to reader,
//           1 = reader to PC), then the bytes of one read or one write.
//
// tools/wireshark/tagdesk.lua decodes both (docs/wireshark.md).
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "console/netAddr.h"
#if defined(READERSIM_SERIAL)
#include "serial/comPort.h"
#endif

constexpr uint32_t pcapLinkRawIp = 101;
constexpr uint32_t pcapLinkUser0 = 147;
enum : uint8_t { pcapToReader = 0, pcapFromReader = 1 };

class PcapWriter {
public:
    PcapWriter() = default;
    ~PcapWriter();
    PcapWriter(const PcapWriter&) = delete;
    PcapWriter& operator=(const PcapWriter&) = delete;

    // Creates (or truncates) path and writes the file header. False when the
    // file cannot be written.
    bool open(const char* path, uint32_t linkType);
    bool isOpen() const { return file_ != nullptr; }
    void close();

    // One UDP datagram from `from` to `to`, wrapped in IPv4 and UDP headers.
    void writeUdp(const NetAddr& from, const NetAddr& to, const uint8_t* payload, size_t size);
    // The bytes of one serial read or write behind the direction byte.
    void writeSerial(uint8_t direction, const uint8_t* bytes, size_t count);

private:
    // One record: the head, then the body, with the current time.
    void writeRecord(const uint8_t* head, size_t headSize, const uint8_t* body, size_t bodySize);

    std::FILE* file_ = nullptr;
    uint16_t ipId_ = 0;
};

// The reader's UDP traffic into a capture: it sits in front of the sender
// for what goes out and is handed every received datagram. A socket bound
// to all interfaces has no address of its own; the address toward each
// peer then comes from routeSource (the last answer is kept).
class PcapUdpTap : public FrameSender {
public:
    using RouteSource = bool (*)(const NetAddr& peer, uint32_t* ip);
    PcapUdpTap(PcapWriter& pcap, FrameSender& inner, const NetAddr& local, RouteSource routeSource)
        : pcap_(pcap), inner_(inner), local_(local), routeSource_(routeSource)
    {
    }
    void sendFrame(const NetAddr& to, const uint8_t* frame, size_t length) override;
    void received(const uint8_t* datagram, size_t size, const NetAddr& from);

private:
    NetAddr localToward(const NetAddr& peer);

    PcapWriter& pcap_;
    FrameSender& inner_;
    NetAddr local_;
    RouteSource routeSource_;
    NetAddr lastPeer_{};
    uint32_t lastIp_ = 0;
};

#if defined(READERSIM_SERIAL)
// A serial device that records every read (PC to reader) and write (reader
// to PC) into the capture, when there is one, and otherwise only passes
// the calls on.
class PcapSerialTap : public SerialDevice {
public:
    PcapSerialTap(SerialDevice& inner, PcapWriter* pcap) : inner_(inner), pcap_(pcap) {}
    uint32_t probeComPorts() override { return inner_.probeComPorts(); }
    bool openComPort(int number) override { return inner_.openComPort(number); }
    void closeComPort() override { inner_.closeComPort(); }
    bool isOpen() const override { return inner_.isOpen(); }
    void writeComBytes(const uint8_t* bytes, size_t count) override;
    long readComBytes(uint8_t* buffer, size_t capacity, int timeoutMs) override;

private:
    SerialDevice& inner_;
    PcapWriter* pcap_;
};
#endif
