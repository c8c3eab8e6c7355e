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

#include "bench/serialReply.h"
#include "platform/serialPort.h"
#include "serial/configFrame.h"
#include "serial/frameCutter.h"
#include "serial/paramRecords.h"
#include "serial/serialLink.h"

namespace {

using namespace serialBench;

long linuxThreadId() { return long(::syscall(SYS_gettid)); }

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

}  // namespace

int main(int argc, char** argv)
{
    const int n = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
    const double idleSeconds = argc > 2 ? std::max(0.1, std::atof(argv[2])) : 3.0;

    PtyMaster pty;
    SerialPort port;
    if (!port.openDevice(pty.slave().c_str()))
        fail("cannot open the pseudo-terminal's slave");
    ArrivalStamp stamp;
    StampingHandler handler(stamp, linuxThreadId);
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
    const auto write = [&pty](const uint8_t* bytes, size_t count) { pty.write(bytes, count); };
    // Warm-up, and which thread runs the handler.
    measure(write, stamp, frame, 50, {}, std::chrono::microseconds(0));
    const long reassemblyTid = stamp.threadId();
    long receiveTid = 0;
    for (long id : workers) {
        if (id != reassemblyTid)
            receiveTid = id;
    }
    if (receiveTid == 0 || !workers.count(reassemblyTid))
        fail("the handler ran on neither worker thread");

    std::printf("reply: model 1, %zu bytes (N = %zu); latency = last write() -> handler\n",
                frame.size(), frame.size() - configHeaderSize);
    printFigures("whole reply, one write:",
                 measure(write, stamp, frame, n, {}, std::chrono::microseconds(0)), n);
    printFigures("four writes, 300 us apart:",
                 measure(write, stamp, frame, n, {5, 40, 100}, std::chrono::microseconds(300)), n);

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
