// Frames the software reader spoils on purpose, so the consoles' frame
// checks can be exercised: a wrong CRC, a length field that disagrees with
// the datagram size, a datagram larger than a console receives.
#pragma once
#include <cstddef>
#include <cstdint>

#include "console/netAddr.h"

// What to spoil in one frame (bit set).
enum : unsigned {
    faultBadCrc = 1u << 0,     // low byte of the CRC inverted
    faultBadLength = 1u << 1,  // length field one above the payload, CRC matching it
    faultOversize = 1u << 2,   // payload padded with zero bytes to a datagram of simOversizeBytes
};

// The kinds of frame a reader sends; faults are chosen per kind (bit set).
enum : unsigned {
    kindLogin = 1u << 0,
    kindAuth = 1u << 1,
    kindHeartbeat = 1u << 2,
    kindReport = 1u << 3,
    kindAnswer = 1u << 4,  // answers to calls and short messages
    kindLink = 1u << 5,    // link requests
    kindAll = (1u << 6) - 1,
};

constexpr size_t simOversizeBytes = 1100;  // more than the 1024 bytes a console reads
constexpr size_t simFrameMax = 1200;       // room for any frame the reader builds

struct FrameFaults {
    unsigned badCrc = 0;     // kinds whose CRC is spoilt
    unsigned badLength = 0;  // kinds whose length field is wrong
    unsigned oversize = 0;   // kinds sent oversize
    bool shortReports = false;  // tag reports leave out their RSSI byte

    // The fault bits for one kind of frame.
    unsigned forKind(unsigned kind) const
    {
        return ((badCrc & kind) ? faultBadCrc : 0u) | ((badLength & kind) ? faultBadLength : 0u) |
               ((oversize & kind) ? faultOversize : 0u);
    }
};

// Why a datagram fails the consoles' frame test ("short", "magic",
// "length", "crc"), or nullptr for a sound frame. Traces nothing.
const char* simFrameFault(const uint8_t* datagram, size_t size);

// Builds a frame with the given faults into out (capacity cap). Returns the
// datagram size, or 0 when it does not fit.
size_t buildSimFrame(uint8_t* out, size_t cap, uint8_t version, uint8_t code,
                     const uint8_t* payload, size_t length, unsigned faults);

// Builds the frame as buildSimFrame does and sends it to `to`; nothing goes
// out when it does not fit.
void sendSimFrame(FrameSender& sender, const NetAddr& to, uint8_t version, uint8_t code,
                  const uint8_t* payload, size_t length, unsigned faults);

// Parses a list of kinds such as "report,heartbeat" or "all"; false on an
// unknown word.
bool parseFrameKinds(const char* text, unsigned* kinds);
