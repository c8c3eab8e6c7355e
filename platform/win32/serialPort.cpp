#include "platform/serialPort.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

// The longest wait for a cancelled read to end, and for a pending wait or
// read to end when the port object goes. Cancels end at once on the drivers
// seen (Wine's among them); the bound only keeps a thread from hanging
// should one not.
constexpr DWORD cancelWaitMs = 1000;

DWORD waitBound(int timeoutMs) { return timeoutMs < 0 ? 0 : DWORD(timeoutMs); }

HANDLE asHandle(intptr_t h) { return reinterpret_cast<HANDLE>(h); }

std::wstring widenUtf8(const char* text)
{
    const int n = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    if (n <= 0)
        return std::wstring();
    std::wstring wide(size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, -1, &wide[0], n);
    wide.resize(size_t(n - 1));
    return wide;
}

// The set-up of every open; the results of these calls are ignored.
void applyLineSettings(HANDLE h)
{
    SetCommMask(h, EV_RXCHAR);
    SetupComm(h, DWORD(serialQueueSize), DWORD(serialQueueSize));
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    timeouts.WriteTotalTimeoutMultiplier = serialWriteMsPerByte;
    timeouts.WriteTotalTimeoutConstant = serialWriteConstantMs;
    SetCommTimeouts(h, &timeouts);
    // Only the four line fields change; flow control and the control characters
    // stay as the driver reports them.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    GetCommState(h, &dcb);
    dcb.BaudRate = serialBaudRate;
    dcb.ByteSize = BYTE(serialDataBits);
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    SetCommState(h, &dcb);
    PurgeComm(h, PURGE_TXCLEAR | PURGE_RXCLEAR);
}

}  // namespace

std::string comDevicePath(int number)
{
    if (number < 1 || number > serialProbeCount)
        return std::string();
    char path[24];
    std::snprintf(path, sizeof path, "\\\\.\\COM%d", number);
    return path;
}

bool setComDevicePath(int, const char*) { return false; }

