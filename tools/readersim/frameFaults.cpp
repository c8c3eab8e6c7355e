#include "tools/readersim/frameFaults.h"

#include <cstring>

#include "console/netPdu.h"

size_t buildSimFrame(uint8_t* out, size_t cap, uint8_t version, uint8_t code,
                     const uint8_t* payload, size_t length, unsigned faults)
{
    uint8_t padded[simFrameMax];
    if (faults & faultOversize) {
        const size_t target = simOversizeBytes - netHeaderSize;
        if (length > sizeof padded)
            return 0;
        if (length > 0)
            std::memcpy(padded, payload, length);
        if (length < target) {
            std::memset(padded + length, 0, target - length);
            length = target;
        }
        payload = padded;
    }
    const size_t size = netPduBuildVersion(out, cap, version, code, payload, length);
    if (size == 0)
        return 0;
    if (faults & faultBadLength) {
        // One more than the payload holds; the CRC follows the field, so
        // only the size test can catch it.
        netPut16(out + 8, uint16_t(length + 1));
        netPut16(out + 6, netCrc16(out + 8, length + 2));
    }
    if (faults & faultBadCrc)
        out[7] ^= 0xFF;
    return size;
}

void sendSimFrame(FrameSender& sender, const NetAddr& to, uint8_t version, uint8_t code,
                  const uint8_t* payload, size_t length, unsigned faults)
{
    uint8_t frame[simFrameMax];
    const size_t size = buildSimFrame(frame, sizeof frame, version, code, payload, length, faults);
    if (size > 0)
        sender.sendFrame(to, frame, size);
}

const char* simFrameFault(const uint8_t* d, size_t size)
{
    if (size < netHeaderSize)
        return "short";
    if (d[0] != 'Q' || d[1] != 'V' || d[2] != 'R' || d[3] != 'F')
        return "magic";
    const size_t length = netGet16(d + 8);
    if (size != length + netHeaderSize)
        return "length";
    if (netGet16(d + 6) != netCrc16(d + 8, length + 2))
        return "crc";
    return nullptr;
}

bool parseFrameKinds(const char* text, unsigned* kinds)
{
    struct Word {
        const char* name;
        unsigned kind;
    };
    static const Word kWords[] = {
        {"login", kindLogin},         {"auth", kindAuth},     {"heartbeat", kindHeartbeat},
        {"link", kindLink},           {"report", kindReport}, {"answer", kindAnswer},
        {"all", kindAll},
    };
    unsigned result = 0;
    const char* p = text;
    for (;;) {
        const char* end = std::strchr(p, ',');
        const size_t n = end ? size_t(end - p) : std::strlen(p);
        bool known = false;
        for (const Word& w : kWords) {
            if (std::strlen(w.name) == n && std::strncmp(w.name, p, n) == 0) {
                result |= w.kind;
                known = true;
                break;
            }
        }
        if (!known)
            return false;
        if (!end)
            break;
        p = end + 1;
    }
    *kinds = result;
    return true;
}
