// The byte-stream cutter: frames in pieces and together, stray bytes, the
// idle discard, wrong CRCs, oversize and stalled frames, the buffer bound,
// and the hand-off between the receive and reassembly sides.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "serial/frameCutter.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes frameOf(uint8_t command, const Bytes& payload, uint8_t level = 2)
{
    Bytes f(configHeaderSize + payload.size());
    buildConfigFrame(f.data(), f.size(), level, command, payload.data(), payload.size());
    return f;
}

Bytes payloadOf(size_t n, uint8_t seed)
{
    Bytes p(n);
    for (size_t i = 0; i < n; ++i)
        p[i] = uint8_t(seed + i * 13);
    return p;
}

Bytes join(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

class RecordingSink : public FrameSink {
public:
    void onFrame(const uint8_t* frame, size_t total) override
    {
        frames.emplace_back(frame, frame + total);
    }
    std::vector<Bytes> frames;
};

void append(FrameCutter& cutter, const Bytes& bytes)
{
    ASSERT_EQ(cutter.append(bytes.data(), bytes.size()), bytes.size());
}

// Runs cut() until it stops finding work (frames or discards).
void cutAll(FrameCutter& cutter, FrameSink& sink)
{
    for (;;) {
        const CutResult r = cutter.cut(sink);
        if (r == CutResult::waitHeader || r == CutResult::waitBody)
            return;
    }
}

}  // namespace

TEST(FrameCutter, WholeFrameInOneRead)
{
    FrameCutter cutter;
    RecordingSink sink;
    const Bytes f = frameOf(configCmdParamReply, payloadOf(120, 1));
    append(cutter, f);
    EXPECT_EQ(cutter.cut(sink), CutResult::frame);
    ASSERT_EQ(sink.frames.size(), 1u);
    EXPECT_EQ(sink.frames[0], f);
    EXPECT_EQ(cutter.fillCount(), 0u);
    EXPECT_EQ(cutter.cut(sink), CutResult::waitHeader);
}

TEST(FrameCutter, EmptyBufferWaitsAndDoesNotCountIdle)
{
    FrameCutter cutter;
    RecordingSink sink;
    EXPECT_EQ(cutter.cut(sink), CutResult::waitHeader);
    for (int i = 0; i < 200; ++i)
        EXPECT_FALSE(cutter.idlePoll());
    EXPECT_EQ(cutter.idleCount(), 0);
}

TEST(FrameCutter, FrameSplitAtEveryPointIsDeliveredOnceWhole)
{
    const Bytes f = frameOf(configCmdParamReply, payloadOf(40, 9));
    for (size_t split = 1; split < f.size(); ++split) {
        FrameCutter cutter;
        RecordingSink sink;
        append(cutter, Bytes(f.begin(), f.begin() + split));
        EXPECT_EQ(cutter.cut(sink),
                  split < configHeaderSize ? CutResult::waitHeader : CutResult::waitBody)
            << split;
        EXPECT_TRUE(sink.frames.empty());
        append(cutter, Bytes(f.begin() + split, f.end()));
        EXPECT_EQ(cutter.cut(sink), CutResult::frame) << split;
        ASSERT_EQ(sink.frames.size(), 1u);
        EXPECT_EQ(sink.frames[0], f);
        EXPECT_EQ(cutter.fillCount(), 0u);
    }
}

TEST(FrameCutter, FrameInSingleBytesWithPollsBetween)
{
    // A trickle with a few quiet polls between bytes is still one frame.
    const Bytes f = frameOf(configCmdWriteAck, payloadOf(30, 3));
    FrameCutter cutter;
    RecordingSink sink;
    for (uint8_t b : f) {
        append(cutter, {b});
        cutAll(cutter, sink);
        for (int i = 0; i < 4; ++i)
            EXPECT_FALSE(cutter.idlePoll());
    }
    ASSERT_EQ(sink.frames.size(), 1u);
    EXPECT_EQ(sink.frames[0], f);
}

