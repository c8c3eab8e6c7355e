// The software reader of the legacy settings tool: an R7A on the serial
// link speaking the older dialect (CRC low byte first, level 0x01 in the
// tool's requests). It answers the read request 0x01 with one parameter
// reply 0x02 of 57, 58 or 59 bytes (without threshold and flag, with the
// threshold, with both), stores a write request 0x03 in its record and
// acknowledges it with 0x04 (empty payload), so the next read shows it.
//
// It owns no port, thread or clock: the run loop (serialRun.h) feeds it the
// bytes read and ticks it. Received bytes are cut by the tool's own
// assembler (r7a-setup/r7aReceive.h), so a request in pieces or behind
// noise fares as it would at the tool; one whose rest has not come by the
// next tick is dropped. Every whole frame received is printed as one line:
//
//   rx code=0xCC name=NAME level=L len=N payload=HEX [fields]
//
// with, for a write, rs485= ant0= ant1= ip= mask= gateway= threshold= flag=
// (malformed=short when the payload holds fewer than 17 bytes, which
// changes nothing). Answers are printed as "tx" lines of the same shape
// with printSent. Misbehaviour per kind of answer (serialKindReply,
// serialKindAck): silence, a spoilt CRC, noise bytes before the frame in
// the same write, the frame written in pieces.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/serialPort.h"
#include "r7a-setup/r7aFrame.h"
#include "r7a-setup/r7aReceive.h"
#include "tools/readersim/serialReader.h"
#include "tools/readersim/serialRun.h"
#include "tools/readersim/simLog.h"

struct LegacySerialFaults {
    unsigned silent = 0;  // kinds never sent
    unsigned badCrc = 0;  // kinds sent with the low CRC byte inverted
    unsigned stray = 0;   // kinds written behind strayBytes noise bytes
    int strayBytes = 3;   // 0..serialStrayMax
    unsigned split = 0;   // kinds written in splitParts writes, one right after the other
    int splitParts = 2;   // 1..serialSplitPartsMax
};

struct LegacySerialConfig {
    LegacySerialConfig();
    R7aRecord record;  // 115200 everywhere, 192.168.1.200/24 via .1, "R7A-V1.7", -80, flag 0
    size_t replySize = r7aReplyWithFlag;  // 57, 58 or 59
    LegacySerialFaults faults;
    bool printSent = false;
};

struct LegacySerialSimConfig : LegacySerialConfig {
    char device[comDevicePathMax] = "";
    SerialLineConfig line;  // the faulty wire in front of the port (lineFaults.h)
};

class LegacySerialReader : public SerialRunTarget {
public:
    LegacySerialReader(const LegacySerialConfig& config, SerialWriter& writer, SimLog& log);

    void onBytes(const uint8_t* bytes, size_t count) override;
    void idlePoll() override {}
    // One period of the clock: a request still incomplete since the last
    // tick, with no byte since, is dropped.
    void tick() override;
    bool holdsBytes() const override { return false; }

    const R7aRecord& record() const { return config_.record; }
    int readRequests() const { return reads_; }
    int writesApplied() const { return applied_; }
    // "# stop reason=REASON reads=N writes=N".
    void printStop(const char* reason);

private:
    void cut(bool bytesCame);
    void onFrame(const uint8_t* frame, size_t total);
    void answer(unsigned kind, uint8_t command, const uint8_t* payload, size_t length);

    LegacySerialConfig config_;
    SerialWriter& writer_;
    SimLog& log_;
    R7aAssembler assembler_;
    bool bytesSinceTick_ = false;
    int reads_ = 0;
    int applied_ = 0;
};

// One frame line ("rx" when received), as above, into out (capacity cap).
size_t formatLegacySerialFrame(char* out, size_t cap, bool received, const uint8_t* frame,
                               size_t total);

// Opens config.device, prints "# readersim mode=legacy-serial device=PATH
// reply-size=S tick-ms=T duration=D", serves until the end (through the
// faulty wire when config.line asks for one, the capture behind it), prints
// the stop line (and the wire's summary line) and closes the port. cannotOpen, with nothing printed, when the
// device cannot be opened. pcap: the capture of --pcap, or null.
SerialRunEnd runLegacySerialReader(const LegacySerialSimConfig& config, const SerialRunClock& clock,
                                   SerialPort& port, SimLog& log, PcapWriter* pcap = nullptr);
