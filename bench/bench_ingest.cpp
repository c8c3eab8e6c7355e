// Ingest over loopback UDP: tag reports per second through the listening
// server's real path (receive thread -> frame check -> dispatch -> store of
// 5000 records) beside a bare receive loop on the same socket setup.
// The sender works in windows smaller than the socket buffer and waits for
// each window to be taken, so a lost report is a real loss, not overflow.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "common/md5.h"
#include "console/listen/netServer.h"

namespace {

using Clock = std::chrono::steady_clock;
const uint32_t kLoopback = 0x7F000001;
constexpr int kWindow = 200;
constexpr int kRecords = 5000;

size_t buildReport(uint8_t* out, uint32_t tagId, uint8_t substation)
{
    uint8_t p[14] = {0, 0, 0, 0, substation};
    netPut32(p + 5, tagId);
    p[9] = 2 << 5;
    p[10] = 0x0A;
    p[11] = 0xFF;
    p[12] = uint8_t(-45);
    return netPduBuild(out, netMaxDatagram, netCodeLabelReport, p, 13);
}

struct Result {
    double perSecond;
    uint64_t sent;
    uint64_t taken;
};

// Sends `total` reports to port in windows and waits for `taken()` to
// follow each window (up to a second).
template <class Taken>
Result drive(UdpSocket& out, uint16_t port, uint64_t total, Taken taken)
{
    uint8_t frames[kRecords][32];
    size_t sizes[kRecords];
    for (int i = 0; i < kRecords; ++i)
        sizes[i] = buildReport(frames[i], uint32_t(i) * 3u, uint8_t(i % 34));
    const NetAddr to{kLoopback, port};
    const uint64_t start = taken();
    const auto t0 = Clock::now();
    uint64_t sent = 0;
    while (sent < total) {
        for (int w = 0; w < kWindow && sent < total; ++w, ++sent)
            out.sendTo(to, frames[sent % kRecords], sizes[sent % kRecords]);
        const auto deadline = Clock::now() + std::chrono::seconds(1);
        while (taken() - start < sent && Clock::now() < deadline)
            std::this_thread::yield();
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    const uint64_t got = taken() - start;
    return Result{double(got) / seconds, sent, got};
}

class NullRandom : public RandomSource {
public:
    void fill(uint8_t* out, size_t count) override { std::memset(out, 1, count); }
};

Result bareLoop(uint64_t total)
{
    UdpSocket in;
    int e = 0;
    in.create(&e);
    in.bindAny(0, &e);
    in.setSendBuffer(netSocketBufferBytes);
    in.setReceiveBuffer(netSocketBufferBytes);
    std::atomic<uint64_t> count{0};
    std::atomic<bool> run{true};
    std::thread t([&] {
        uint8_t buf[netMaxDatagram];
        while (run.load()) {
            NetAddr from;
            int err = 0;
            if (in.receive(buf, sizeof buf, &from, &err) > 0)
                count.fetch_add(1, std::memory_order_relaxed);
        }
    });
    UdpSocket out;
    out.create(&e);
    const Result r = drive(out, in.localPort(), total, [&] { return count.load(); });
    run.store(false);
    in.interrupt();
    t.join();
    return r;
}

Result serverPath(uint64_t total)
{
    TagStore store;
    SubstationTable subs;
    NullRandom random;
    NetServer server(store, subs, random);
    server.netServerOpen(0, "dev001", "314159");
    store.clear();
    UdpSocket out;
    int e = 0;
    out.create(&e);
    out.bindAny(0, &e);
    const NetAddr to{kLoopback, server.boundPort()};

    // Log in and authenticate as a reader would, so reports reach the store.
    uint8_t frame[netMaxDatagram];
    size_t n = netPduBuild(frame, sizeof frame, netCodeLoginReq,
                           reinterpret_cast<const uint8_t*>("dev001"), 7);
    out.sendTo(to, frame, n);
    NetAddr from;
    if (!out.waitReadable(2000) || out.receive(frame, sizeof frame, &from, &e) != 267) {
        std::fprintf(stderr, "login failed\n");
        std::exit(1);
    }
    uint8_t message[288] = {};
    std::memcpy(message, frame + 11, 256);
    std::memcpy(message + 256, "314159", 6);
    uint8_t digest[16];
    Md5::digest(message, sizeof message, digest);
    n = netPduBuild(frame, sizeof frame, netCodeAuthReq, digest, 16);
    out.sendTo(to, frame, n);
    for (int i = 0; i < 200 && !server.core().linkUp(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (!server.core().linkUp()) {
        std::fprintf(stderr, "auth failed\n");
        std::exit(1);
    }
    // Fill the table to 5000 records first; the timed run then updates them.
    drive(out, to.port, kRecords, [&] { return server.datagramsReceived(); });
    if (store.count() != kRecords)
        std::fprintf(stderr, "warning: store holds %d records\n", store.count());
    const Result r = drive(out, to.port, total, [&] { return server.datagramsReceived(); });
    server.netServerClose();
    return r;
}

}  // namespace

int main(int argc, char** argv)
{
    const uint64_t total = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 200000;
    netStackStartup();
    const Result bare = bareLoop(total);
    const Result path = serverPath(total);
    std::printf("bare receive loop : %10.0f datagrams/s (sent %llu, taken %llu)\n", bare.perSecond,
                (unsigned long long)bare.sent, (unsigned long long)bare.taken);
    std::printf("server path       : %10.0f reports/s   (sent %llu, taken %llu, store %d records)\n",
                path.perSecond, (unsigned long long)path.sent, (unsigned long long)path.taken,
                kRecords);
    std::printf("ratio             : %.1f %%\n", 100.0 * path.perSecond / bare.perSecond);
    std::printf("lost              : bare %llu, server %llu\n",
                (unsigned long long)(bare.sent - bare.taken),
                (unsigned long long)(path.sent - path.taken));
    netStackCleanup();
    return 0;
}