TEST(FrameCutter, TwoFramesInOneReadAreCutInOrder)
{
    const Bytes a = frameOf(configCmdParamReply, payloadOf(100, 1));
    const Bytes b = frameOf(configCmdWriteAck, {});
    FrameCutter cutter;
    RecordingSink sink;
    append(cutter, join({a, b}));
    EXPECT_EQ(cutter.cut(sink), CutResult::frame);
    ASSERT_EQ(sink.frames.size(), 1u);
    EXPECT_EQ(sink.frames[0], a);
    EXPECT_EQ(cutter.fillCount(), b.size());
    EXPECT_EQ(cutter.cut(sink), CutResult::frame);
    ASSERT_EQ(sink.frames.size(), 2u);
    EXPECT_EQ(sink.frames[1], b);
    EXPECT_EQ(cutter.fillCount(), 0u);
}

TEST(FrameCutter, FrameAndTheStartOfTheNextInOneRead)
{
    const Bytes a = frameOf(configCmdParamReply, payloadOf(20, 1));
    const Bytes b = frameOf(configCmdParamReply, payloadOf(50, 2));
    FrameCutter cutter;
    RecordingSink sink;
    append(cutter, join({a, Bytes(b.begin(), b.begin() + 15)}));
    EXPECT_EQ(cutter.cut(sink), CutResult::frame);
    EXPECT_EQ(cutter.cut(sink), CutResult::waitBody);
    append(cutter, Bytes(b.begin() + 15, b.end()));
    EXPECT_EQ(cutter.cut(sink), CutResult::frame);
    ASSERT_EQ(sink.frames.size(), 2u);
    EXPECT_EQ(sink.frames[0], a);
    EXPECT_EQ(sink.frames[1], b);
}

TEST(FrameCutter, StrayBytesBeforeAFrameDiscardBothTogether)
{
    // No search for a later magic: the burst does not begin with it.
    const Bytes f = frameOf(configCmdParamReply, payloadOf(60, 4));
    FrameCutter cutter;
    RecordingSink sink;
    append(cutter, join({Bytes{0x00, 0xFF, 0x51}, f}));
    EXPECT_EQ(cutter.cut(sink), CutResult::badMagic);
    EXPECT_EQ(cutter.fillCount(), 0u);
    EXPECT_TRUE(sink.frames.empty());
    // The link goes on: the next frame is cut.
    append(cutter, f);
    EXPECT_EQ(cutter.cut(sink), CutResult::frame);
    ASSERT_EQ(sink.frames.size(), 1u);
}

TEST(FrameCutter, TenOrMoreBytesWithoutMagicAreDiscardedAtOnce)
{
    for (const Bytes& garbage : {Bytes(10, 0x00), Bytes{'Q', 'V', 'N', 'X', 0, 1, 2, 3, 0, 0},
                                 Bytes{'Q', 'V', 'R', 'F', 4, 0x24, 0, 0, 0, 0},
                                 Bytes(1024, 0x51)}) {
        FrameCutter cutter;
        RecordingSink sink;
        append(cutter, garbage);
        EXPECT_EQ(cutter.cut(sink), CutResult::badMagic);
        EXPECT_EQ(cutter.fillCount(), 0u);
    }
}

TEST(FrameCutter, FewStrayBytesGoAfterFiftyIdlePolls)
{
    for (size_t n = 1; n < configHeaderSize; ++n) {
        FrameCutter cutter;
        RecordingSink sink;
        append(cutter, Bytes(n, 0xA5));
        for (int poll = 1; poll < serialIdlePolls; ++poll) {
            EXPECT_EQ(cutter.cut(sink), CutResult::waitHeader);
            EXPECT_FALSE(cutter.idlePoll()) << n << " " << poll;
        }
        EXPECT_EQ(cutter.fillCount(), n);
        EXPECT_TRUE(cutter.idlePoll());
        EXPECT_EQ(cutter.fillCount(), 0u);
        EXPECT_EQ(cutter.idleCount(), 0);
    }
}

TEST(FrameCutter, BytesUnderTenDoNotRestartTheIdleCount)
{
    FrameCutter cutter;
    RecordingSink sink;
    append(cutter, Bytes(3, 0x51));
    for (int i = 0; i < 30; ++i)
        cutter.idlePoll();
    append(cutter, Bytes(3, 0x52));
    EXPECT_EQ(cutter.cut(sink), CutResult::waitHeader);
    for (int i = 0; i < 19; ++i)
        EXPECT_FALSE(cutter.idlePoll());
    EXPECT_TRUE(cutter.idlePoll());
    EXPECT_EQ(cutter.fillCount(), 0u);
}