uint32_t probeComPorts()
{
    uint32_t mask = 0;
    for (int n = 1; n <= serialProbeCount; ++n) {
        wchar_t name[24];
        _snwprintf(name, sizeof name / sizeof name[0], L"\\\\.\\COM%d", n);
        name[sizeof name / sizeof name[0] - 1] = 0;
        HANDLE h = CreateFileW(name, 0, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            continue;
        CloseHandle(h);
        mask |= uint32_t(1) << (n - 1);
    }
    return mask;
}

// The receive thread's overlapped state; it lives as long as the port object.
// The wait for EV_RXCHAR may stay pending from one readComBytes to the next
// (a close completes it). Reads land in the adapter's own buffer, never in
// the caller's: a read whose cancel has not ended within its bound stays
// pending there, the next call finishes it and hands out its bytes, and the
// system never writes into memory that has gone.
struct SerialPort::Io {
    HANDLE event = nullptr;  // manual-reset, shared by the wait and the read (never both in flight)
    OVERLAPPED wait{};
    DWORD eventMask = 0;
    bool waitPending = false;
    OVERLAPPED read{};
    DWORD readWant = 0;
    bool readPending = false;
    uint8_t bytes[serialReadSize] = {};
    size_t held = 0;   // bytes[taken, held) have been read and not handed out yet
    size_t taken = 0;

    bool pending() const { return waitPending || readPending; }
    bool finishRead(SerialPort& port, DWORD bound);
    long handOut(uint8_t* buffer, size_t capacity);
};

SerialPort::SerialPort() : io_(new Io)
{
    io_->event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

SerialPort::~SerialPort()
{
    closeComPort();  // completes a wait or a read that the receive thread left pending
    Io* io = io_.get();
    if (!io->event)
        return;
    if (io->pending() && WaitForSingleObject(io->event, cancelWaitMs) != WAIT_OBJECT_0) {
        // The system has not let go of the structures within the bound: they
        // stay allocated (deliberately leaked) rather than be freed under it.
        io_.release();
        return;
    }
    CloseHandle(io->event);
}

bool SerialPort::openComPort(int number)
{
    const std::string path = comDevicePath(number);
    if (path.empty()) {
        closeComPort();
        return false;
    }
    return openDevice(path.c_str());
}

bool SerialPort::openDevice(const char* path)
{
    closeComPort();
    if (!path || !*path)
        return false;
    const std::wstring name = widenUtf8(path);
    HANDLE h = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    applyLineSettings(h);
    {
        std::lock_guard<std::mutex> guard(use_);
        handle_.store(reinterpret_cast<intptr_t>(h), std::memory_order_release);
    }
    announceOpen();
    return true;
}

void SerialPort::closeComPort()
{
    std::lock_guard<std::mutex> guard(use_);
    const intptr_t h = handle_.exchange(closedHandle, std::memory_order_acq_rel);
    if (h == closedHandle)
        return;
    SetCommMask(asHandle(h), 0);  // completes a wait that the receive thread has pending
    PurgeComm(asHandle(h), PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    // And whatever the receive thread still has in flight on the handle (no
    // write is: writes hold the lock).
    CancelIoEx(asHandle(h), nullptr);
    CloseHandle(asHandle(h));
}

// One write in flight: its structure and a copy of its bytes, so that a
// write whose cancel has not ended within its bound can be left to the
// system (leaked) without the caller's buffer or stack under it.
struct WriteJob {
    OVERLAPPED ov{};
    std::unique_ptr<uint8_t[]> bytes;
};

void SerialPort::writeComBytes(const uint8_t* bytes, size_t count)
{
    if (!bytes || count == 0 || count > MAXDWORD)
        return;
    std::lock_guard<std::mutex> guard(use_);
    const intptr_t value = handle_.load(std::memory_order_acquire);
    if (value == closedHandle)
        return;
    HANDLE h = asHandle(value);
    DWORD errors = 0;
    COMSTAT status{};
    ClearCommError(h, &errors, &status);
    std::unique_ptr<WriteJob> job(new WriteJob);
    job->bytes.reset(new uint8_t[count]);
    std::memcpy(job->bytes.get(), bytes, count);
    job->ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);  // a fresh event per write
    if (!job->ov.hEvent)
        return;
    DWORD written = 0;
    if (!WriteFile(h, job->bytes.get(), DWORD(count), &written, &job->ov) && GetLastError() == ERROR_IO_PENDING &&
        WaitForSingleObject(job->ov.hEvent, serialWriteWaitMs) != WAIT_OBJECT_0) {
        // Still pending: cancel it and wait for the cancel, at most
        // cancelWaitMs. Should the system still hold the write then, its
        // structure, bytes and event stay allocated for it.
        CancelIoEx(h, &job->ov);
        if (WaitForSingleObject(job->ov.hEvent, cancelWaitMs) != WAIT_OBJECT_0) {
            job.release();
            return;
        }
    }
    CloseHandle(job->ov.hEvent);
}

long SerialPort::Io::handOut(uint8_t* buffer, size_t capacity)
{
    size_t count = held - taken;
    if (count > capacity)
        count = capacity;
    std::memcpy(buffer, bytes + taken, count);
    taken += count;
    if (taken == held)
        taken = held = 0;
    return long(count);
}

// Ends the pending read: waits for it at most bound, then cancels it and
// waits at most cancelWaitMs for the cancel. True when it has ended; what it
// read (a cancelled read may have read some) is then held for handing out.
// False when it still runs after both waits: it stays pending for the next
// call. The waits are on the event, without the lock. The cancel is issued
// under the lock on the handle open at that moment: if that is no longer the
// handle of the read, the close has ended the read already, and a cancel
// that names this structure finds nothing on another handle.
bool SerialPort::Io::finishRead(SerialPort& port, DWORD bound)
{
    if (WaitForSingleObject(event, bound) != WAIT_OBJECT_0) {
        {
            std::lock_guard<std::mutex> guard(port.use_);
            const intptr_t value = port.handle_.load(std::memory_order_acquire);
            if (value != closedHandle)
                CancelIoEx(asHandle(value), &read);
        }
        if (WaitForSingleObject(event, cancelWaitMs) != WAIT_OBJECT_0)
            return false;
    }
    readPending = false;
    // The structure of an ended read holds its byte count; no handle is
    // needed to take it.
    const DWORD got = DWORD(read.InternalHigh);
    held = got < readWant ? got : readWant;
    taken = 0;
    return true;
}

long SerialPort::readComBytes(uint8_t* buffer, size_t capacity, int timeoutMs)
{
    Io& io = *io_;
    if (!buffer || capacity == 0 || !io.event)
        return -1;
    const DWORD bound = waitBound(timeoutMs);
    // Bytes read earlier go out first. A read that an earlier call left
    // pending ends before anything new is issued.
    if (io.held != 0)
        return io.handOut(buffer, capacity);
    if (io.readPending) {
        if (!io.finishRead(*this, bound))
            return 0;
        return io.handOut(buffer, capacity);
    }
    if (!io.waitPending && !waitForOpen(timeoutMs))
        return -1;
    if (!io.waitPending) {
        std::lock_guard<std::mutex> guard(use_);
        const intptr_t value = handle_.load(std::memory_order_acquire);
        if (value == closedHandle)
            return -1;
        io.wait = OVERLAPPED{};
        io.wait.hEvent = io.event;
        ResetEvent(io.event);
        io.eventMask = 0;
        if (!WaitCommEvent(asHandle(value), &io.eventMask, &io.wait)) {
            if (GetLastError() != ERROR_IO_PENDING)
                return -1;
            io.waitPending = true;
        }
    }
    if (io.waitPending) {
        // The wait runs without the lock; a close completes it.
        if (WaitForSingleObject(io.event, bound) != WAIT_OBJECT_0)
            return 0;
        io.waitPending = false;
    }
    // Read what the driver holds, no more. A read of queued bytes ends at
    // once on every driver; Wine's overlapped reads otherwise wait for data
    // despite the time-outs above. A wait that completed with nothing queued
    // (a close, or an event for bytes already read) reads nothing.
    {
        std::lock_guard<std::mutex> guard(use_);
        const intptr_t value = handle_.load(std::memory_order_acquire);
        if (value == closedHandle)
            return -1;
        DWORD errors = 0;
        COMSTAT status{};
        if (!ClearCommError(asHandle(value), &errors, &status))
            return -1;
        if (status.cbInQue == 0)
            return 0;
        DWORD want = DWORD(capacity < serialReadSize ? capacity : serialReadSize);
        if (status.cbInQue < want)
            want = status.cbInQue;
        io.read = OVERLAPPED{};
        io.read.hEvent = io.event;
        io.readWant = want;
        ResetEvent(io.event);
        DWORD got = 0;
        if (ReadFile(asHandle(value), io.bytes, want, &got, &io.read)) {
            io.held = got < want ? got : want;
            io.taken = 0;
            return io.handOut(buffer, capacity);
        }
        if (GetLastError() != ERROR_IO_PENDING)
            return -1;
        io.readPending = true;
    }
    // Should the read still wait, it gets the same bound as the wait for
    // bytes and is then cancelled, so the thread never hangs in it; a close
    // meanwhile ends it too.
    io.finishRead(*this, bound);
    return io.handOut(buffer, capacity);
}
