#include "r7a-setup/r7aReceive.h"

#include <algorithm>
#include <chrono>
#include <cstring>

size_t R7aReceiveBuffer::append(const uint8_t* bytes, size_t count)
{
    if (!bytes || count == 0)
        return 0;
    std::lock_guard<std::mutex> guard(lock_);
    const size_t accepted = std::min(count, r7aBufferSize - count_);
    std::memcpy(bytes_ + count_, bytes, accepted);
    count_ += accepted;
    if (accepted < count)
        dropped_.fetch_add(count - accepted, std::memory_order_relaxed);
    return accepted;
}

size_t R7aReceiveBuffer::take(uint8_t* out, size_t cap)
{
    std::lock_guard<std::mutex> guard(lock_);
    const size_t n = std::min(cap, count_);
    if (n == 0)
        return 0;
    std::memcpy(out, bytes_, n);
    count_ -= n;
    std::memmove(bytes_, bytes_ + n, count_);
    return n;
}

void R7aReceiveBuffer::clear()
{
    std::lock_guard<std::mutex> guard(lock_);
    count_ = 0;
}

void R7aReceiver::start()
{
    if (running_.exchange(true))
        return;
    try {
        thread_ = startWorker(starter_, [this] { loop(); });
    } catch (...) {
        running_.store(false);
        throw;
    }
}

void R7aReceiver::stop()
{
    running_.store(false);
    if (thread_.joinable())
        thread_.join();
}

void R7aReceiver::loop()
{
    while (running_.load()) {
        const long n = device_.readComBytes(read_, sizeof read_, serialReceiveWaitMs);
        if (n < 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        else if (n > 0)
            buffer_.append(read_, size_t(n));
    }
}

size_t R7aAssembler::append(const uint8_t* bytes, size_t count)
{
    const size_t n = std::min(count, room());
    if (n > 0)
        std::memcpy(tail(), bytes, n);
    count_ += n;
    return n;
}

void R7aAssembler::skipToMagic()
{
    // The first place where the magic starts, or where the held bytes end
    // in a beginning of it.
    size_t at = 0;
    for (; at < count_; ++at) {
        const size_t n = std::min(sizeof configMagic, count_ - at);
        if (std::memcmp(held_ + at, configMagic, n) == 0)
            break;
    }
    pop(at);
}

size_t R7aAssembler::next(bool bytesCame)
{
    for (;;) {
        skipToMagic();
        if (count_ == 0) {
            waiting_ = false;
            return 0;
        }
        // A reader's frame arrives whole and alone between two parses: all
        // the held bytes are then one frame, whatever its length field says,
        // and their CRC over offset 8 on matches. Only when they are not is
        // the length field used to cut several frames, or wait for a rest.
        if (count_ >= r7aHeaderSize && r7aCrcMatches(held_, count_)) {
            waiting_ = false;
            return count_;
        }
        const size_t total = count_ >= r7aHeaderSize ? r7aFrameTotal(held_) : 0;
        if (total > r7aBufferSize) {  // could never be held whole
            pop(1);
            continue;
        }
        if (count_ < r7aHeaderSize || count_ < total) {
            if (waiting_ && !bytesCame) {
                pop(1);  // its rest did not come: look behind its magic
                continue;
            }
            waiting_ = true;
            return 0;
        }
        if (!r7aCrcMatches(held_, total)) {
            pop(1);
            continue;
        }
        waiting_ = false;
        return total;
    }
}

void R7aAssembler::pop(size_t n)
{
    n = std::min(n, count_);
    count_ -= n;
    std::memmove(held_, held_ + n, count_);
}

void R7aAssembler::clear()
{
    count_ = 0;
    waiting_ = false;
}
