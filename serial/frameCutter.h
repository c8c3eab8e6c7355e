// The byte-stream cutter of the serial link: the 1024-byte assembly buffer
// with its fill count and lock, the append of the receive thread and the
// cutting, dispatching and consuming of the reassembly thread.
//
// It owns no thread. A port adapter's receive loop calls append() with the
// bytes of each read; the reassembly loop calls service() over and over:
//
//   for (;;) cutter.service(dispatcher);
//
// service() cuts at most one frame, or discards, or waits for more bytes
// (woken at once when bytes come): at most 1 ms while bytes are held, and
// with the buffer empty until bytes come or wake() is called (nothing is
// counted while it is empty). The rules, in order:
//   - fewer than 10 bytes held: wait; every wait of 1 ms in which no byte
//     came counts one idle poll; at 50 idle polls all held bytes go;
//   - 10 or more held and the first four are not the magic: all held bytes
//     go at once (no search for a later magic);
//   - the header announces a frame longer than the buffer (N > 1014): all
//     held bytes go at once, the frame could never be completed;
//   - the frame is not complete yet: wait; idle polls are counted afresh
//     from each new byte, and 50 of them in a row (no byte for about 50 ms)
//     discard all held bytes, so a frame whose rest never comes cannot hold
//     the link;
//   - a whole frame at the start: the sink gets it in place, without the
//     lock; then it is consumed under the lock and any bytes behind it move
//     to the start, to be cut by the next pass.
// Bytes that find no room in the buffer are dropped by append().
#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "serial/configFrame.h"

constexpr size_t serialAssemblySize = 1024;
constexpr size_t serialMaxPayload = serialAssemblySize - configHeaderSize;  // 1014
constexpr int serialIdlePolls = 50;
constexpr std::chrono::milliseconds serialPollBound{1};

// The target of a cut frame: dispatchFrame in the configuration tool (see
// ConfigFrameSink), the signal filter tool's own dispatcher, a recorder in
// the tests. frame points at the start of the assembly buffer and stays
// valid, and unchanged, until the call returns; total = N + 10.
class FrameSink {
public:
    virtual ~FrameSink() = default;
    virtual void onFrame(const uint8_t* frame, size_t total) = 0;
};

// What one pass of the cutter found.
enum class CutResult {
    waitHeader,  // fewer than 10 bytes held (possibly none)
    waitBody,    // a valid header, the rest of the frame not yet held
    frame,       // a frame was handed to the sink and consumed
    badMagic,    // discarded: 10 or more bytes not starting with the magic
    oversize,    // discarded: the header announces more than the buffer holds
};

class FrameCutter {
public:
    FrameCutter() = default;
    FrameCutter(const FrameCutter&) = delete;
    FrameCutter& operator=(const FrameCutter&) = delete;

    // Receive side: appends up to count bytes behind those held, under the
    // lock, and wakes a waiting service(). Returns how many found room; the
    // rest are dropped.
    size_t append(const uint8_t* bytes, size_t count);

    // Reassembly side, one thread only.
    // One pass of the loop: cut(); when it has to wait with bytes held,
    // waitForBytes() with the 1 ms bound, and idlePoll() when that wait saw
    // no byte. With the buffer empty it waits without a bound, until bytes
    // come or wake() is called.
    CutResult service(FrameSink& sink);
    // One examination of the held bytes, without waiting.
    CutResult cut(FrameSink& sink);
    // Waits until bytes were appended since the last cut() (or the last
    // wait) looked, or until bound has passed. True when bytes came.
    bool waitForBytes(std::chrono::milliseconds bound);
    // Counts one poll in which no byte came. Nothing happens while the
    // buffer is empty or holds a frame ready to cut (or to discard); at the
    // 50th poll all held bytes go and true is returned.
    bool idlePoll();
    // Any thread: ends a wait of service() on an empty buffer at once (the
    // link's stop). A wake that finds no such wait ends the next one.
    void wake();

    // The fill count, read as one word from any thread.
    uint32_t fillCount() const { return fill_.load(std::memory_order_acquire); }
    // For tests and traces (reassembly thread).
    int idleCount() const { return idle_; }

private:
    // Takes the lock and sets the fill count to 0 (and the idle count).
    void discardAll();
    // The wait of service() while the buffer is empty.
    void waitWhileEmpty();
    // From 10 held bytes on, a changed fill count restarts the idle count.
    void noteHeld(uint32_t count);
    // The pass's verdict on count held bytes (count read once).
    CutResult classify(uint32_t count, size_t* total) const;

    std::mutex lock_;  // the assembly lock
    std::condition_variable appended_;
    std::atomic<uint64_t> appendCount_{0};  // appends that brought a byte; grows under lock_
    bool woken_ = false;                     // under lock_: wake() not yet seen by a wait
    uint8_t buffer_[serialAssemblySize] = {};
    std::atomic<uint32_t> fill_{0};

    // Reassembly thread only.
    uint64_t seenAppends_ = 0;  // appendCount_ when the last pass looked
    uint32_t lastFill_ = 0;  // fill count at the last pass that held a header
    int idle_ = 0;
};

// Hands every cut frame to dispatchFrame with the tool's reply handler.
class ConfigFrameSink : public FrameSink {
public:
    explicit ConfigFrameSink(ConfigReplyHandler& handler) : handler_(handler) {}
    void onFrame(const uint8_t* frame, size_t total) override
    {
        dispatchFrame(frame, total, handler_);
    }

private:
    ConfigReplyHandler& handler_;
};
