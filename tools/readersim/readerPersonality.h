// One dialect of the software reader over UDP. Each personality is a state
// machine: it is started once, then fed every received datagram and one
// tick per period, and it sends through the FrameSender it was built with.
// It owns no socket, thread or clock, so tests drive it directly and the
// command-line program only moves datagrams and ticks.
//
// The listening dialect (ListenReader) logs in to a platform. The direct and
// the legacy dialects, which wait for a console on UDP 4099, implement the
// same interface; the serial side has a byte-stream sibling of its own.
#pragma once
#include <cstddef>
#include <cstdint>

#include "console/netAddr.h"

class ReaderPersonality {
public:
    virtual ~ReaderPersonality() = default;
    // First actions after the socket is open (the listening reader logs in).
    virtual void start() = 0;
    // One received datagram, checked or not; the personality prints it.
    virtual void onDatagram(const uint8_t* datagram, size_t size, const NetAddr& from) = 0;
    // One period of the reader's clock.
    virtual void tick() = 0;
};
