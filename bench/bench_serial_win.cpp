// The serial link's Win32 adapter over a pair of joined COM ports (under
// Wine: two ends of a socat pseudo-terminal pair, see
// bench/serial-wine.sh), side by side with a plain overlapped receive loop
// on the same port:
//
//   - reply latency: the peer port writes model-1 parameter replies, whole
//     or in four pieces 300 us apart; the time from just before the
//     WriteFile of the last piece to the link's reply handler (SerialPort,
//     receive and reassembly threads, ConfigFrameSink -> dispatchFrame), and
//     to the plain loop's read that completes the reply;
//   - idle cost with nothing arriving: the process's CPU time (percent of a
//     core), the threads that start in the process per second (the
//     system's helper threads included), and the growth of its resident
//     memory; for the link with the port open and with no port open, and
//     for the plain loop.
//
// Each idle phase is framed by "== begin NAME" and "== end NAME" lines, so a
// watcher outside the process (bench/serial-wine.sh reads /proc of the Wine
// process) can take its own figures over the same span.
//
//   bench_serial_win.exe [REPLIES [IDLE_SECONDS [PORT PEER]]]
//
// Defaults: 300 replies, 10 s, COM31 and COM32.
#include <windows.h>

#include <psapi.h>
#include <tlhelp32.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "bench/serialReply.h"
#include "platform/serialPort.h"
#include "platform/win32/threadStarts.h"
#include "serial/frameCutter.h"
#include "serial/serialLink.h"

namespace {

using namespace serialBench;

long windowsThreadId() { return long(GetCurrentThreadId()); }

// A plain overlapped receive loop on its own handle: WaitCommEvent for
// EV_RXCHAR, GetOverlappedResult (waiting), ClearCommError, then ReadFile of
// up to 1024 bytes (what is queued; the first byte waited for when nothing
// is), with the adapter's line settings. It counts what it reads and stamps
// every completed reply.
class PlainLoop {
public:
    PlainLoop(int number, ArrivalStamp& stamp, size_t replySize) : stamp_(stamp), replySize_(replySize)
    {
        wchar_t name[24];
        _snwprintf(name, sizeof name / sizeof name[0], L"\\\\.\\COM%d", number);
        name[sizeof name / sizeof name[0] - 1] = 0;
        handle_ = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle_ == INVALID_HANDLE_VALUE)
            fail("the plain loop cannot open its port");
        SetCommMask(handle_, EV_RXCHAR);
        SetupComm(handle_, DWORD(serialQueueSize), DWORD(serialQueueSize));
        COMMTIMEOUTS timeouts{};
        timeouts.ReadIntervalTimeout = MAXDWORD;
        timeouts.WriteTotalTimeoutMultiplier = serialWriteMsPerByte;
        timeouts.WriteTotalTimeoutConstant = serialWriteConstantMs;
        SetCommTimeouts(handle_, &timeouts);
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        GetCommState(handle_, &dcb);
        dcb.BaudRate = serialBaudRate;
        dcb.ByteSize = BYTE(serialDataBits);
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        SetCommState(handle_, &dcb);
        PurgeComm(handle_, PURGE_TXCLEAR | PURGE_RXCLEAR);
        event_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        thread_ = std::thread(&PlainLoop::run, this);
    }
    // Cancels what the loop has in flight until it has seen the stop.
    ~PlainLoop()
    {
        stop_.store(true);
        while (!done_.load()) {
            CancelIoEx(handle_, nullptr);
            Sleep(5);
        }
        thread_.join();
        CloseHandle(handle_);
        CloseHandle(event_);
    }

private:
    void run()
    {
        static uint8_t buffer[serialReadSize];
        size_t received = 0;
        while (!stop_.load()) {
            OVERLAPPED ov{};
            ov.hEvent = event_;
            ResetEvent(event_);
            DWORD mask = 0, count = 0;
            if (!WaitCommEvent(handle_, &mask, &ov)) {
                if (GetLastError() != ERROR_IO_PENDING) {
                    Sleep(1);
                    continue;
                }
                GetOverlappedResult(handle_, &ov, &count, TRUE);
            }
            DWORD errors = 0;
            COMSTAT status{};
            ClearCommError(handle_, &errors, &status);
            ov = OVERLAPPED{};
            ov.hEvent = event_;
            ResetEvent(event_);
            count = 0;
            if (!ReadFile(handle_, buffer, sizeof buffer, &count, &ov)) {
                if (GetLastError() != ERROR_IO_PENDING) {
                    Sleep(1);
                    continue;
                }
                if (!GetOverlappedResult(handle_, &ov, &count, TRUE))
                    continue;
            }
            const size_t before = received / replySize_;
            received += count;
            if (received / replySize_ != before)
                stamp_.arrived(windowsThreadId());
        }
        done_.store(true);
    }

