// The faulty line between the software reader and the program it talks to:
// what a lossy network or a noisy serial cable does to the frames and bytes
// the reader sends. Everything random comes from one seeded generator, so a
// run with the same --seed spoils the same frames in the same way.
//
// UDP (FaultyLine, a FrameSender in front of the socket): each frame offered
// is, in this order, dropped while the line is silent (silenceSeconds of
// every silenceEverySeconds, on the line's clock), lost (lossPct), spoilt by
// one flipped bit in the part the CRC covers (corruptPct; the CRC field,
// the length field or the payload, so the frame check always refuses it),
// and sent twice (dupPct). Tag reports are then held and let go in groups
// of `burst` back to back, shuffled when reorderWindow is above 1; a group
// leaves when it is full and at every tick, so no report waits longer than
// one tick. Incoming datagrams are dropped while the line is silent.
//
// Serial (FaultyWire, a SerialWriter in front of the port): each write (an
// answer, or one piece of a split answer) goes behind 0..noiseMax random
// noise bytes, and each byte, noise included, is lost with
// dropBytesPermille (tenths of a percent: answers are long, so a percent
// per byte already spoils most of them).
//
// Both count what they did; the summary line at exit ("# line ...") lets a
// test tell the loss the line caused from loss a program caused.
#pragma once
#include <cstddef>
#include <cstdint>

#include "console/netAddr.h"
#include "serial/comPort.h"
#include "tools/readersim/frameFaults.h"
#include "tools/readersim/simLog.h"

// A small seeded generator (xorshift64*): the same seed gives the same run.
class LineRandom {
public:
    explicit LineRandom(uint32_t seed) : state_(0x9E3779B97F4A7C15ULL ^ seed) { next(); }
    uint32_t next()
    {
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        return uint32_t((state_ * 0x2545F4914F6CDD1DULL) >> 32);
    }
    // 0 .. n-1 (n > 0).
    uint32_t below(uint32_t n) { return next() % n; }
    // True with the given chance in percent (0..100).
    bool chance(int percent) { return percent > 0 && int(below(100)) < percent; }
    // True with the given chance in tenths of a percent (0..1000).
    bool chancePermille(int permille) { return permille > 0 && int(below(1000)) < permille; }

private:
    uint64_t state_;
};

constexpr int lineGroupMax = 64;  // reports held at once (burst, reorder window)

struct UdpLineConfig {
    uint32_t seed = 1;
    int lossPct = 0;        // 0..100
    int dupPct = 0;         // 0..100
    int corruptPct = 0;     // 0..100
    int reorderWindow = 0;  // 0 or 1: in order; 2..lineGroupMax: shuffled in groups of that many
    int burst = 0;          // 0: reports leave as made; 2..lineGroupMax: in groups of N
    int silenceSeconds = 0;       // silent this long ...
    int silenceEverySeconds = 0;  // ... at the end of every period this long; 0 = never

    bool any() const
    {
        return lossPct || dupPct || corruptPct || reorderWindow > 1 || burst > 1 ||
               (silenceSeconds > 0 && silenceEverySeconds > 0);
    }
};

struct LineCounts {
    uint64_t offered = 0;     // frames (bytes on the serial wire) the reader sent
    uint64_t delivered = 0;   // what went on to the program, duplicates included
    uint64_t lost = 0;        // dropped at random
    uint64_t silenced = 0;    // dropped while the line was silent
    uint64_t duplicated = 0;  // extra copies sent
    uint64_t corrupted = 0;   // sent with a flipped bit
    uint64_t reordered = 0;   // reports sent out of their place
    uint64_t inDropped = 0;   // datagrams to the reader dropped while silent
    uint64_t noise = 0;       // noise bytes the serial wire added
};

class FaultyLine : public FrameSender {
public:
    // reportCode: the command code of the dialect's tag reports (the frames
    // held for bursts and reordering).
    FaultyLine(const UdpLineConfig& config, FrameSender& inner, uint8_t reportCode);

    void sendFrame(const NetAddr& to, const uint8_t* frame, size_t length) override;

    // The line's clock in milliseconds since the start; decides the silence.
    void setTimeMs(int64_t ms) { nowMs_ = ms; }
    bool silent() const;
    // An incoming datagram: false (and counted) when the silent line eats it.
    bool passIncoming();
    // Lets go of the held reports (every tick, and at the end).
    void flush();

    const LineCounts& counts() const { return counts_; }
    // "# line seed=S offered=... delivered=... lost=... silenced=...
    //  duplicated=... corrupted=... reordered=... in-dropped=..."
    void printSummary(SimLog& log) const;

private:
    struct Held {
        NetAddr to;
        size_t length;
        uint8_t bytes[simFrameMax];
    };
    void pass(const NetAddr& to, const uint8_t* frame, size_t length);
    int groupSize() const;

    UdpLineConfig config_;
    FrameSender& inner_;
    uint8_t reportCode_;
    LineRandom random_;
    int64_t nowMs_ = 0;
    LineCounts counts_;
    Held held_[lineGroupMax];
    int heldCount_ = 0;
};

constexpr int lineNoiseMax = 64;

struct SerialLineConfig {
    uint32_t seed = 1;
    int dropBytesPermille = 0;  // 0..1000: tenths of a percent
    int noiseMax = 0;      // 0..lineNoiseMax noise bytes before each write

    bool any() const { return dropBytesPermille > 0 || noiseMax > 0; }
};

class FaultyWire : public SerialWriter {
public:
    FaultyWire(const SerialLineConfig& config, SerialWriter& inner)
        : config_(config), inner_(inner), random_(config.seed)
    {
    }
    void writeComBytes(const uint8_t* bytes, size_t count) override;
    const LineCounts& counts() const { return counts_; }
    // "# line seed=S offered=N delivered=N lost=N noise=N" (bytes; offered
    // counts the reader's own bytes, noise the bytes the wire added).
    void printSummary(SimLog& log) const;

private:
    SerialLineConfig config_;
    SerialWriter& inner_;
    LineRandom random_;
    LineCounts counts_;
};
