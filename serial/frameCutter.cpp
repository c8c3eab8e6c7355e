#include "serial/frameCutter.h"

#include <algorithm>
#include <cstring>

size_t FrameCutter::append(const uint8_t* bytes, size_t count)
{
    if (!bytes || count == 0)
        return 0;
    size_t accepted = 0;
    {
        std::lock_guard<std::mutex> guard(lock_);
        const uint32_t held = fill_.load(std::memory_order_relaxed);
        accepted = std::min(count, serialAssemblySize - held);
        if (accepted == 0)
            return 0;
        std::memcpy(buffer_ + held, bytes, accepted);
        fill_.store(held + uint32_t(accepted), std::memory_order_release);
        // After the fill count: a pass that sees this count sees the bytes.
        appendCount_.fetch_add(1, std::memory_order_release);
    }
    appended_.notify_one();
    return accepted;
}

CutResult FrameCutter::classify(uint32_t count, size_t* total) const
{
    // Only the reassembly thread moves or discards held bytes, and the
    // receive thread writes only behind the fill count, so the first count
    // bytes can be read without the lock.
    if (count < configHeaderSize)
        return CutResult::waitHeader;
    if (std::memcmp(buffer_, configMagic, sizeof configMagic) != 0)
        return CutResult::badMagic;
    *total = size_t(configGet16(buffer_ + 8)) + configHeaderSize;
    if (*total > serialAssemblySize)
        return CutResult::oversize;
    if (count < *total)
        return CutResult::waitBody;
    return CutResult::frame;
}

void FrameCutter::noteHeld(uint32_t count)
{
    // From 10 bytes on, every new byte starts the idle count afresh.
    if (count >= configHeaderSize && count != lastFill_) {
        idle_ = 0;
        lastFill_ = count;
    }
}

void FrameCutter::discardAll()
{
    std::lock_guard<std::mutex> guard(lock_);
    fill_.store(0, std::memory_order_release);
    idle_ = 0;
    lastFill_ = 0;
}

CutResult FrameCutter::cut(FrameSink& sink)
{
    // Any append after this point wakes the wait that may follow the pass.
    seenAppends_ = appendCount_.load(std::memory_order_acquire);
    const uint32_t count = fill_.load(std::memory_order_acquire);
    size_t total = 0;
    const CutResult result = classify(count, &total);
    switch (result) {
    case CutResult::waitHeader:
        break;
    case CutResult::waitBody:
        noteHeld(count);
        break;
    case CutResult::badMagic:
    case CutResult::oversize:
        discardAll();
        break;
    case CutResult::frame: {
        sink.onFrame(buffer_, total);
        std::lock_guard<std::mutex> guard(lock_);
        const uint32_t rest = fill_.load(std::memory_order_relaxed) - uint32_t(total);
        if (rest > 0)
            std::memmove(buffer_, buffer_ + total, rest);
        fill_.store(rest, std::memory_order_release);
        idle_ = 0;
        lastFill_ = 0;
        break;
    }
    }
    return result;
}

bool FrameCutter::waitForBytes(std::chrono::milliseconds bound)
{
    std::unique_lock<std::mutex> guard(lock_);
    const bool came = appended_.wait_for(guard, bound, [this] {
        return appendCount_.load(std::memory_order_relaxed) != seenAppends_;
    });
    seenAppends_ = appendCount_.load(std::memory_order_relaxed);
    return came;
}

void FrameCutter::waitWhileEmpty()
{
    std::unique_lock<std::mutex> guard(lock_);
    appended_.wait(guard, [this] {
        return woken_ || appendCount_.load(std::memory_order_relaxed) != seenAppends_;
    });
    woken_ = false;
    seenAppends_ = appendCount_.load(std::memory_order_relaxed);
}

void FrameCutter::wake()
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        woken_ = true;
    }
    appended_.notify_one();
}

bool FrameCutter::idlePoll()
{
    const uint32_t count = fill_.load(std::memory_order_acquire);
    if (count == 0)
        return false;
    size_t total = 0;
    const CutResult held = classify(count, &total);
    if (held != CutResult::waitHeader && held != CutResult::waitBody)
        return false;  // the next cut takes or discards it
    noteHeld(count);
    if (++idle_ < serialIdlePolls)
        return false;
    discardAll();
    return true;
}

CutResult FrameCutter::service(FrameSink& sink)
{
    const CutResult result = cut(sink);
    if (result != CutResult::waitHeader && result != CutResult::waitBody)
        return result;
    // Only the reassembly thread empties the buffer, so an empty buffer here
    // stays empty until an append, which the wait sees (cut() noted the
    // appends it had seen). Polls of an empty buffer would count nothing.
    if (fillCount() == 0)
        waitWhileEmpty();
    else if (!waitForBytes(serialPollBound))
        idlePoll();
    return result;
}
