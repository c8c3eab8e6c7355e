// The legacy-serial reader: its answers byte for byte against hand-built
// frames of the R7A dialect, the record that writes change, its rx lines
// and the misbehaviour by kind.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/unit/r7a-setup/r7aBytes.h"
#include "tools/readersim/legacySerialReader.h"

namespace {

class Lines : public SimLog {
public:
    void line(const char* text) override { lines.emplace_back(text); }
    std::vector<std::string> lines;
};

class Writes : public SerialWriter {
public:
    void writeComBytes(const uint8_t* bytes, size_t count) override
    {
        writes.emplace_back(bytes, bytes + count);
    }
    Bytes all() const
    {
        Bytes out;
        for (const Bytes& w : writes)
            out.insert(out.end(), w.begin(), w.end());
        return out;
    }
    std::vector<Bytes> writes;
};

// The reader of the worked example: codes 0, 1, 2, 192.168.1.195/24 via .1,
// "R7A-V1.7", threshold -80, flag 1.
LegacySerialConfig exampleReader(size_t replySize = 59)
{
    LegacySerialConfig c;
    const Bytes w = exampleWrite();
    decodeR7aWrite(w.data() + 10, 17, &c.record);
    c.replySize = replySize;
    return c;
}

struct Sim {
    explicit Sim(const LegacySerialConfig& c) : reader(c, out, log) {}
    void send(const Bytes& b) { reader.onBytes(b.data(), b.size()); }
    Writes out;
    Lines log;
    LegacySerialReader reader;
};

const Bytes kRead(r7aReadRequest, r7aReadRequest + 10);

}  // namespace

class LegacyReplySizes : public testing::TestWithParam<size_t> {};

TEST_P(LegacyReplySizes, ReadRequestGetsTheReplyOfItsSize)
{
    Sim sim(exampleReader(GetParam()));
    sim.send(kRead);
    EXPECT_EQ(sim.out.writes, std::vector<Bytes>{r7aReply(GetParam(), "R7A-V1.7", 1)});
    ASSERT_EQ(sim.log.lines.size(), 1u);
    EXPECT_EQ(sim.log.lines[0], "rx code=0x01 name=read level=1 len=0 payload=");
}

INSTANTIATE_TEST_SUITE_P(Sizes, LegacyReplySizes, testing::Values(57, 58, 59));

TEST(LegacySerialReader, WriteIsStoredPrintedAndAcknowledged)
{
    Sim sim(LegacySerialConfig{});
    sim.send(exampleWrite());
    EXPECT_EQ(sim.out.writes, std::vector<Bytes>{r7aFrameOf(0x04, {})});
    EXPECT_EQ(sim.log.lines.back(),
              "rx code=0x03 name=write level=1 len=17 payload=000102C301A8C000FFFFFF0101A8C0B001"
              " rs485=0 ant0=1 ant1=2 ip=192.168.1.195 mask=255.255.255.0 gateway=192.168.1.1"
              " threshold=-80 flag=1");
    sim.out.writes.clear();
    sim.send(kRead);  // the re-read shows what was written, with the reader's version
    EXPECT_EQ(sim.out.all(), r7aReply(59));
}

TEST(LegacySerialReader, RequestInPiecesAndBehindNoiseIsAnswered)
{
    Sim sim(exampleReader());
    const Bytes noisy = cat_of(hexBytes("00 51 56 FF"), kRead);
    sim.send(head_of(noisy, 7));
    EXPECT_TRUE(sim.out.writes.empty());
    sim.send(tail_of(noisy, 7));
    EXPECT_EQ(sim.out.all(), r7aReply(59));
}

TEST(LegacySerialReader, ARequestWhoseRestNeverComesIsDroppedAtTheNextTick)
{
    Sim sim(exampleReader());
    sim.send(head_of(kRead, 6));
    sim.reader.tick();  // bytes came in this period: kept
    sim.reader.tick();  // none since: dropped
    sim.send(kRead);
    EXPECT_EQ(sim.out.all(), r7aReply(59));
}

TEST(LegacySerialReader, ShortWriteChangesNothing)
{
    Sim sim(exampleReader());
    sim.send(r7aFrameOf(0x03, hexBytes("04 04 04")));
    EXPECT_TRUE(sim.out.writes.empty());
    EXPECT_NE(sim.log.lines.back().find("malformed=short"), std::string::npos);
    EXPECT_EQ(sim.reader.record().rs485Baud, 0);
}

struct FaultCase {
    const char* name;
    LegacySerialFaults faults;
    std::vector<Bytes> writes;  // for a read request
};

class LegacyFaults : public testing::TestWithParam<FaultCase> {};

TEST_P(LegacyFaults, ReplyAsSpoilt)
{
    LegacySerialConfig c = exampleReader();
    c.faults = GetParam().faults;
    Sim sim(c);
    sim.send(kRead);
    EXPECT_EQ(sim.out.writes, GetParam().writes) << GetParam().name;
}

LegacySerialFaults faultsOf(unsigned LegacySerialFaults::*kind)
{
    LegacySerialFaults f;
    f.*kind = serialKindReply;
    return f;
}

Bytes badCrcReply()
{
    Bytes r = r7aReply(59);
    r[6] = uint8_t(~r[6]);
    return r;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, LegacyFaults,
    testing::Values(FaultCase{"silent", faultsOf(&LegacySerialFaults::silent), {}},
                    FaultCase{"bad CRC", faultsOf(&LegacySerialFaults::badCrc), {badCrcReply()}},
                    FaultCase{"stray", faultsOf(&LegacySerialFaults::stray),
                              {cat_of(hexBytes("EE EE EE"), r7aReply(59))}},
                    FaultCase{"split", faultsOf(&LegacySerialFaults::split),
                              {head_of(r7aReply(59), 30),
                               tail_of(r7aReply(59), 30)}},
                    FaultCase{"the ack's faults leave the reply alone",
                              [] {
                                  LegacySerialFaults f;
                                  f.silent = serialKindAck;
                                  return f;
                              }(),
                              {r7aReply(59)}}));

TEST(LegacySerialReader, AnswersThroughTheFaultyWireArriveInPiecesInOrder)
{
    // The reply and the acknowledgement cut at random, the ack waiting
    // behind the reply's held pieces, on the wire's clock.
    SerialLineConfig line;
    line.seed = 2;
    line.cutPct = 100;
    line.cutGapMaxMs = 20;
    Writes out;
    Lines log;
    FaultyWire wire(line, out);
    LegacySerialReader reader(exampleReader(), wire, log);
    reader.onBytes(kRead.data(), kRead.size());
    const Bytes write = exampleWrite();
    reader.onBytes(write.data(), write.size());
    EXPECT_TRUE(wire.holdsBytes());
    for (int64_t ms = 1; ms <= 200 && wire.holdsBytes(); ++ms)
        wire.setTimeMs(ms);
    EXPECT_FALSE(wire.holdsBytes());
    EXPECT_EQ(out.all(), cat_of(r7aReply(59), r7aFrameOf(0x04, {})));
    EXPECT_GE(out.writes.size(), 4u);
    EXPECT_EQ(wire.counts().cuts, 2u);
}