TEST(FrameCutter, HeaderAfterSlowStartGetsAFreshIdleCount)
{
    const Bytes f = frameOf(configCmdParamReply, payloadOf(30, 5));
    FrameCutter cutter;
    RecordingSink sink;
    append(cutter, Bytes(f.begin(), f.begin() + 4));
    for (int i = 0; i < 45; ++i)
        cutter.idlePoll();
    append(cutter, Bytes(f.begin() + 4, f.begin() + 12));
    EXPECT_EQ(cutter.cut(sink), CutResult::waitBody);
    EXPECT_EQ(cutter.idleCount(), 0);
    for (int i = 0; i < 10; ++i)
        EXPECT_FALSE(cutter.idlePoll());
    append(cutter, Bytes(f.begin() + 12, f.end()));
    EXPECT_EQ(cutter.cut(sink), CutResult::frame);
    ASSERT_EQ(sink.frames.size(), 1u);
}

TEST(FrameCutter, WrongCrcIsCutAndConsumedLikeAnyOther)
{
    Bytes bad = frameOf(configCmdParamReply, payloadOf(70, 6));
    bad[7] ^= 0x01;
    const Bytes good = frameOf(configCmdWriteAck, {});

    FrameCutter cutter;
    RecordingSink sink;
    append(cutter, join({bad, good}));
    cutAll(cutter, sink);
    ASSERT_EQ(sink.frames.size(), 2u);
    EXPECT_EQ(sink.frames[0], bad);
    EXPECT_EQ(sink.frames[1], good);

    // Through the configuration dispatcher the bad one changes nothing.
    struct Handler : ConfigReplyHandler {
        int params = 0;
        int acks = 0;
        void onParameterReply(uint8_t, const uint8_t*, size_t) override { ++params; }
        void onWriteAcknowledged() override { ++acks; }
    } handler;
    ConfigFrameSink dispatch(handler);
    append(cutter, join({bad, good}));
    cutAll(cutter, dispatch);
    EXPECT_EQ(handler.params, 0);
    EXPECT_EQ(handler.acks, 1);
    EXPECT_EQ(cutter.fillCount(), 0u);
}

TEST(FrameCutter, LargestFrameThatFitsIsCut)
{
    const Bytes f = frameOf(configCmdParamReply, payloadOf(serialMaxPayload, 7));
    ASSERT_EQ(f.size(), serialAssemblySize);
    FrameCutter cutter;
    RecordingSink sink;
    append(cutter, Bytes(f.begin(), f.begin() + 500));
    EXPECT_EQ(cutter.cut(sink), CutResult::waitBody);
    append(cutter, Bytes(f.begin() + 500, f.end()));
    EXPECT_EQ(cutter.cut(sink), CutResult::frame);
    ASSERT_EQ(sink.frames.size(), 1u);
    EXPECT_EQ(sink.frames[0], f);
}

TEST(FrameCutter, OversizeHeaderIsDiscardedAtOnce)
{
    for (uint16_t announced : {uint16_t(1015), uint16_t(2000), uint16_t(0xFFFF)}) {
        Bytes header = {'Q', 'V', 'N', 'R', 2, configCmdParamReply, 0, 0,
                        uint8_t(announced >> 8), uint8_t(announced)};
        FrameCutter cutter;
        RecordingSink sink;
        append(cutter, join({header, payloadOf(300, 1)}));
        EXPECT_EQ(cutter.cut(sink), CutResult::oversize) << announced;
        EXPECT_EQ(cutter.fillCount(), 0u);
        EXPECT_TRUE(sink.frames.empty());
        // The link is free for the next frame.
        const Bytes f = frameOf(configCmdWriteAck, {});
        append(cutter, f);
        EXPECT_EQ(cutter.cut(sink), CutResult::frame);
    }
}

