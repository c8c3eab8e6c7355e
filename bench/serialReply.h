// Shared by the serial benchmarks (bench_serial natively, bench_serial_win
// for the Win32 adapter): the model-1 parameter reply they send, a reply
// handler that stamps the time of its entry, and the latency figures.
#pragma once
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "serial/configFrame.h"
#include "serial/paramRecords.h"

namespace serialBench {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

inline void fail(const char* what)
{
    std::fprintf(stderr, "serial benchmark: %s\n", what);
    std::exit(1);
}

// A model-1 parameter reply (level 3) with every wired field set.
inline Bytes wiredReply()
{
    uint8_t r[116] = {};
    std::memcpy(r, "V3.6-bench", 10);
    r[16] = modelWired;
    r[17] = connectActive;
    std::memcpy(r + 18, "reader-A", 8);
    std::memcpy(r + 50, "pw123456", 8);
    configPut32(r + 82, ipv4(192, 168, 1, 100));
    configPut16(r + 86, 8800);
    configPut32(r + 89, ipv4(192, 168, 1, 195));
    configPut32(r + 93, ipv4(255, 255, 255, 0));
    configPut32(r + 97, ipv4(192, 168, 1, 1));
    r[101] = 4;
    r[102] = 2;
    r[103] = 1;
    configPut32(r + 106, 1234);
    const uint8_t mac[paramMacSize] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    std::memcpy(r + 110, mac, sizeof mac);

    // The codecs must read back what was meant.
    ParamRecordStore store;
    store.assign(r, sizeof r);
    const WiredParams p = decodeWired(store);
    if (store.modelCode() != modelWired || p.connect.platformPort != 8800 ||
        p.net.gateway != ipv4(192, 168, 1, 1) || p.connect.deviceId != 1234 || p.mac[5] != 0x5E)
        fail("the record does not decode as built");

    Bytes frame(configHeaderSize + sizeof r);
    if (buildConfigFrame(frame.data(), frame.size(), 3, configCmdParamReply, r, sizeof r) !=
        frame.size())
        fail("frame build failed");
    return frame;
}

// Counts arrivals and stamps the latest; whoever receives (the link's reply
// handler, a plain receive loop) calls arrived() on entry.
class ArrivalStamp {
public:
    void arrived(long threadId)
    {
        const Clock::time_point now = Clock::now();
        {
            std::lock_guard<std::mutex> guard(lock_);
            stamp_ = now;
            tid_ = threadId;
            ++count_;
        }
        changed_.notify_one();
    }
    // Waits (at most a second) for arrival number count; false when it did not come.
    bool waitFor(uint64_t count, Clock::time_point* stamp)
    {
        std::unique_lock<std::mutex> guard(lock_);
        if (!changed_.wait_for(guard, std::chrono::seconds(1), [&] { return count_ >= count; }))
            return false;
        *stamp = stamp_;
        return true;
    }
    uint64_t count()
    {
        std::lock_guard<std::mutex> guard(lock_);
        return count_;
    }
    long threadId()
    {
        std::lock_guard<std::mutex> guard(lock_);
        return tid_;
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    Clock::time_point stamp_;
    uint64_t count_ = 0;
    long tid_ = 0;
};

// Stamps every parameter reply on entry and keeps a copy, as the shell does.
class StampingHandler : public ConfigReplyHandler {
public:
    StampingHandler(ArrivalStamp& stamp, long (*threadId)()) : stamp_(stamp), threadId_(threadId) {}
    void onParameterReply(uint8_t, const uint8_t* payload, size_t length) override
    {
        stamp_.arrived(threadId_());
        store_.assign(payload, length);
    }
    void onWriteAcknowledged() override {}

private:
    ArrivalStamp& stamp_;
    long (*threadId_)();
    ParamRecordStore store_;  // reassembly thread only
};

struct Figures {
    double median, p99, worst;  // microseconds
    int lost;
};

// n replies, each cut at the given offsets into pieces written with pause
// between them, after a quiet gap of 1 to 3 ms (so a reply meets the idle
// wait at every phase of its bound). write(bytes, count) sends one piece;
// latency runs from just before the write of the last piece to the arrival.
template <class Write>
Figures measure(Write write, ArrivalStamp& stamp, const Bytes& frame, int n, std::vector<size_t> cuts,
                std::chrono::microseconds pause)
{
    cuts.push_back(frame.size());
    std::vector<double> latency;
    int lost = 0;
    for (int i = 0; i < n; ++i) {
        std::this_thread::sleep_for(std::chrono::microseconds(1000 + (i * 263) % 2000));
        const uint64_t before = stamp.count();
        size_t from = 0;
        Clock::time_point lastWrite;
        for (size_t c = 0; c < cuts.size(); ++c) {
            if (c > 0)
                std::this_thread::sleep_for(pause);
            if (c + 1 == cuts.size())
                lastWrite = Clock::now();
            write(frame.data() + from, cuts[c] - from);
            from = cuts[c];
        }
        Clock::time_point arrived;
        if (!stamp.waitFor(before + 1, &arrived)) {
            ++lost;
            continue;
        }
        latency.push_back(std::chrono::duration<double, std::micro>(arrived - lastWrite).count());
    }
    if (latency.empty())
        fail("no reply arrived");
    std::sort(latency.begin(), latency.end());
    const size_t m = latency.size();
    return Figures{latency[m / 2], latency[std::min(m - 1, m * 99 / 100)], latency[m - 1], lost};
}

inline void printFigures(const char* what, const Figures& f, int n)
{
    std::printf("%-40s median %7.1f us  p99 %7.1f us  worst %8.1f us  (%d replies, %d lost)\n",
                what, f.median, f.p99, f.worst, n, f.lost);
}

}  // namespace serialBench
