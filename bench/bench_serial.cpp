// Reply latency and idle cost of the serial link over a native
// pseudo-terminal pair. The link (SerialPort, receive and reassembly
// threads, ConfigFrameSink -> dispatchFrame -> a reply handler) holds the
// slave end; the harness writes model-1 parameter replies into the master
// end, whole or in four pieces, and times the last write() of each reply
// (the clock is read just before the call) to the handler's entry. Each
// reply finds the link idle. Then it measures what the two threads cost
// while nothing arrives, with the port open and with no port open.
//
// Linux only: the threads' CPU time and sleeps are read from
// /proc/self/task/<tid>/{schedstat,status}.
#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/serialPort.h"
#include "serial/configFrame.h"
#include "serial/frameCutter.h"
#include "serial/paramRecords.h"
#include "serial/serialLink.h"

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

void fail(const char* what)
{
    std::fprintf(stderr, "bench_serial: %s\n", what);
    std::exit(1);
}

// A model-1 parameter reply (level 3) with every wired field set.
Bytes wiredReply()
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

// Stamps every parameter reply on entry and keeps a copy, as the shell does.
class StampingHandler : public ConfigReplyHandler {
public:
    void onParameterReply(uint8_t, const uint8_t* payload, size_t length) override
    {
        const Clock::time_point now = Clock::now();
        store_.assign(payload, length);
        {
            std::lock_guard<std::mutex> guard(lock_);
            stamp_ = now;
            tid_ = long(::syscall(SYS_gettid));
            ++count_;
        }
        changed_.notify_one();
    }
    void onWriteAcknowledged() override {}

    // Waits (at most a second) for reply number count; false when it did not come.
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
    ParamRecordStore store_;  // reassembly thread only
};

class PtyMaster {
public:
    PtyMaster()
    {
        fd_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (fd_ < 0 || ::grantpt(fd_) != 0 || ::unlockpt(fd_) != 0)
            fail("no pseudo-terminal");
        const char* name = ::ptsname(fd_);
        if (!name)
            fail("no pseudo-terminal name");
        slave_ = name;
    }
    ~PtyMaster() { ::close(fd_); }
    const std::string& slave() const { return slave_; }
    void write(const uint8_t* bytes, size_t count)
    {
        while (count > 0) {
            const ssize_t n = ::write(fd_, bytes, count);
            if (n <= 0)
                fail("write to the pseudo-terminal failed");
            bytes += n;
            count -= size_t(n);
        }
    }

private:
    int fd_ = -1;
    std::string slave_;
};

struct Figures {
    double median, p99, worst;  // microseconds
    int lost;
};

// n replies, each cut at the given offsets into pieces written with pause
// between them, after a quiet gap of 1 to 3 ms (so a reply meets the idle
// wait at every phase of its bound).
Figures measure(PtyMaster& pty, StampingHandler& handler, const Bytes& frame, int n,
                std::vector<size_t> cuts, std::chrono::microseconds pause)
{
    cuts.push_back(frame.size());
    std::vector<double> latency;
    int lost = 0;
    for (int i = 0; i < n; ++i) {
        std::this_thread::sleep_for(std::chrono::microseconds(1000 + (i * 263) % 2000));
        const uint64_t before = handler.count();
        size_t from = 0;
        Clock::time_point lastWrite;
        for (size_t c = 0; c < cuts.size(); ++c) {
            if (c > 0)
                std::this_thread::sleep_for(pause);
            if (c + 1 == cuts.size())
                lastWrite = Clock::now();
            pty.write(frame.data() + from, cuts[c] - from);
            from = cuts[c];
        }
        Clock::time_point called;
        if (!handler.waitFor(before + 1, &called)) {
            ++lost;
            continue;
        }
        latency.push_back(std::chrono::duration<double, std::micro>(called - lastWrite).count());
    }
    if (latency.empty())
        fail("no reply reached the handler");
    std::sort(latency.begin(), latency.end());
    const size_t m = latency.size();
    return Figures{latency[m / 2], latency[std::min(m - 1, m * 99 / 100)], latency[m - 1], lost};
}

std::set<long> threadIds()
{
    std::set<long> ids;
    DIR* dir = ::opendir("/proc/self/task");
    if (!dir)
        return ids;
    while (const dirent* e = ::readdir(dir)) {
        if (e->d_name[0] != '.')
            ids.insert(std::strtol(e->d_name, nullptr, 10));
    }
    ::closedir(dir);
    return ids;
}

