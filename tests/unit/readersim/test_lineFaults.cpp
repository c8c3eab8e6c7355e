// The faulty line, driven directly with fixed seeds: what each fault does
// to the frames and bytes, that its counts add up, and that the same seed
// gives the same run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "console/netPdu.h"
#include "tools/readersim/lineFaults.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Capture : FrameSender {
    std::vector<Bytes> frames;
    void sendFrame(const NetAddr&, const uint8_t* frame, size_t length) override
    {
        frames.emplace_back(frame, frame + length);
    }
};

struct WireCapture : SerialWriter {
    Bytes bytes;
    int writes = 0;
    void writeComBytes(const uint8_t* b, size_t count) override
    {
        bytes.insert(bytes.end(), b, b + count);
        ++writes;
    }
};

const NetAddr kTo{0x7F000001, 8800};

// A sound frame of the listening dialect; the payload carries n so each
// frame is told apart.
Bytes frame(uint8_t code, uint32_t n, size_t payloadBytes = 12)
{
    Bytes payload(payloadBytes, 0);
    for (size_t i = 0; i < 4 && i < payloadBytes; ++i)
        payload[i] = uint8_t(n >> (8 * (3 - i)));
    Bytes out(payloadBytes + netHeaderSize);
    out.resize(netPduBuild(out.data(), out.size(), code, payload.data(), payload.size()));
    return out;
}

// Offers `count` frames of `code` and lets go of what is held.
Capture run(const UdpLineConfig& config, int count, uint8_t code = netCodeLabelReport,
            LineCounts* counts = nullptr)
{
    Capture out;
    FaultyLine line(config, out, netCodeLabelReport);
    for (int i = 0; i < count; ++i) {
        const Bytes f = frame(code, uint32_t(i));
        line.sendFrame(kTo, f.data(), f.size());
    }
    line.flush();
    if (counts)
        *counts = line.counts();
    return out;
}

bool sound(const Bytes& f)
{
    NetPdu pdu;
    return netPduValidate(f.data(), f.size(), &pdu) == NetCheck::ok;
}

}  // namespace

