// Hand-built frames of the R7A dialect for the tests: the bytes are laid
// out here field by field, independent of the codec under test.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "serial/configFrame.h"

using Bytes = std::vector<uint8_t>;

// A frame with the CRC of offsets 8 .. end stored low byte first.
inline Bytes r7aFrameOf(uint8_t command, const Bytes& payload, uint8_t level = 0x01)
{
    Bytes f(10 + payload.size(), 0);
    const uint8_t head[10] = {0x51, 0x56, 0x4E, 0x52, level, command, 0, 0,
                              uint8_t(payload.size() >> 8), uint8_t(payload.size())};
    std::copy(head, head + 10, f.begin());
    std::copy(payload.begin(), payload.end(), f.begin() + 10);
    const uint16_t crc = crc16Modbus(f.data() + 8, f.size() - 8);
    f[6] = uint8_t(crc);
    f[7] = uint8_t(crc >> 8);
    return f;
}

// The payload of a parameter reply of replySize bytes (57, 58 or 59): codes
// 0, 1, 2; IP 192.168.1.195, mask 255.255.255.0, gateway 192.168.1.1 (least
// significant byte first); the version text; threshold -80; flag byte.
inline Bytes r7aReplyPayload(size_t replySize, const std::string& version = "R7A-V1.7",
                             uint8_t flag = 1)
{
    Bytes p = {0x00, 0x01, 0x02, 0xC3, 0x01, 0xA8, 0xC0, 0x00, 0xFF, 0xFF, 0xFF, 0x01, 0x01, 0xA8, 0xC0};
    Bytes text(32, 0);
    std::memcpy(text.data(), version.data(), version.size() < 32 ? version.size() : 32);
    p.insert(p.end(), text.begin(), text.end());
    if (replySize >= 58)
        p.push_back(0xB0);  // -80
    if (replySize >= 59)
        p.push_back(flag);
    p.resize(replySize - 10, 0);
    return p;
}

inline Bytes r7aReply(size_t replySize, const std::string& version = "R7A-V1.7", uint8_t flag = 1)
{
    return r7aFrameOf(0x02, r7aReplyPayload(replySize, version, flag));
}

inline Bytes hexBytes(const char* hex)
{
    Bytes out;
    for (const char* p = hex; *p;) {
        if (*p == ' ') {
            ++p;
            continue;
        }
        out.push_back(uint8_t(std::stoul(std::string(p, 2), nullptr, 16)));
        p += 2;
    }
    return out;
}

// The write request of the worked example: RS485 9600, antenna 0 19200,
// antenna 1 38400, IP 192.168.1.195, mask 255.255.255.0, gateway
// 192.168.1.1, threshold -80, flag set.
inline Bytes exampleWrite()
{
    return hexBytes("51564E52 01 03 C0 61 00 11 00 01 02 C3 01 A8 C0 00 FF FF FF 01 01 A8 C0 B0 01");
}

inline Bytes head_of(const Bytes& b, size_t n) { return Bytes(b.begin(), b.begin() + long(n)); }
inline Bytes tail_of(const Bytes& b, size_t n) { return Bytes(b.begin() + long(n), b.end()); }
inline Bytes cat_of(const Bytes& a, const Bytes& b)
{
    Bytes out = a;
    out.insert(out.end(), b.begin(), b.end());
    return out;
}
