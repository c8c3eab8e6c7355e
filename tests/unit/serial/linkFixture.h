// Shared by the link tests: a sink that records frames for another thread
// to wait on, frame builders, and bounded waits (no timed assertions: a
// wait only bounds how long a test may hang when something is broken).
#pragma once
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "serial/frameCutter.h"
#include "serial/serialLink.h"

using Bytes = std::vector<uint8_t>;

constexpr std::chrono::seconds kLinkWaitBound{10};

inline Bytes linkFrame(uint8_t command, const Bytes& payload, uint8_t level = 2)
{
    Bytes f(configHeaderSize + payload.size());
    buildConfigFrame(f.data(), f.size(), level, command, payload.data(), payload.size());
    return f;
}

inline Bytes joined(const Bytes& a, const Bytes& b)
{
    Bytes all(a.size() + b.size());
    std::copy(a.begin(), a.end(), all.begin());
    std::copy(b.begin(), b.end(), all.begin() + std::ptrdiff_t(a.size()));
    return all;
}

// A payload that holds every byte a terminal might alter.
inline Bytes awkwardPayload(size_t n, uint8_t seed)
{
    static const uint8_t awkward[] = {0x00, 0x03, 0x04, 0x0A, 0x0D, 0x11, 0x13,
                                      0x1A, 0x1C, 0x7F, 0xFF, 0x15, 0x17, 0x12};
    Bytes p(n);
    for (size_t i = 0; i < n; ++i)
        p[i] = i % 3 == 0 ? awkward[(i / 3 + seed) % sizeof awkward] : uint8_t(seed + i * 7);
    return p;
}

// Polls cond every millisecond until it holds or the bound has passed.
inline bool waitUntil(const std::function<bool()>& cond,
                      std::chrono::milliseconds bound = kLinkWaitBound)
{
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (!cond()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

class WaitingSink : public FrameSink {
public:
    void onFrame(const uint8_t* frame, size_t total) override
    {
        {
            std::lock_guard<std::mutex> guard(lock_);
            frames_.emplace_back(frame, frame + total);
        }
        changed_.notify_all();
        if (onEach)
            onEach();
    }
    // Waits until count frames have come (bounded); returns them.
    std::vector<Bytes> waitFor(size_t count)
    {
        std::unique_lock<std::mutex> guard(lock_);
        changed_.wait_for(guard, kLinkWaitBound, [&] { return frames_.size() >= count; });
        return frames_;
    }
    size_t count()
    {
        std::lock_guard<std::mutex> guard(lock_);
        return frames_.size();
    }
    std::function<void()> onEach;  // runs on the reassembly thread

private:
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<Bytes> frames_;
};

// A port whose received bytes the test feeds in chunks; each chunk is one read.
class ScriptedDevice : public SerialDevice {
public:
    void feed(const Bytes& chunk)
    {
        {
            std::lock_guard<std::mutex> guard(lock_);
            chunks_.push_back(chunk);
        }
        arrived_.notify_all();
    }
    void setOpen(bool open) { open_.store(open); }

    uint32_t probeComPorts() override { return 0; }
    bool openComPort(int) override { return false; }
    void closeComPort() override { open_.store(false); }
    bool isOpen() const override { return open_.load(); }
    void writeComBytes(const uint8_t*, size_t) override {}

    long readComBytes(uint8_t* buffer, size_t capacity, int timeoutMs) override
    {
        reads.fetch_add(1);
        if (!open_.load()) {
            closedPolls.fetch_add(1);
            return -1;
        }
        std::unique_lock<std::mutex> guard(lock_);
        if (!arrived_.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                               [&] { return !chunks_.empty(); }))
            return 0;
        Bytes chunk = chunks_.front();
        chunks_.pop_front();
        const size_t n = std::min(chunk.size(), capacity);
        std::copy(chunk.begin(), chunk.begin() + std::ptrdiff_t(n), buffer);
        return long(n);
    }

    std::atomic<int> reads{0};
    std::atomic<int> closedPolls{0};

private:
    std::atomic<bool> open_{true};
    std::mutex lock_;
    std::condition_variable arrived_;
    std::deque<Bytes> chunks_;
};
