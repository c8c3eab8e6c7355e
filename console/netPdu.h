// The network frame shared by the three consoles: magic "QVRF", version,
// code, CRC-16/MODBUS over length and payload (high byte first), 16-bit
// big-endian payload length, payload. One frame per datagram.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr size_t netHeaderSize = 10;
constexpr size_t netMaxDatagram = 1024;  // receive buffer per datagram
constexpr size_t netMaxPayload = netMaxDatagram - netHeaderSize;
constexpr uint8_t netVersionListen = 4;  // version byte of every listening-dialect frame

// Command codes of the listening dialect.
enum : uint8_t {
    netCodeLoginReq = 0x20,
    netCodeLoginAck = 0x21,
    netCodeAuthReq = 0x22,
    netCodeAuthAck = 0x23,
    netCodeLabelReport = 0x24,
    netCodeHeartBeatReq = 0x25,
    netCodeHeartBeatAck = 0x26,
    netCodeLabelAlarm = 0x27,
    netCodeLabelAlarmAck = 0x28,
    netCodeLabelAlarmRej = 0x29,
    netCodeSms = 0x2A,
    netCodeSmsAck = 0x2B,
    netCodeSmsRej = 0x2C,
};

uint16_t netCrc16(const uint8_t* bytes, size_t count);

// Writes a whole frame into out (capacity outSize) and returns its length
// L + 10, or 0 when it does not fit. The CRC is computed last.
size_t netPduBuildVersion(uint8_t* out, size_t outSize, uint8_t version, uint8_t code,
                          const uint8_t* payload, size_t payloadLen);
inline size_t netPduBuild(uint8_t* out, size_t outSize, uint8_t code, const uint8_t* payload,
                          size_t payloadLen)
{
    return netPduBuildVersion(out, outSize, netVersionListen, code, payload, payloadLen);
}

enum class NetCheck { ok, tooShort, badMagic, badLength, badCrc };

struct NetPdu {
    uint8_t version = 0;
    uint8_t code = 0;
    const uint8_t* payload = nullptr;  // points into the checked datagram
    size_t length = 0;                 // L
};

// Checks one received datagram in the fixed order: size, receive dump
// (skipped for quietCode, the dialect's tag report), magic, length, CRC.
// truncated: the socket cut the datagram to the size bytes held, so its
// real size is not L + 10 whatever the length field says.
NetCheck netPduCheck(const uint8_t* datagram, size_t size, NetPdu* pdu,
                     uint8_t quietCode = netCodeLabelReport, bool truncated = false);
// The same tests without any trace, for a dialect with traces of its own.
NetCheck netPduValidate(const uint8_t* datagram, size_t size, NetPdu* pdu,
                        bool truncated = false);

// printf-style trace sink for every protocol trace. The delivered programs
// discard it; tests and debug builds install a sink.
using NetTraceSink = void (*)(void* context, const char* text);
void netTraceSetSink(NetTraceSink sink, void* context);
bool netTraceEnabled();
void netTrace(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
// A sink for an output that reads code page 936, as the debugger's output
// does on a Chinese Windows: the traces are UTF-8 in the code (the legacy
// console writes Chinese ones), so each is converted before write gets it.
// Install with netTraceSetSink(netTraceToGbk, &output).
class TextCodec;
struct GbkTraceOutput {
    const TextCodec* codec;
    void (*write)(const char* gbk);
};
void netTraceToGbk(void* output, const char* utf8);

// head (a printf format with one %d for count), then " %02X" per byte
// (" %02x" with lowerCase), then "\r\n".
void netTraceDump(const char* head, const uint8_t* bytes, size_t count, bool lowerCase = false);

inline uint16_t netGet16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }
inline uint32_t netGet32(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}
inline void netPut16(uint8_t* p, uint16_t v)
{
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}
inline void netPut32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}
