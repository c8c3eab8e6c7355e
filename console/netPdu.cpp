#include "console/netPdu.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "common/crc16.h"
#include "common/textCodec.h"

namespace {

const uint8_t kMagic[4] = {'Q', 'V', 'R', 'F'};

struct TraceTarget {
    NetTraceSink sink;
    void* context;
};
std::atomic<const TraceTarget*> gTrace{nullptr};
TraceTarget gTraceSlots[2];
int gTraceSlot = 0;

}  // namespace

uint16_t netCrc16(const uint8_t* bytes, size_t count) { return crcModbus16(bytes, count); }

size_t netPduBuildVersion(uint8_t* out, size_t outSize, uint8_t version, uint8_t code,
                          const uint8_t* payload, size_t payloadLen)
{
    if (payloadLen > 0xFFFF || outSize < netHeaderSize + payloadLen)
        return 0;
    std::memcpy(out, kMagic, 4);
    out[4] = version;
    out[5] = code;
    netPut16(out + 8, uint16_t(payloadLen));
    if (payloadLen > 0)
        std::memmove(out + netHeaderSize, payload, payloadLen);
    const uint16_t crc = netCrc16(out + 8, payloadLen + 2);
    netPut16(out + 6, crc);
    return payloadLen + netHeaderSize;
}

NetCheck netPduValidate(const uint8_t* datagram, size_t size, NetPdu* pdu, bool truncated)
{
    if (size < netHeaderSize)
        return NetCheck::tooShort;
    if (std::memcmp(datagram, kMagic, 4) != 0)
        return NetCheck::badMagic;
    const size_t length = netGet16(datagram + 8);
    if (truncated || size != length + netHeaderSize)
        return NetCheck::badLength;
    if (netGet16(datagram + 6) != netCrc16(datagram + 8, length + 2))
        return NetCheck::badCrc;
    pdu->version = datagram[4];
    pdu->code = datagram[5];
    pdu->payload = datagram + netHeaderSize;
    pdu->length = length;
    return NetCheck::ok;
}

NetCheck netPduCheck(const uint8_t* datagram, size_t size, NetPdu* pdu, uint8_t quietCode,
                     bool truncated)
{
    if (size < netHeaderSize)
        return NetCheck::tooShort;
    if (datagram[5] != quietCode)
        netTraceDump("net rcv %d:", datagram, size);
    const NetCheck result = netPduValidate(datagram, size, pdu, truncated);
    switch (result) {
    case NetCheck::badMagic:
        netTrace("msg head error\r\n");
        break;
    case NetCheck::badLength:
        netTrace("len wrong\r\n");
        break;
    case NetCheck::badCrc:
        netTrace("crc error\r\n");
        break;
    default:
        break;
    }
    return result;
}

void netTraceSetSink(NetTraceSink sink, void* context)
{
    // Two slots so a reader on another thread never sees a half-written
    // target; the sink is meant to be set once at start-up or by a test.
    if (!sink) {
        gTrace.store(nullptr);
        return;
    }
    gTraceSlot ^= 1;
    gTraceSlots[gTraceSlot] = TraceTarget{sink, context};
    gTrace.store(&gTraceSlots[gTraceSlot]);
}

bool netTraceEnabled() { return gTrace.load() != nullptr; }

void netTraceToGbk(void* output, const char* utf8)
{
    const GbkTraceOutput* out = static_cast<const GbkTraceOutput*>(output);
    out->write(out->codec->utf8ToGbk(utf8).c_str());
}

void netTrace(const char* format, ...)
{
    const TraceTarget* target = gTrace.load();
    if (!target)
        return;
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    target->sink(target->context, text);
}

void netTraceDump(const char* head, const uint8_t* bytes, size_t count, bool lowerCase)
{
    const TraceTarget* target = gTrace.load();
    if (!target)
        return;
    // One line per frame: the head, " %02X" per byte, "\r\n". Built in a
    // fixed buffer large enough for the largest datagram.
    const char* kHex = lowerCase ? "0123456789abcdef" : "0123456789ABCDEF";
    char line[64 + netMaxDatagram * 3 + 3];
    int pos = std::snprintf(line, 64, head, int(count));
    if (pos < 0)
        pos = 0;
    size_t at = size_t(pos) < 64 ? size_t(pos) : 63;
    for (size_t i = 0; i < count && at + 3 < sizeof line - 3; ++i) {
        line[at++] = ' ';
        line[at++] = kHex[bytes[i] >> 4];
        line[at++] = kHex[bytes[i] & 0xF];
    }
    line[at++] = '\r';
    line[at++] = '\n';
    line[at] = '\0';
    target->sink(target->context, line);
}