TEST(FrameCutter, FrameWhoseRestNeverComesIsDiscardedAfterFiftyQuietPolls)
{
    const Bytes f = frameOf(configCmdParamReply, payloadOf(200, 8));
    FrameCutter cutter;
    RecordingSink sink;
    append(cutter, Bytes(f.begin(), f.begin() + 50));
    for (int poll = 1; poll < serialIdlePolls; ++poll) {
        EXPECT_EQ(cutter.cut(sink), CutResult::waitBody);
        EXPECT_FALSE(cutter.idlePoll()) << poll;
    }
    EXPECT_EQ(cutter.cut(sink), CutResult::waitBody);
    EXPECT_TRUE(cutter.idlePoll());
    EXPECT_EQ(cutter.fillCount(), 0u);
    EXPECT_TRUE(sink.frames.empty());

    // The next whole frame is taken.
    append(cutter, f);
    EXPECT_EQ(cutter.cut(sink), CutResult::frame);
    ASSERT_EQ(sink.frames.size(), 1u);
    EXPECT_EQ(sink.frames[0], f);
}

TEST(FrameCutter, EveryNewByteOfAFrameRestartsTheIdleCount)
{
    const Bytes f = frameOf(configCmdParamReply, payloadOf(60, 9));
    FrameCutter cutter;
    RecordingSink sink;
    append(cutter, Bytes(f.begin(), f.begin() + 10));
    size_t at = 10;
    while (at < f.size()) {
        EXPECT_EQ(cutter.cut(sink), CutResult::waitBody);
        for (int poll = 1; poll < serialIdlePolls; ++poll)
            ASSERT_FALSE(cutter.idlePoll());
        append(cutter, {f[at++]});
    }
    EXPECT_EQ(cutter.cut(sink), CutResult::frame);
    ASSERT_EQ(sink.frames.size(), 1u);
}

TEST(FrameCutter, IdlePollDoesNotCountAFrameReadyToCut)
{
    const Bytes f = frameOf(configCmdWriteAck, {});
    FrameCutter cutter;
    RecordingSink sink;
    append(cutter, f);
    for (int i = 0; i < 2 * serialIdlePolls; ++i)
        EXPECT_FALSE(cutter.idlePoll());
    EXPECT_EQ(cutter.cut(sink), CutResult::frame);
}

TEST(FrameCutter, BytesBeyondTheBufferAreDropped)
{
    FrameCutter cutter;
    RecordingSink sink;
    const Bytes f = frameOf(configCmdParamReply, payloadOf(serialMaxPayload, 1));
    const Bytes more = payloadOf(100, 2);
    EXPECT_EQ(cutter.append(f.data(), 1000), 1000u);
    const Bytes rest = join({Bytes(f.begin() + 1000, f.end()), more});
    EXPECT_EQ(cutter.append(rest.data(), rest.size()), 24u);
    EXPECT_EQ(cutter.fillCount(), serialAssemblySize);
    EXPECT_EQ(cutter.append(more.data(), more.size()), 0u);
    EXPECT_EQ(cutter.cut(sink), CutResult::frame);
    EXPECT_EQ(sink.frames.at(0), f);
    EXPECT_EQ(cutter.fillCount(), 0u);
}

TEST(FrameCutter, ReceiveSideAppendsWhileTheSinkRuns)
{
    // The sink runs without the assembly lock: another thread appends the
    // next frame behind the one being dispatched, which is cut next.
    const Bytes a = frameOf(configCmdParamReply, payloadOf(80, 1));
    const Bytes b = frameOf(configCmdWriteAck, payloadOf(5, 2));
    FrameCutter cutter;
    struct Sink : FrameSink {
        FrameCutter* cutter = nullptr;
        const Bytes* next = nullptr;
        std::vector<Bytes> frames;
        size_t appended = 0;
        void onFrame(const uint8_t* frame, size_t total) override
        {
            if (frames.empty()) {
                std::thread receive(
                    [&] { appended = cutter->append(next->data(), next->size()); });
                receive.join();
            }
            frames.emplace_back(frame, frame + total);
        }
    } sink;
    sink.cutter = &cutter;
    sink.next = &b;
    append(cutter, a);
    EXPECT_EQ(cutter.cut(sink), CutResult::frame);
    EXPECT_EQ(sink.appended, b.size());
    ASSERT_EQ(sink.frames.size(), 1u);
    EXPECT_EQ(sink.frames[0], a);  // unchanged by the append behind it
    EXPECT_EQ(cutter.cut(sink), CutResult::frame);
    ASSERT_EQ(sink.frames.size(), 2u);
    EXPECT_EQ(sink.frames[1], b);
}