struct ThreadCost {
    double cpuNs = 0;     // time on a processor
    double sleeps = 0;    // voluntary context switches: waits that blocked
};

ThreadCost threadCost(long tid)
{
    ThreadCost c;
    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/task/%ld/schedstat", tid);
    if (FILE* f = std::fopen(path, "r")) {
        unsigned long long ns = 0;
        if (std::fscanf(f, "%llu", &ns) == 1)
            c.cpuNs = double(ns);
        std::fclose(f);
    }
    std::snprintf(path, sizeof path, "/proc/self/task/%ld/status", tid);
    if (FILE* f = std::fopen(path, "r")) {
        char line[128];
        while (std::fgets(line, sizeof line, f)) {
            unsigned long long v = 0;
            if (std::sscanf(line, "voluntary_ctxt_switches: %llu", &v) == 1)
                c.sleeps = double(v);
        }
        std::fclose(f);
    }
    return c;
}

double processCpuSeconds()
{
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The cost of the two threads over seconds of silence.
void idleCost(const char* state, long receiveTid, long reassemblyTid, double seconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // settle
    const ThreadCost r0 = threadCost(receiveTid), a0 = threadCost(reassemblyTid);
    const double cpu0 = processCpuSeconds();
    const Clock::time_point t0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    const double cpu = processCpuSeconds() - cpu0;
    const ThreadCost r1 = threadCost(receiveTid), a1 = threadCost(reassemblyTid);
    auto row = [&](const char* name, const ThreadCost& before, const ThreadCost& after) {
        const double ms = (after.cpuNs - before.cpuNs) / 1e6;
        std::printf("  %-17s %8.2f ms CPU  %6.3f %% of a core  %7.0f sleeps/s\n", name, ms,
                    ms / (wall * 10.0), (after.sleeps - before.sleeps) / wall);
    };
    std::printf("idle, %s, %.1f s:\n", state, wall);
    row("receive thread", r0, r1);
    row("reassembly thread", a0, a1);
    std::printf("  %-17s %8.2f ms CPU  %6.3f %% of a core\n", "whole process", cpu * 1e3,
                100.0 * cpu / wall);
}

void printFigures(const char* what, const Figures& f, int n)
{
    std::printf("%-34s median %7.1f us  p99 %7.1f us  worst %8.1f us  (%d replies, %d lost)\n",
                what, f.median, f.p99, f.worst, n, f.lost);
}

}  // namespace

int main(int argc, char** argv)
{
    const int n = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
    const double idleSeconds = argc > 2 ? std::max(0.1, std::atof(argv[2])) : 3.0;

    PtyMaster pty;
    SerialPort port;
    if (!port.openDevice(pty.slave().c_str()))
        fail("cannot open the pseudo-terminal's slave");
    StampingHandler handler;
    ConfigFrameSink sink(handler);
    SerialLink link(port, sink);

    const std::set<long> before = threadIds();
    link.start();
    std::set<long> workers;
    for (long id : threadIds()) {
        if (!before.count(id))
            workers.insert(id);
    }
    if (workers.size() != 2)
        fail("expected two new threads");

    const Bytes frame = wiredReply();
    // Warm-up, and which thread runs the handler.
    measure(pty, handler, frame, 50, {}, std::chrono::microseconds(0));
    const long reassemblyTid = handler.threadId();
    long receiveTid = 0;
    for (long id : workers) {
        if (id != reassemblyTid)
            receiveTid = id;
    }
    if (receiveTid == 0 || !workers.count(reassemblyTid))
        fail("the handler ran on neither worker thread");

    std::printf("reply: model 1, %zu bytes (N = %zu); latency = last write() -> handler\n",
                frame.size(), frame.size() - configHeaderSize);
    printFigures("whole reply, one write:", measure(pty, handler, frame, n, {},
                                                     std::chrono::microseconds(0)), n);
    printFigures("four writes, 300 us apart:",
                 measure(pty, handler, frame, n, {5, 40, 100}, std::chrono::microseconds(300)), n);

    // The last frame is consumed once the handler has returned.
    for (int i = 0; i < 1000 && link.cutter().fillCount() != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (link.cutter().fillCount() != 0)
        fail("bytes left in the assembly buffer");
    idleCost("port open", receiveTid, reassemblyTid, idleSeconds);
    port.closeComPort();
    idleCost("no port open", receiveTid, reassemblyTid, idleSeconds);
    link.stop();
    return 0;
}
