#include "tools/readersim/pcapWriter.h"

#include <chrono>

namespace {

constexpr uint32_t kMagic = 0xA1B2C3D4;  // microsecond time stamps
constexpr uint32_t kSnapLength = 65535;
constexpr size_t kIpHeader = 20, kUdpHeader = 8;

void put16(uint8_t* p, uint16_t v)
{
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}

void put32(uint8_t* p, uint32_t v)
{
    put16(p, uint16_t(v >> 16));
    put16(p + 2, uint16_t(v));
}

// The IPv4 header checksum: the ones' complement of the ones' complement sum.
uint16_t ipChecksum(const uint8_t* header)
{
    uint32_t sum = 0;
    for (size_t i = 0; i < kIpHeader; i += 2)
        sum += uint32_t(header[i] << 8 | header[i + 1]);
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return uint16_t(~sum);
}

}  // namespace

PcapWriter::~PcapWriter() { close(); }

bool PcapWriter::open(const char* path, uint32_t linkType)
{
    close();
    file_ = std::fopen(path, "wb");
    if (!file_)
        return false;
    // The file header in the writer's byte order, which readers tell from
    // the magic: magic, version 2.4, time zone 0, accuracy 0, snap length, link type.
    const uint32_t magic = kMagic;
    const uint16_t version[2] = {2, 4};
    const uint32_t rest[4] = {0, 0, kSnapLength, linkType};
    const bool ok = std::fwrite(&magic, 4, 1, file_) == 1 && std::fwrite(version, 2, 2, file_) == 2 &&
                    std::fwrite(rest, 4, 4, file_) == 4 && std::fflush(file_) == 0;
    if (!ok)
        close();
    return ok;
}

void PcapWriter::close()
{
    if (file_)
        std::fclose(file_);
    file_ = nullptr;
}

void PcapWriter::writeRecord(const uint8_t* head, size_t headSize, const uint8_t* body,
                             size_t bodySize)
{
    if (!file_)
        return;
    const auto since = std::chrono::system_clock::now().time_since_epoch();
    const long long us = std::chrono::duration_cast<std::chrono::microseconds>(since).count();
    const uint32_t length = uint32_t(headSize + bodySize);
    const uint32_t record[4] = {uint32_t(us / 1000000), uint32_t(us % 1000000),
                                length < kSnapLength ? length : kSnapLength, length};
    std::fwrite(record, 4, 4, file_);
    std::fwrite(head, 1, headSize, file_);
    const size_t room = kSnapLength - (headSize < kSnapLength ? headSize : kSnapLength);
    if (bodySize > 0)
        std::fwrite(body, 1, bodySize < room ? bodySize : room, file_);
    std::fflush(file_);
}

void PcapWriter::writeUdp(const NetAddr& from, const NetAddr& to, const uint8_t* payload,
                          size_t size)
{
    uint8_t head[kIpHeader + kUdpHeader] = {};
    head[0] = 0x45;  // version 4, five words of header
    put16(head + 2, uint16_t(kIpHeader + kUdpHeader + size));
    put16(head + 4, ipId_++);
    head[6] = 0x40;  // don't fragment
    head[8] = 64;    // time to live
    head[9] = 17;    // UDP
    put32(head + 12, from.ip);
    put32(head + 16, to.ip);
    put16(head + 10, ipChecksum(head));
    uint8_t* udp = head + kIpHeader;
    put16(udp, from.port);
    put16(udp + 2, to.port);
    put16(udp + 4, uint16_t(kUdpHeader + size));
    // UDP checksum 0: none, which IPv4 allows.
    writeRecord(head, sizeof head, payload, size);
}

void PcapWriter::writeSerial(uint8_t direction, const uint8_t* bytes, size_t count)
{
    writeRecord(&direction, 1, bytes, count);
}

NetAddr PcapUdpTap::localToward(const NetAddr& peer)
{
    if (local_.ip != 0 || !routeSource_)
        return local_;
    if (peer != lastPeer_ || lastIp_ == 0) {
        lastPeer_ = peer;
        if (!routeSource_(peer, &lastIp_))
            lastIp_ = 0;
    }
    return NetAddr{lastIp_, local_.port};
}

void PcapUdpTap::sendFrame(const NetAddr& to, const uint8_t* frame, size_t length)
{
    pcap_.writeUdp(localToward(to), to, frame, length);
    inner_.sendFrame(to, frame, length);
}

void PcapUdpTap::received(const uint8_t* datagram, size_t size, const NetAddr& from)
{
    pcap_.writeUdp(from, localToward(from), datagram, size);
}

#if defined(READERSIM_SERIAL)
void PcapSerialTap::writeComBytes(const uint8_t* bytes, size_t count)
{
    if (pcap_ && count > 0)
        pcap_->writeSerial(pcapFromReader, bytes, count);
    inner_.writeComBytes(bytes, count);
}

long PcapSerialTap::readComBytes(uint8_t* buffer, size_t capacity, int timeoutMs)
{
    const long n = inner_.readComBytes(buffer, capacity, timeoutMs);
    if (pcap_ && n > 0)
        pcap_->writeSerial(pcapToReader, buffer, size_t(n));
    return n;
}
#endif