TEST(LineFaults, EachFaultDoesWhatItSaysAndTheCountsAddUp)
{
    struct Case {
        const char* what;
        UdpLineConfig config;
        int minDelivered, maxDelivered;  // of 1000 offered
    };
    auto with = [](int loss, int dup, int corrupt, int reorder, int burst) {
        UdpLineConfig c;
        c.seed = 7;
        c.lossPct = loss;
        c.dupPct = dup;
        c.corruptPct = corrupt;
        c.reorderWindow = reorder;
        c.burst = burst;
        return c;
    };
    const Case cases[] = {
        {"clean", with(0, 0, 0, 0, 0), 1000, 1000},
        {"all lost", with(100, 0, 0, 0, 0), 0, 0},
        {"10% lost", with(10, 0, 0, 0, 0), 850, 950},
        {"all twice", with(0, 100, 0, 0, 0), 2000, 2000},
        {"10% twice", with(0, 10, 0, 0, 0), 1050, 1150},
        {"all spoilt", with(0, 0, 100, 0, 0), 1000, 1000},
        {"reordered in 8", with(0, 0, 0, 8, 0), 1000, 1000},
        {"bursts of 16", with(0, 0, 0, 0, 16), 1000, 1000},
        {"everything", with(5, 5, 5, 8, 16), 900, 1100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LineCounts n;
        const Capture out = run(c.config, 1000, netCodeLabelReport, &n);
        const int delivered = int(out.frames.size());
        EXPECT_GE(delivered, c.minDelivered);
        EXPECT_LE(delivered, c.maxDelivered);
        EXPECT_EQ(n.offered, 1000u);
        EXPECT_EQ(n.delivered, uint64_t(delivered));
        EXPECT_EQ(n.offered + n.duplicated, n.delivered + n.lost + n.silenced);
        // Every spoilt frame, and only those, fails the consoles' frame check.
        const auto bad = std::count_if(out.frames.begin(), out.frames.end(),
                                       [](const Bytes& f) { return !sound(f); });
        EXPECT_GE(uint64_t(bad), n.corrupted);
        EXPECT_LE(uint64_t(bad), 2 * n.corrupted);  // a spoilt frame may be sent twice
        if (c.config.corruptPct == 100) {
            EXPECT_EQ(bad, delivered);
        }
        if (c.config.reorderWindow > 1) {
            EXPECT_GT(n.reordered, 0u);
        } else {
            EXPECT_EQ(n.reordered, 0u);
        }
    }
}

TEST(LineFaults, ReorderingKeepsEveryReportWithinItsWindow)
{
    UdpLineConfig c;
    c.reorderWindow = 8;
    const Capture out = run(c, 100);
    ASSERT_EQ(out.frames.size(), 100u);
    std::vector<uint32_t> seen;
    for (size_t i = 0; i < out.frames.size(); ++i) {
        const Bytes& f = out.frames[i];
        const uint32_t n = uint32_t(f[10]) << 24 | uint32_t(f[11]) << 16 | uint32_t(f[12]) << 8 | f[13];
        EXPECT_EQ(n / 8, i / 8) << "report " << n << " left its window";
        seen.push_back(n);
    }
    std::sort(seen.begin(), seen.end());
    for (uint32_t i = 0; i < 100; ++i)
        EXPECT_EQ(seen[i], i);
}

TEST(LineFaults, OnlyReportsAreHeldForBurstsAndTheTickLetsThemGo)
{
    UdpLineConfig c;
    c.burst = 4;
    Capture out;
    FaultyLine line(c, out, netCodeLabelReport);
    const Bytes report = frame(netCodeLabelReport, 1);
    const Bytes heartbeat = frame(0x22, 2);
    for (int i = 0; i < 3; ++i)
        line.sendFrame(kTo, report.data(), report.size());
    EXPECT_EQ(out.frames.size(), 0u);  // three reports held
    line.sendFrame(kTo, heartbeat.data(), heartbeat.size());
    EXPECT_EQ(out.frames.size(), 1u);  // other frames pass at once
    line.sendFrame(kTo, report.data(), report.size());
    EXPECT_EQ(out.frames.size(), 5u);  // the full group leaves back to back
    line.sendFrame(kTo, report.data(), report.size());
    line.flush();                       // the tick
    EXPECT_EQ(out.frames.size(), 6u);
}

TEST(LineFaults, SilenceEatsBothDirectionsAtTheEndOfEachPeriod)
{
    UdpLineConfig c;
    c.silenceSeconds = 3;
    c.silenceEverySeconds = 10;
    Capture out;
    FaultyLine line(c, out, netCodeLabelReport);
    const Bytes hb = frame(0x22, 0);
    const struct {
        int64_t ms;
        bool silent;
    } table[] = {{0, false}, {6999, false}, {7000, true}, {9999, true},
                 {10000, false}, {16999, false}, {17000, true}, {20000, false}};
    uint64_t eaten = 0;
    for (const auto& t : table) {
        SCOPED_TRACE(t.ms);
        line.setTimeMs(t.ms);
        EXPECT_EQ(line.silent(), t.silent);
        const size_t before = out.frames.size();
        line.sendFrame(kTo, hb.data(), hb.size());
        EXPECT_EQ(out.frames.size(), before + (t.silent ? 0 : 1));
        EXPECT_EQ(line.passIncoming(), !t.silent);
        eaten += t.silent ? 1 : 0;
    }
    EXPECT_EQ(line.counts().silenced, eaten);
    EXPECT_EQ(line.counts().inDropped, eaten);
}

TEST(LineFaults, TheSameSeedSpoilsTheSameFramesAnotherSeedOthers)
{
    UdpLineConfig c;
    c.lossPct = 20;
    c.dupPct = 20;
    c.corruptPct = 20;
    c.reorderWindow = 5;
    c.seed = 42;
    const Capture a = run(c, 300), b = run(c, 300);
    EXPECT_EQ(a.frames, b.frames);
    c.seed = 43;
    EXPECT_NE(run(c, 300).frames, a.frames);
}

TEST(LineFaults, TheWireDropsBytesAndPutsNoiseWithoutFrameMagicBeforeWrites)
{
    struct Case {
        const char* what;
        int drop, noiseMax;
    };
    // drop in tenths of a percent
    const Case cases[] = {{"clean", 0, 0}, {"all dropped", 1000, 0}, {"10% dropped", 100, 0},
                          {"0.2% dropped", 2, 0}, {"noise", 0, 8}, {"both", 100, 8}};
    const Bytes answer = frame(0x02, 5, 100);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SerialLineConfig config;
        config.seed = 3;
        config.dropBytesPermille = c.drop;
        config.noiseMax = c.noiseMax;
        WireCapture out;
        FaultyWire wire(config, out);
        for (int i = 0; i < 50; ++i)
            wire.writeComBytes(answer.data(), answer.size());
        const LineCounts& n = wire.counts();
        EXPECT_EQ(n.offered, 50 * answer.size());
        EXPECT_EQ(n.delivered, out.bytes.size());
        EXPECT_EQ(n.offered + n.noise, n.delivered + n.lost);
        EXPECT_LE(n.noise, 50u * uint64_t(c.noiseMax));
        if (c.drop == 0 && c.noiseMax == 0) {
            EXPECT_EQ(out.bytes.size(), 50 * answer.size());
        }
        if (c.drop == 1000) {
            EXPECT_EQ(out.bytes.size(), 0u);
        }
        // Frame magic appears only where an answer starts: noise never
        // looks like the start of a frame.
        if (c.drop == 0) {
            const auto q = std::count(out.bytes.begin(), out.bytes.end(), uint8_t('Q'));
            EXPECT_EQ(q, std::count(answer.begin(), answer.end(), uint8_t('Q')) * 50);
        }
    }
}

