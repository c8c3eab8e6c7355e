// The receive path: the bounded buffer between the threads, the receive
// thread over a scripted device, and the assembler's cutting parse by parse.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <vector>

#include "r7a-setup/r7aReceive.h"
#include "r7aBytes.h"
#include "tests/unit/serial/threadFaults.h"

namespace {

// One parse: everything the buffer holds, then every whole frame.
std::vector<Bytes> parse(R7aAssembler& a, const Bytes& arrived)
{
    const size_t got = a.append(arrived.data(), arrived.size());
    std::vector<Bytes> frames;
    while (const size_t total = a.next(got > 0)) {
        frames.emplace_back(a.front(), a.front() + total);
        a.pop(total);
    }
    return frames;
}

Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

const Bytes kReply = r7aReply(59);
const Bytes kAck = r7aFrameOf(0x04, {});

// A frame whose length field says n while its CRC covers all its bytes.
Bytes withLengthField(Bytes f, uint16_t n)
{
    f[8] = uint8_t(n >> 8);
    f[9] = uint8_t(n);
    const uint16_t crc = crc16Modbus(f.data() + 8, f.size() - 8);
    f[6] = uint8_t(crc);
    f[7] = uint8_t(crc >> 8);
    return f;
}
const Bytes kReplyShortField = withLengthField(kReply, 0x2F);
const Bytes kAckLongField = withLengthField(kAck, 0x20);

}  // namespace

struct CutCase {
    const char* name;
    std::vector<Bytes> parses;             // bytes arriving before each parse
    std::vector<std::vector<Bytes>> cut;   // frames each parse hands over
};

class R7aAssemblerCases : public testing::TestWithParam<CutCase> {};

TEST_P(R7aAssemblerCases, FramesPerParse)
{
    R7aAssembler a;
    const CutCase& c = GetParam();
    for (size_t i = 0; i < c.parses.size(); ++i)
        EXPECT_EQ(parse(a, c.parses[i]), c.cut[i]) << c.name << ", parse " << i;
}

Bytes spoilt(Bytes b)
{
    b[12] ^= 0xFF;
    return b;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, R7aAssemblerCases,
    testing::Values(
        CutCase{"one reply", {kReply}, {{kReply}}},
        // Alone in a parse, a frame is all the held bytes: its length field
        // is not read.
        CutCase{"a reply whose length field is wrong", {kReplyShortField}, {{kReplyShortField}}},
        CutCase{"an ack whose length field is wrong", {kAckLongField}, {{kAckLongField}}},
        CutCase{"two frames in one parse", {cat({kReply, kAck})}, {{kReply, kAck}}},
        // A frame whose bytes straddle a parse is kept for the next one.
        CutCase{"split over two parses", {head_of(kReply, 20), tail_of(kReply, 20)}, {{}, {kReply}}},
        CutCase{"split inside the header", {head_of(kReply, 6), tail_of(kReply, 6)}, {{}, {kReply}}},
        CutCase{"stray bytes before it", {cat({Bytes{0x00, 0x51, 0x56, 0xFF}, kReply})}, {{kReply}}},
        CutCase{"bad CRC, then a good frame", {cat({spoilt(kReply), kAck})}, {{kAck}}},
        // The rest of a frame that does not come by the next parse: skipped,
        // and what follows later is found.
        CutCase{"abandoned frame", {head_of(kReply, 30), {}, kAck}, {{}, {}, {kAck}}},
        CutCase{"a header longer than any frame",
                {cat({hexBytes("51564E52 01 02 00 00 FF FF"), kAck})}, {{kAck}}},
        CutCase{"a frame behind a stale beginning", {cat({head_of(kReply, 30), kAck}), {}},
                {{}, {kAck}}}),
    [](const testing::TestParamInfo<CutCase>& info) {
        std::string n = info.param.name;
        for (char& ch : n)
            if (!isalnum(static_cast<unsigned char>(ch)))
                ch = '_';
        return n;
    });

TEST(R7aReceiveBuffer, HoldsAtMost512BytesAndHandsThemOverInOrder)
{
    R7aReceiveBuffer buffer;
    Bytes many(600);
    for (size_t i = 0; i < many.size(); ++i)
        many[i] = uint8_t(i);
    EXPECT_EQ(buffer.append(many.data(), many.size()), 512u);
    EXPECT_EQ(buffer.dropped(), 88u);
    uint8_t out[512];
    EXPECT_EQ(buffer.take(out, 100), 100u);
    EXPECT_EQ(out[99], 99);
    EXPECT_EQ(buffer.take(out, sizeof out), 412u);  // the rest stayed held
    EXPECT_EQ(out[0], 100);
    EXPECT_EQ(buffer.take(out, sizeof out), 0u);
}

namespace {

// A device that hands out scripted reads, then reports nothing.
class ScriptedDevice : public SerialDevice {
public:
    explicit ScriptedDevice(std::vector<Bytes> reads) : reads_(std::move(reads)) {}
    uint32_t probeComPorts() override { return 0; }
    bool openComPort(int) override { return true; }
    void closeComPort() override {}
    bool isOpen() const override { return true; }
    void writeComBytes(const uint8_t*, size_t) override {}
    long readComBytes(uint8_t* buffer, size_t capacity, int) override
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (next_ == reads_.size()) {
            idle_ = true;
            return 0;
        }
        const Bytes& r = reads_[next_++];
        const size_t n = r.size() < capacity ? r.size() : capacity;
        std::copy(r.begin(), r.begin() + long(n), buffer);
        return long(n);
    }
    bool idle()
    {
        std::lock_guard<std::mutex> guard(lock_);
        return idle_;
    }

private:
    std::mutex lock_;
    std::vector<Bytes> reads_;
    size_t next_ = 0;
    bool idle_ = false;
};

}  // namespace

TEST(R7aReceiver, AppendsEveryReadAndEndsWhenStopped)
{
    ScriptedDevice device({head_of(kReply, 25), tail_of(kReply, 25)});
    R7aReceiveBuffer buffer;
    R7aReceiver receiver(device, buffer);
    receiver.start();
    R7aAssembler a;
    std::vector<Bytes> frames;
    // The window's side drains while the thread appends.
    while (frames.empty()) {
        const bool idle = device.idle();
        const size_t got = buffer.take(a.tail(), a.room());
        a.added(got);
        if (const size_t total = a.next(got > 0 || !idle)) {
            frames.emplace_back(a.front(), a.front() + total);
            a.pop(total);
        }
        if (idle && got == 0 && frames.empty() && a.held() == 0)
            break;  // nothing more will come
    }
    receiver.stop();
    EXPECT_EQ(frames, std::vector<Bytes>{kReply});
}

TEST(R7aReceiver, AThreadThatCannotBeCreatedLeavesTheReceiverStopped)
{
    ScriptedDevice device({kReply});
    R7aReceiveBuffer buffer;
    R7aReceiver receiver(device, buffer);
    int calls = 0;
    receiver.setThreadStarter(threadStarterFailingAt(1, &calls));
    EXPECT_THROW(receiver.start(), std::system_error);
    receiver.stop();  // nothing to end
    EXPECT_EQ(buffer.take(nullptr, 0), 0u);

    // Not left marked as running: the next start creates the thread.
    receiver.setThreadStarter(nullptr);
    receiver.start();
    Bytes got(r7aBufferSize);
    size_t n = 0;
    const auto bound = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (n < kReply.size() && std::chrono::steady_clock::now() < bound) {
        n += buffer.take(got.data() + n, got.size() - n);
        std::this_thread::yield();
    }
    receiver.stop();
    got.resize(n);
    EXPECT_EQ(got, kReply);
}