TEST(FrameCutter, FrameCompletedJustBeforeTheIdleDiscardIsCut)
{
    const Bytes f = frameOf(configCmdWriteAck, {});
    FrameCutter cutter;
    RecordingSink sink;
    append(cutter, Bytes(f.begin(), f.begin() + 6));
    for (int i = 0; i < serialIdlePolls - 1; ++i)
        cutter.idlePoll();
    append(cutter, Bytes(f.begin() + 6, f.end()));
    EXPECT_EQ(cutter.cut(sink), CutResult::frame);
}

TEST(FrameCutterService, StrayBytesGoAfterFiftyQuietPolls)
{
    FrameCutter cutter;
    RecordingSink sink;
    append(cutter, Bytes(5, 0x00));
    for (int poll = 1; poll < serialIdlePolls; ++poll) {
        EXPECT_EQ(cutter.service(sink), CutResult::waitHeader);
        ASSERT_EQ(cutter.fillCount(), 5u) << poll;
    }
    EXPECT_EQ(cutter.service(sink), CutResult::waitHeader);
    EXPECT_EQ(cutter.fillCount(), 0u);
}

TEST(FrameCutterService, CutsWithoutWaiting)
{
    const Bytes a = frameOf(configCmdParamReply, payloadOf(10, 1));
    FrameCutter cutter;
    RecordingSink sink;
    append(cutter, join({a, a, a}));
    EXPECT_EQ(cutter.service(sink), CutResult::frame);
    EXPECT_EQ(cutter.service(sink), CutResult::frame);
    EXPECT_EQ(cutter.service(sink), CutResult::frame);
    EXPECT_EQ(sink.frames.size(), 3u);
}

TEST(FrameCutterWait, WakesWhenBytesCome)
{
    FrameCutter cutter;
    EXPECT_FALSE(cutter.waitForBytes(std::chrono::milliseconds(1)));
    std::thread receive([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const uint8_t b = 0x51;
        cutter.append(&b, 1);
    });
    // Long bound: the wait ends through the append, not the bound.
    EXPECT_TRUE(cutter.waitForBytes(std::chrono::seconds(30)));
    receive.join();
    EXPECT_EQ(cutter.fillCount(), 1u);
    // The append was seen: the next wait times out.
    EXPECT_FALSE(cutter.waitForBytes(std::chrono::milliseconds(1)));
}

TEST(FrameCutterWait, BytesBeforeTheWaitAreNotMissed)
{
    FrameCutter cutter;
    const uint8_t b = 0x51;
    cutter.append(&b, 1);
    EXPECT_TRUE(cutter.waitForBytes(std::chrono::milliseconds(0)));
}

TEST(FrameCutterThreads, FramesFromAReceiveThreadArriveInOrder)
{
    // A receive thread appends bursts of one to three whole frames (only
    // when they fit, so nothing is dropped) while the reassembly side runs
    // the loop. Every frame arrives once, whole and in order.
    constexpr int frameCount = 600;
    std::vector<Bytes> sent;
    for (int i = 0; i < frameCount; ++i) {
        Bytes p = payloadOf(size_t(i * 37 % 300), uint8_t(i));
        if (!p.empty())
            p[0] = uint8_t(i);
        sent.push_back(frameOf(i % 2 ? configCmdParamReply : configCmdWriteAck, p));
    }
    FrameCutter cutter;
    std::thread receive([&] {
        int next = 0;
        while (next < frameCount) {
            Bytes burst;
            for (int k = 0; k < 1 + next % 3 && next < frameCount; ++k, ++next)
                burst.insert(burst.end(), sent[next].begin(), sent[next].end());
            while (serialAssemblySize - cutter.fillCount() < burst.size())
                std::this_thread::yield();
            cutter.append(burst.data(), burst.size());
        }
    });
    RecordingSink sink;
    while (sink.frames.size() < sent.size())
        cutter.service(sink);
    receive.join();
    EXPECT_EQ(sink.frames, sent);
    EXPECT_EQ(cutter.fillCount(), 0u);
}
