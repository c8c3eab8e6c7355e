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
// per byte already spoils most of them). With cutPct, what survives of a
// write is then cut at random points into 2..4 pieces, each after the first
// held 0..cutGapMaxMs ms (on the wire's clock, setTimeMs) behind the one
// before it. Later writes queue behind held pieces, so bytes never reorder;
// the run loop wakes when the next piece falls due (msUntilDue).
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
    // stream: an independent sequence for the same seed (0: the line's own),
    // so one kind of choice never shifts the draws of another.
    explicit LineRandom(uint32_t seed, uint32_t stream = 0)
        : state_(0x9E3779B97F4A7C15ULL ^ seed ^ spread(stream))
    {
        next();
    }
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
    // splitmix64 of the stream number; 0 for stream 0.
    static uint64_t spread(uint32_t stream)
    {
        if (stream == 0)
            return 0;
        uint64_t z = uint64_t(stream) * 0x9E3779B97F4A7C15ULL;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    uint64_t state_;
};

// The random streams of one seed.
enum : uint32_t { lineStreamCuts = 1, lineStreamLate = 2 };

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
    uint64_t cuts = 0;        // writes the serial wire cut into pieces
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
constexpr int lineCutGapMaxMs = 10000;
constexpr int lineCutPiecesMax = 4;
constexpr size_t lineHeldBytesMax = 4096;  // bytes held in pieces at once
constexpr int lineHeldPiecesMax = 64;

struct SerialLineConfig {
    uint32_t seed = 1;
    int dropBytesPermille = 0;  // 0..1000: tenths of a percent
    int noiseMax = 0;      // 0..lineNoiseMax noise bytes before each write
    int cutPct = 0;        // 0..100: each write cut into 2..4 pieces with this chance
    int cutGapMaxMs = 0;   // 0..lineCutGapMaxMs: each gap between two pieces 0..this

    bool any() const { return dropBytesPermille > 0 || noiseMax > 0 || cutPct > 0; }
};

class FaultyWire : public SerialWriter {
public:
    FaultyWire(const SerialLineConfig& config, SerialWriter& inner);
    void writeComBytes(const uint8_t* bytes, size_t count) override;

    // The wire's clock in milliseconds; lets go of the pieces that are due.
    // Writes are stamped with the time last set.
    void setTimeMs(int64_t ms);
    // Milliseconds until the next held piece is due (0: now), -1 when none.
    int64_t msUntilDue() const;
    bool holdsBytes() const { return heldPieces_ > 0; }
    // Writes every held piece now, gaps or not (at the end of a run).
    void flushHeld();

    const LineCounts& counts() const { return counts_; }
    // "# line seed=S offered=N delivered=N lost=N noise=N cut=N[ late=N]"
    // (bytes; offered counts the reader's own bytes, noise the bytes the
    // wire added, cut the writes cut into pieces). late: answers the reader
    // held at random (mode serial), left out when negative.
    void printSummary(SimLog& log, long long late = -1) const;

private:
    struct Piece {
        size_t length;
        int gapMs;  // after the piece before it left
    };
    // What survived of one write: cut or whole, queued behind what is held.
    void pass(const uint8_t* bytes, size_t count);
    void hold(const uint8_t* bytes, size_t count, int gapMs);
    void release();

    SerialLineConfig config_;
    SerialWriter& inner_;
    LineRandom random_;
    LineRandom cutRandom_;
    LineCounts counts_;
    int64_t nowMs_ = 0;
    int64_t frontDueMs_ = 0;  // when the first held piece may leave
    uint8_t held_[lineHeldBytesMax];
    size_t heldBytes_ = 0;
    Piece pieces_[lineHeldPiecesMax];
    int heldPieces_ = 0;
};
