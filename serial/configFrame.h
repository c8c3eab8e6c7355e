// The configuration frame spoken over the serial link:
//   0..3  magic 'Q','V','N','R'
//   4     level (0 in every frame the tools send; the reader's protocol level in replies)
//   5     command code
//   6..7  CRC-16/MODBUS over offsets 8 .. end, high byte first
//   8..9  payload length N, big-endian
//   10..  payload
// Whole frame = N + 10 bytes.
#pragma once
#include <cstddef>
#include <cstdint>

#include "serial/comPort.h"

constexpr size_t configHeaderSize = 10;
inline constexpr uint8_t configMagic[4] = {0x51, 0x56, 0x4E, 0x52};  // "QVNR"
// The tools write 0 as the high byte of N, so their payloads stay below 256.
constexpr size_t configMaxRequestPayload = 255;

enum : uint8_t {
    configCmdReadRequest = 0x01,   // tool to reader, N = 0
    configCmdParamReply = 0x02,    // reader to tool, the parameter record
    configCmdWriteRequest = 0x03,  // tool to reader, the model's write payload
    configCmdWriteAck = 0x04,      // reader to tool, payload not read
    // The signal filter tool's own commands on the same frame.
    configCmdRssiRead = 0x07,
    configCmdRssiReply = 0x08,
    configCmdRssiWrite = 0x09,
    configCmdRssiWriteAck = 0x0A,
};

// The read request: always these ten bytes (0xB001 is the CRC of the two
// zero length bytes).
inline constexpr uint8_t configReadRequest[configHeaderSize] = {
    0x51, 0x56, 0x4E, 0x52, 0x00, 0x01, 0xB0, 0x01, 0x00, 0x00};

// CRC-16/MODBUS (reflected 0xA001, init 0xFFFF, no final XOR; "123456789"
// gives 0x4B37). Returns 0 for an empty or absent input.
uint16_t crc16Modbus(const uint8_t* bytes, size_t count);

// Writes magic, level, command, CRC, the 16-bit length and the payload into
// out (capacity outSize) and returns the frame length N + 10, or 0 when the
// frame does not fit (or N > 0xFFFF, or payload is absent while N > 0).
size_t buildConfigFrame(uint8_t* out, size_t outSize, uint8_t level, uint8_t command,
                        const uint8_t* payload, size_t length);

// A request of the tools (level 0, N at most configMaxRequestPayload) written
// with one writeComBytes call. False, and nothing written, when N is too
// large or the payload is absent while N > 0.
bool sendConfigFrame(SerialWriter& writer, uint8_t command, const uint8_t* payload,
                     size_t length);
// The ten-byte read request.
void sendReadRequest(SerialWriter& writer);
// Command 0x03 with the write payload of the reader's model (N + 10 bytes,
// length high byte 0).
bool sendWriteRequest(SerialWriter& writer, const uint8_t* payload, size_t length);

enum class ConfigCheck { ok, tooShort, badMagic, badLength, badCrc };

struct ConfigFrame {
    uint8_t level = 0;
    uint8_t command = 0;
    const uint8_t* payload = nullptr;  // points into the checked frame
    size_t length = 0;                 // N
};

// Checks one cut frame of total bytes: at least a header, the magic, total
// equal to N + 10, the CRC. On ok fills *out (which may be null).
ConfigCheck configFrameCheck(const uint8_t* frame, size_t total, ConfigFrame* out);

// The configuration tool's reply targets; the shell implements them, the
// tests record them. Both run on the thread that dispatches.
class ConfigReplyHandler {
public:
    virtual ~ConfigReplyHandler() = default;
    // Command 0x02: the reader's level (byte 4), the payload and N.
    virtual void onParameterReply(uint8_t level, const uint8_t* payload, size_t length) = 0;
    // Command 0x04, any level and payload: reply countdown to 0, "配置成功".
    virtual void onWriteAcknowledged() = 0;
};

enum class ConfigDispatch { parameterReply, writeAcknowledged, ignored, rejected };

// Checks the frame of total bytes that the cutter hands over (read in
// place) and passes a parameter reply or a write acknowledgement on to the
// handler. A frame that fails the check (a wrong CRC above all) is dropped
// silently (rejected); any other command is ignored. The result is for
// traces and tests only.
ConfigDispatch dispatchFrame(const uint8_t* frame, size_t total, ConfigReplyHandler& handler);

inline uint16_t configGet16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }
inline uint32_t configGet32(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}
inline void configPut16(uint8_t* p, uint16_t v)
{
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}
inline void configPut32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}