namespace {

// The wire driven on its own clock, one millisecond a step: every inner
// write with the time it left.
struct TimedCapture : SerialWriter {
    int64_t now = 0;
    std::vector<std::pair<int64_t, Bytes>> writes;
    void writeComBytes(const uint8_t* b, size_t count) override
    {
        writes.emplace_back(now, Bytes(b, b + count));
    }
    Bytes all() const
    {
        Bytes out;
        for (const auto& w : writes)
            out.insert(out.end(), w.second.begin(), w.second.end());
        return out;
    }
};

void runUntilEmpty(FaultyWire& wire, TimedCapture& out, int64_t limitMs = 100000)
{
    while (wire.holdsBytes() && out.now < limitMs) {
        ++out.now;
        wire.setTimeMs(out.now);
    }
}

SerialLineConfig cutting(int pct, int gapMaxMs, uint32_t seed = 3)
{
    SerialLineConfig c;
    c.seed = seed;
    c.cutPct = pct;
    c.cutGapMaxMs = gapMaxMs;
    return c;
}

}  // namespace

TEST(LineFaults, CutWritesLeaveInTwoToFourPiecesOnTheirGapsAndNeverReorder)
{
    const Bytes a = frame(0x02, 1, 100), b = frame(0x04, 2, 0);
    TimedCapture out;
    FaultyWire wire(cutting(100, 40), out);
    wire.setTimeMs(0);
    wire.writeComBytes(a.data(), a.size());
    // The first piece leaves at once, the rest are held.
    ASSERT_EQ(out.writes.size(), 1u);
    EXPECT_LT(out.writes[0].second.size(), a.size());
    EXPECT_TRUE(wire.holdsBytes());
    const int64_t due = wire.msUntilDue();
    EXPECT_GE(due, 0);
    EXPECT_LE(due, 40);
    // A second write queues behind the pieces of the first.
    wire.writeComBytes(b.data(), b.size());
    EXPECT_EQ(out.writes.size(), 1u);
    // Nothing leaves before it is due.
    if (due > 0) {
        out.now = due - 1;
        wire.setTimeMs(out.now);
        EXPECT_EQ(out.writes.size(), 1u);
    }
    runUntilEmpty(wire, out);
    EXPECT_FALSE(wire.holdsBytes());
    EXPECT_EQ(wire.msUntilDue(), -1);
    Bytes both = a;
    both.insert(both.end(), b.begin(), b.end());
    EXPECT_EQ(out.all(), both);
    EXPECT_GE(out.writes.size(), 4u);  // 2..4 pieces each
    EXPECT_LE(out.writes.size(), 8u);
    for (size_t i = 1; i < out.writes.size(); ++i) {
        EXPECT_FALSE(out.writes[i].second.empty());
        EXPECT_LE(out.writes[i].first - out.writes[i - 1].first, 40) << i;
    }
    EXPECT_EQ(wire.counts().cuts, 2u);
    EXPECT_EQ(wire.counts().delivered, both.size());
}

