// The serial port of the serial tools over the operating system: overlapped
// I/O on "\\.\COMn" on Windows, a termios device on POSIX. The header is
// free of OS types so the portable code can hold one.
//
// Port numbers: COMn (n = 1 to 32) is the device "\\.\COMn" on Windows. On
// POSIX it is the path set with setComDevicePath(n, ...), else by the rule
// "/dev/ttyS<n-1>" (COM1 is /dev/ttyS0). Nothing is read from the
// environment; tests and the software reader point port numbers at
// pseudo-terminals, or open a device path directly with openDevice().
#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "serial/comPort.h"

// Bit n-1 for every COMn, n = 1 to 32, whose device can be opened now: it is
// opened and closed again at once. A port that is held open (by another
// program, or by a SerialPort of this one) cannot be opened, so it is not
// offered.
uint32_t probeComPorts();

// The device behind COMn ("" for n outside 1 to 32).
std::string comDevicePath(int number);
// POSIX: COMn stands for path from now on; an empty path restores the rule.
// False, and nothing changed, for n outside 1 to 32 or a path longer than
// comDevicePathMax - 1 bytes. Windows: the names belong to the system (Wine
// maps them in its registry); always false. Meant for start-up, before ports
// are probed or opened.
constexpr size_t comDevicePathMax = 128;
bool setComDevicePath(int number, const char* path);

class SerialPort : public SerialDevice {
public:
    SerialPort();
    ~SerialPort() override;  // closes the port
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    uint32_t probeComPorts() override { return ::probeComPorts(); }
    // openDevice(comDevicePath(number)).
    bool openComPort(int number) override;
    // Closes the open port if any, then opens the device at path (UTF-8) for
    // reading and writing, unshared, and applies the line settings:
    // Windows: overlapped; event mask EV_RXCHAR; queues of 2048 bytes each
    //   way; read time-outs MAXDWORD, 0, 0 (a read returns at once with what
    //   is queued); write time-outs 100 ms per byte plus 500 ms; 115200 8N1
    //   over the driver's other settings; both directions purged. The
    //   results of the set-up calls are ignored.
    // POSIX: non-blocking, exclusive (TIOCEXCL where the system has it and an
    //   exclusive flock, which holds even for root); raw 115200 8N1 (the line
    //   discipline would otherwise alter bytes: no echo, no CR/LF mapping, no
    //   XON/XOFF, no signal characters); both directions flushed.
    // False, with no port open, when the device cannot be opened.
    bool openDevice(const char* path);
    void closeComPort() override;
    bool isOpen() const override { return handle_.load(std::memory_order_acquire) != closedHandle; }
    // Clears the port's error state, then writes the bytes and waits at most
    // 1000 ms for them to leave. The outcome is not reported and nothing is
    // retried. A write still pending after the wait is cancelled, and the
    // cancel is waited for at most 1000 ms; the write goes from the adapter's
    // own copy of the bytes, which is left to the system should the cancel
    // not end, so no I/O ever reaches the caller's buffer after the call.
    // Nothing while no port is open.
    void writeComBytes(const uint8_t* bytes, size_t count) override;
    // Windows: WaitCommEvent for EV_RXCHAR, then ReadFile of up to 1024
    // bytes into the adapter's own buffer (what is queued; where the driver
    // lets a read wait for the first byte, as Wine's does, it waits there).
    // Every wait is bounded by timeoutMs: a wait for EV_RXCHAR or a read that
    // outlasts it stays pending for the next call, so an idle port costs one
    // wait in the driver, not one per call. A close completes either.
    // POSIX: poll, then read of what is there.
    long readComBytes(uint8_t* buffer, size_t capacity, int timeoutMs) override;

private:
    static constexpr intptr_t closedHandle = -1;  // INVALID_HANDLE_VALUE, or no descriptor

    // The adapter's own state (overlapped structures and events on Windows).
    struct Io;
    std::unique_ptr<Io> io_;
    // A read with no port open waits for an open instead of failing at once,
    // so a receive thread idles until a port opens rather than polling.
    bool waitForOpen(int timeoutMs);
    void announceOpen();
    std::mutex openWait_;
    std::condition_variable opened_;

    // The open handle or descriptor; read afresh for every call.
    std::atomic<intptr_t> handle_{closedHandle};
    // Held while a call is issued on the handle and while it is closed, never
    // across a wait for bytes: no call reaches a handle that another thread
    // has closed (or whose value the system has given to a new object).
    std::mutex use_;
};

// True once a port is open, waiting at most timeoutMs for one.
inline bool SerialPort::waitForOpen(int timeoutMs)
{
    if (isOpen())
        return true;
    std::unique_lock<std::mutex> lock(openWait_);
    return opened_.wait_for(lock, std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs),
                            [this] { return isOpen(); });
}

// Called after the handle is stored: the empty lock step orders the store
// before the wake-up, so a reader that found no port is never left waiting.
inline void SerialPort::announceOpen()
{
    { std::lock_guard<std::mutex> lock(openWait_); }
    opened_.notify_all();
}

