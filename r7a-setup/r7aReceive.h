// The receive path of the legacy settings tool: the receive buffer that the
// receive thread fills and the window's thread drains, the receive thread
// itself, and the assembler that cuts whole frames out of what was drained.
//
// The hand-over is one lock around a 512-byte buffer and its count: the
// receive thread appends under it (bytes that find no room are dropped and
// counted), and the window's thread takes what its assembler has room for
// in one step under it, so a byte that arrives during a parse stays for the
// next one instead of being emptied away or torn.
//
// Held bytes whose CRC over offset 8 to their end matches are one frame, as
// the reader sends them (its length field is not needed then). Otherwise
// the length field cuts them: the assembler keeps a frame that a parse
// finds incomplete for the next
// parse, so a frame whose bytes straddle a parse is not lost; bytes before
// a magic, and frames whose CRC does not match, are skipped byte by byte so
// that a good frame behind them is still found.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
#include <utility>

#include "r7a-setup/r7aFrame.h"
#include "serial/comPort.h"

class R7aReceiveBuffer {
public:
    // Appends up to count bytes behind those held; returns how many found
    // room (the rest are dropped).
    size_t append(const uint8_t* bytes, size_t count);
    // Moves up to cap held bytes, oldest first, into out; returns the count.
    // Bytes that did not fit stay held.
    size_t take(uint8_t* out, size_t cap);
    void clear();
    // Bytes dropped for want of room since the start (for traces and tests).
    uint64_t dropped() const { return dropped_.load(std::memory_order_relaxed); }

private:
    std::mutex lock_;
    uint8_t bytes_[r7aBufferSize] = {};
    size_t count_ = 0;  // under lock_
    std::atomic<uint64_t> dropped_{0};
};

// The receive thread: reads the port (up to 1024 bytes a read) and appends
// to the buffer, from start() until stop(), which joins it. While no port is
// open the device's read waits for one (bounded), so stop() is seen within
// one wait.
class R7aReceiver {
public:
    R7aReceiver(SerialDevice& device, R7aReceiveBuffer& buffer) : device_(device), buffer_(buffer) {}
    ~R7aReceiver() { stop(); }
    R7aReceiver(const R7aReceiver&) = delete;
    R7aReceiver& operator=(const R7aReceiver&) = delete;

    // Nothing while it runs. When the thread cannot be created, the
    // std::system_error is passed on and the receiver stays stopped.
    void start();
    void stop();  // ends the thread and waits for it
    // The thread of later starts comes from starter (tests inject failures).
    void setThreadStarter(ThreadStarter starter) { starter_ = std::move(starter); }

private:
    void loop();

    SerialDevice& device_;
    R7aReceiveBuffer& buffer_;
    std::atomic<bool> running_{false};
    ThreadStarter starter_;
    std::thread thread_;
    uint8_t read_[serialReadSize] = {};  // receive thread only
};

// Whole frames out of a byte stream, one thread. Holds at most 512 bytes.
class R7aAssembler {
public:
    // Room behind the held bytes, and where it starts: fill, then added().
    size_t room() const { return r7aBufferSize - count_; }
    uint8_t* tail() { return held_ + count_; }
    void added(size_t n) { count_ += n <= room() ? n : room(); }
    size_t append(const uint8_t* bytes, size_t count);

    // The frame at the front once the bytes before it are skipped: its total
    // length, 0 when no whole frame with a matching CRC is held. bytesCame
    // tells whether this parse brought bytes: an incomplete frame found at
    // one parse is kept, and skipped at the next one unless bytes came in
    // between (its rest is then taken not to come).
    size_t next(bool bytesCame);
    const uint8_t* front() const { return held_; }
    void pop(size_t n);  // drops the first n held bytes
    void clear();
    size_t held() const { return count_; }

private:
    void skipToMagic();

    uint8_t held_[r7aBufferSize] = {};
    size_t count_ = 0;
    bool waiting_ = false;  // the last look found an incomplete frame
};
