#include "r7a-setup/r7aFrame.h"

#include <cstring>

#include "common/crc16.h"

namespace {

enum : size_t {
    offRs485 = 0,
    offAntenna0 = 1,
    offAntenna1 = 2,
    offIp = 3,
    offMask = 7,
    offGateway = 11,
    offVersion = 15,
    offReplyThreshold = 47,
    offReplyFlag = 48,
    offWriteThreshold = 15,
    offWriteFlag = 16,
};

// The fields that reply and write share, at the same offsets.
void putCommon(const R7aRecord& rec, uint8_t* out)
{
    out[offRs485] = rec.rs485Baud;
    out[offAntenna0] = rec.antenna0Baud;
    out[offAntenna1] = rec.antenna1Baud;
    r7aPutAddress(out + offIp, rec.ip);
    r7aPutAddress(out + offMask, rec.mask);
    r7aPutAddress(out + offGateway, rec.gateway);
}

void getCommon(const uint8_t* in, R7aRecord* rec)
{
    rec->rs485Baud = in[offRs485];
    rec->antenna0Baud = in[offAntenna0];
    rec->antenna1Baud = in[offAntenna1];
    rec->ip = r7aGetAddress(in + offIp);
    rec->mask = r7aGetAddress(in + offMask);
    rec->gateway = r7aGetAddress(in + offGateway);
}

}  // namespace

size_t buildR7aFrame(uint8_t* out, size_t cap, uint8_t level, uint8_t command,
                     const uint8_t* payload, size_t length)
{
    if (!out || length > 0xFFFF || (length > 0 && !payload) || cap < length + r7aHeaderSize)
        return 0;
    std::memcpy(out, configMagic, sizeof configMagic);
    out[4] = level;
    out[5] = command;
    configPut16(out + 8, uint16_t(length));
    if (length > 0)
        std::memcpy(out + r7aHeaderSize, payload, length);
    const uint16_t crc = crcModbus16(out + 8, length + 2);
    out[6] = uint8_t(crc);
    out[7] = uint8_t(crc >> 8);
    return length + r7aHeaderSize;
}

bool r7aCrcMatches(const uint8_t* frame, size_t total)
{
    if (total < r7aHeaderSize)
        return false;
    const uint16_t crc = crcModbus16(frame + 8, total - 8);
    return frame[6] == uint8_t(crc) && frame[7] == uint8_t(crc >> 8);
}

bool decodeR7aReply(const uint8_t* payload, size_t length, R7aRecord* out)
{
    if (!payload || length < r7aReplyBase - r7aHeaderSize)
        return false;
    R7aRecord rec = *out;  // threshold and flag stay as they were unless the reply has them
    getCommon(payload, &rec);
    // The text ends at its zero byte, or with the field when it has none.
    const uint8_t* text = payload + offVersion;
    const void* zero = std::memchr(text, 0, r7aVersionSize);
    const size_t n = zero ? size_t(static_cast<const uint8_t*>(zero) - text) : r7aVersionSize;
    std::memcpy(rec.version, text, n);
    rec.version[n] = '\0';
    const size_t total = length + r7aHeaderSize;
    rec.hasThreshold = total >= r7aReplyWithThreshold;
    if (rec.hasThreshold)
        rec.threshold = int8_t(payload[offReplyThreshold]);
    rec.hasFlag = total == r7aReplyWithFlag;
    if (rec.hasFlag)
        rec.flag = payload[offReplyFlag];
    *out = rec;
    return true;
}

void encodeR7aWrite(const R7aRecord& rec, uint8_t out[r7aWriteSize])
{
    putCommon(rec, out);
    out[offWriteThreshold] = uint8_t(rec.threshold);
    out[offWriteFlag] = rec.flag != 0 ? 1 : 0;
}

bool decodeR7aWrite(const uint8_t* payload, size_t length, R7aRecord* out)
{
    if (!payload || length < r7aWriteSize)
        return false;
    getCommon(payload, out);
    out->threshold = int8_t(payload[offWriteThreshold]);
    out->flag = payload[offWriteFlag];
    out->hasThreshold = true;
    out->hasFlag = true;
    return true;
}

size_t encodeR7aReply(const R7aRecord& rec, size_t replySize, uint8_t* out, size_t cap)
{
    if (replySize < r7aReplyBase || replySize > r7aReplyWithFlag || cap < replySize - r7aHeaderSize)
        return 0;
    const size_t length = replySize - r7aHeaderSize;
    std::memset(out, 0, length);
    putCommon(rec, out);
    const void* zero = std::memchr(rec.version, 0, r7aVersionSize);
    const size_t n = zero ? size_t(static_cast<const char*>(zero) - rec.version) : r7aVersionSize;
    std::memcpy(out + offVersion, rec.version, n);
    if (replySize >= r7aReplyWithThreshold)
        out[offReplyThreshold] = uint8_t(rec.threshold);
    if (replySize == r7aReplyWithFlag)
        out[offReplyFlag] = rec.flag;
    return length;
}