    ArrivalStamp& stamp_;
    const size_t replySize_;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    HANDLE event_ = nullptr;
    std::atomic<bool> stop_{false};
    std::atomic<bool> done_{false};
    std::thread thread_;
};

double processCpuSeconds()
{
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    const auto seconds = [](const FILETIME& t) {
        return double((uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

// Resident memory in KB (under Wine: VmRSS of the process).
double residentKb()
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return double(counters.WorkingSetSize) / 1024.0;
}

int liveThreads()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return -1;
    int count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == GetCurrentProcessId())
            ++count;
    }
    CloseHandle(snapshot);
    return count;
}

struct Sample {
    Clock::time_point at;
    double cpu;
    double rssKb;
    ThreadStarts starts;
};

Sample sample() { return Sample{Clock::now(), processCpuSeconds(), residentKb(), threadStartsSoFar()}; }

void printSpan(const char* label, const Sample& from, const Sample& to)
{
    const double wall = std::chrono::duration<double>(to.at - from.at).count();
    std::printf("  %-10s %7.1f s  CPU %6.2f %% of a core  threads started %7.1f /s  resident %+8.0f KB  "
                "threads live %d  last thread id %#lx\n",
                label, wall, 100.0 * (to.cpu - from.cpu) / wall,
                double(to.starts.count - from.starts.count) / wall, to.rssKb - from.rssKb, liveThreads(),
                (unsigned long)to.starts.lastId);
    std::fflush(stdout);
}

// Seconds of silence; a line every minute of a long run, then the whole span.
void idle(const char* name, double seconds)
{
    std::printf("== begin %s\n", name);
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // settle
    const Sample first = sample();
    Sample last = first;
    for (double done = 0; done < seconds;) {
        const double step = seconds - done < 60 ? seconds - done : 60;
        std::this_thread::sleep_for(std::chrono::duration<double>(step));
        done += step;
        if (seconds > 60) {
            const Sample now = sample();
            char label[32];
            std::snprintf(label, sizeof label, "at %.0f s", done);
            printSpan(label, last, now);
            last = now;
        }
    }
    printSpan("whole", first, sample());
    std::printf("== end %s\n", name);
    std::fflush(stdout);
    // Time for a watcher outside to take its closing figures.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
}

void portNumber(const char* text, int* number)
{
    *number = std::atoi(text);
    if (*number < 1 || *number > serialProbeCount)
        fail("port numbers run from 1 to 32");
}

}  // namespace

int main(int argc, char** argv)
{
    const int n = argc > 1 ? std::max(1, std::atoi(argv[1])) : 300;
    const double idleSeconds = argc > 2 ? std::max(0.5, std::atof(argv[2])) : 10.0;
    int linkPort = 31, peerPort = 32;
    if (argc > 4) {
        portNumber(argv[3], &linkPort);
        portNumber(argv[4], &peerPort);
    }

    SerialPort peer;
    if (!peer.openComPort(peerPort))
        fail("cannot open the peer port");
    const auto write = [&peer](const uint8_t* bytes, size_t count) { peer.writeComBytes(bytes, count); };
    const Bytes frame = wiredReply();
    std::printf("COM%d <- COM%d; reply: model 1, %zu bytes (N = %zu); latency = last WriteFile -> "
                "reply handler (link) or the read that completes the reply (plain loop)\n",
                linkPort, peerPort, frame.size(), frame.size() - configHeaderSize);
    const std::vector<size_t> pieces = {5, 40, 100};
    const std::chrono::microseconds apart(300), together(0);

    {
        SerialPort port;
        if (!port.openComPort(linkPort))
            fail("cannot open the link's port");
        ArrivalStamp stamp;
        StampingHandler handler(stamp, windowsThreadId);
        ConfigFrameSink sink(handler);
        SerialLink link(port, sink);
        link.start();
        measure(write, stamp, frame, 20, {}, together);  // warm-up
        printFigures("link, whole reply:", measure(write, stamp, frame, n, {}, together), n);
        printFigures("link, four writes 300 us apart:", measure(write, stamp, frame, n, pieces, apart), n);
        std::printf("idle, nothing arriving:\n");
        idle("link-port-open", idleSeconds);
        port.closeComPort();
        idle("link-no-port", idleSeconds);
        link.stop();
    }
    {
        ArrivalStamp stamp;
        PlainLoop loop(linkPort, stamp, frame.size());
        measure(write, stamp, frame, 20, {}, together);  // warm-up
        printFigures("plain loop, whole reply:", measure(write, stamp, frame, n, {}, together), n);
        printFigures("plain loop, four writes 300 us apart:", measure(write, stamp, frame, n, pieces, apart), n);
        idle("plain-loop", idleSeconds);
    }
    return 0;
}
