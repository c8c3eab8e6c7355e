// The older serial dialect of the R7A reader and its parameter record.
//
// The frame has the shape of the configuration frame (serial/configFrame.h)
// with two differences: the tool writes level 0x01 in its requests (replies
// are not checked for it), and the CRC-16/MODBUS over offsets 8 .. end is
// stored low byte first:
//   0..3  magic 'Q','V','N','R'
//   4     level: 0x01 in every request
//   5     command: 0x01 read, 0x02 parameter reply, 0x03 write, 0x04 write acknowledged
//   6     CRC low byte
//   7     CRC high byte
//   8..9  payload length N, big-endian
//   10..  payload
//
// The parameter record (payload of 0x02), and the write record (payload of
// 0x03), which drops the version text and moves the last two fields up:
//   0  RS485 baud-rate code       1  antenna 0 code      2  antenna 1 code
//   3  IP address                 7  subnet mask         11 default gateway
//   15 version text, 32 bytes, zero-terminated (reply only)
//   47 RSSI threshold, signed     (reply of 58 bytes or more; write: offset 15)
//   48 ANT1-as-ANT0 flag          (reply of exactly 59 bytes; write: offset 16)
// Addresses travel least significant byte first: 192.168.1.195 (first octet
// in the top byte of the value) is sent as C3 01 A8 C0.
#pragma once
#include <cstddef>
#include <cstdint>

#include "serial/configFrame.h"

constexpr size_t r7aHeaderSize = configHeaderSize;  // 10
constexpr uint8_t r7aRequestLevel = 0x01;
// Largest frame the tool takes in: its receive buffer.
constexpr size_t r7aBufferSize = 512;

// Parameter replies: 57 bytes (no threshold, no flag), 58 (threshold), 59 (both).
constexpr size_t r7aReplyBase = 57;
constexpr size_t r7aReplyWithThreshold = 58;
constexpr size_t r7aReplyWithFlag = 59;
constexpr size_t r7aVersionSize = 32;
constexpr size_t r7aWriteSize = 17;                           // write record
constexpr size_t r7aWriteFrameSize = r7aHeaderSize + r7aWriteSize;  // 27

// The read request: always these ten bytes (0x01, 0xB0 is the CRC of the two
// zero length bytes, low byte first).
inline constexpr uint8_t r7aReadRequest[r7aHeaderSize] = {
    0x51, 0x56, 0x4E, 0x52, 0x01, 0x01, 0x01, 0xB0, 0x00, 0x00};

// The record as the window shows it. Addresses hold their first octet in the
// top byte; a baud code is the list index (baudCodeNone: no selection).
struct R7aRecord {
    uint8_t rs485Baud = 0;
    uint8_t antenna0Baud = 0;
    uint8_t antenna1Baud = 0;
    uint32_t ip = 0;
    uint32_t mask = 0;
    uint32_t gateway = 0;
    char version[r7aVersionSize + 1] = {};  // the reply's text, up to its zero or all 32 bytes
    bool hasThreshold = false;
    int8_t threshold = 0;
    bool hasFlag = false;
    uint8_t flag = 0;  // as received; the write carries 1 or 0
};

// Writes magic, level, command, the CRC low byte first, the length and the
// payload into out. Returns N + 10, or 0 when it does not fit in cap (or
// N > 0xFFFF, or the payload is absent while N > 0).
size_t buildR7aFrame(uint8_t* out, size_t cap, uint8_t level, uint8_t command,
                     const uint8_t* payload, size_t length);

// The frame's total length from its header (N + 10); frame holds 10 bytes.
inline size_t r7aFrameTotal(const uint8_t* frame) { return configGet16(frame + 8) + r7aHeaderSize; }
// The CRC over offsets 8 .. total-1 equals bytes 6 (low) and 7 (high); total >= 10.
bool r7aCrcMatches(const uint8_t* frame, size_t total);

// Reads a parameter reply's payload (N = total - 10). False, and *out
// untouched, for a payload shorter than the 47 bytes of the shortest reply.
bool decodeR7aReply(const uint8_t* payload, size_t length, R7aRecord* out);
// The 17-byte write record of rec (the flag as 1 or 0; the version is not sent).
void encodeR7aWrite(const R7aRecord& rec, uint8_t out[r7aWriteSize]);
// The inverse of encodeR7aWrite, for the reader's side (hasThreshold and
// hasFlag set). False for fewer than 17 bytes.
bool decodeR7aWrite(const uint8_t* payload, size_t length, R7aRecord* out);
// The parameter reply payload of rec for a reply of replySize (57, 58 or 59)
// bytes: replySize - 10 bytes written. The version text is cut at 32 bytes.
size_t encodeR7aReply(const R7aRecord& rec, size_t replySize, uint8_t* out, size_t cap);

// Addresses on the wire, least significant byte first.
inline uint32_t r7aGetAddress(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline void r7aPutAddress(uint8_t* p, uint32_t ip)
{
    p[0] = uint8_t(ip);
    p[1] = uint8_t(ip >> 8);
    p[2] = uint8_t(ip >> 16);
    p[3] = uint8_t(ip >> 24);
}