TEST(LineFaults, CutsChangeWhenBytesLeaveNeverWhichBytesLeave)
{
    // The same drops and noise with and without cuts (their own random
    // stream), so a soak can add cuts and keep its losses.
    const Bytes answer = frame(0x02, 5, 100);
    struct Case {
        const char* what;
        int cutPct, gapMax;
        uint64_t minCuts, maxCuts;  // of 200 writes
    };
    const Case cases[] = {{"no cuts", 0, 0, 0, 0},
                          {"all cut, no gaps", 100, 0, 200, 200},
                          {"half cut, gaps", 50, 25, 70, 130}};
    Bytes reference;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SerialLineConfig config = cutting(c.cutPct, c.gapMax, 11);
        config.dropBytesPermille = 20;
        config.noiseMax = 4;
        TimedCapture out;
        FaultyWire wire(config, out);
        for (int i = 0; i < 200; ++i) {
            wire.writeComBytes(answer.data(), answer.size());
            out.now += 100;  // longer than any write's gaps: nothing piles up
            wire.setTimeMs(out.now);
        }
        runUntilEmpty(wire, out);
        const LineCounts& n = wire.counts();
        EXPECT_GE(n.cuts, c.minCuts);
        EXPECT_LE(n.cuts, c.maxCuts);
        EXPECT_EQ(n.delivered, out.all().size());
        EXPECT_EQ(n.offered + n.noise, n.delivered + n.lost);
        if (c.cutPct == 0) {
            reference = out.all();
            EXPECT_EQ(out.writes.size(), 200u);  // one write each, as before
        } else {
            EXPECT_EQ(out.all(), reference);
            EXPECT_GE(out.writes.size(), 200u + n.cuts);
            EXPECT_LE(out.writes.size(), 200u + 3 * n.cuts);
        }
    }
}

TEST(LineFaults, TheSameSeedCutsTheSameWay)
{
    const Bytes answer = frame(0x02, 5, 60);
    auto run = [&](uint32_t seed) {
        TimedCapture out;
        FaultyWire wire(cutting(60, 30, seed), out);
        for (int i = 0; i < 50; ++i) {
            wire.writeComBytes(answer.data(), answer.size());
            out.now += 7;
            wire.setTimeMs(out.now);
        }
        runUntilEmpty(wire, out);
        return out.writes;
    };
    EXPECT_EQ(run(5), run(5));
    EXPECT_NE(run(5), run(6));
}

TEST(LineFaults, AFullWireLetsItsHeldPiecesGoEarlyAndTheEndFlushesThem)
{
    // Long gaps and no clock: the held bytes outgrow the wire, which writes
    // them early rather than lose or reorder them.
    const Bytes answer = frame(0x02, 9, 200);
    TimedCapture out;
    FaultyWire wire(cutting(100, lineCutGapMaxMs), out);
    Bytes sent;
    for (int i = 0; i < 40; ++i) {
        wire.writeComBytes(answer.data(), answer.size());
        sent.insert(sent.end(), answer.begin(), answer.end());
    }
    EXPECT_GT(out.all().size(), sent.size() - lineHeldBytesMax - 1);
    EXPECT_TRUE(wire.holdsBytes());
    wire.flushHeld();
    EXPECT_FALSE(wire.holdsBytes());
    EXPECT_EQ(out.all(), sent);
}

TEST(LineFaults, TheWireSummaryCountsCutsAndTheReadersLateAnswers)
{
    struct Log : SimLog {
        std::vector<std::string> lines;
        void line(const char* text) override { lines.emplace_back(text); }
    } log;
    TimedCapture out;
    FaultyWire wire(cutting(100, 0, 8), out);
    const Bytes answer = frame(0x02, 1, 10);
    wire.writeComBytes(answer.data(), answer.size());
    wire.printSummary(log);
    wire.printSummary(log, 3);
    ASSERT_EQ(log.lines.size(), 2u);
    const std::string head = "# line seed=8 offered=" + std::to_string(answer.size()) +
                             " delivered=" + std::to_string(answer.size()) +
                             " lost=0 noise=0 cut=1";
    EXPECT_EQ(log.lines[0], head);
    EXPECT_EQ(log.lines[1], head + " late=3");
}
