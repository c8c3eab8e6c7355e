#include "platform/serialPort.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

// The longest wait for a cancelled write to end, and for a pending wait or
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
// A wait for EV_RXCHAR, or a read, may stay pending from one readComBytes to
// the next (a close completes either). Reads land in the adapter's own
// buffer, never in the caller's, so the system never writes into memory
// that has gone; what a read brought is handed out over as many calls as
// the callers' buffers need.
struct SerialPort::Io {
    HANDLE event = nullptr;  // manual-reset, shared by the wait and the read (never both in flight)
    OVERLAPPED wait{};
    DWORD eventMask = 0;
    bool waitPending = false;
    OVERLAPPED read{};
    bool readPending = false;
    bool readAgain = false;  // the last read brought bytes: the next call reads before it waits
    uint8_t bytes[serialReadSize] = {};
    size_t held = 0;   // bytes[taken, held) have been read and not handed out yet
    size_t taken = 0;

    bool pending() const { return waitPending || readPending; }
    void readEnded(DWORD count);
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

void SerialPort::Io::readEnded(DWORD count)
{
    readPending = false;
    held = count < serialReadSize ? count : serialReadSize;
    taken = 0;
    readAgain = held != 0;
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

long SerialPort::readComBytes(uint8_t* buffer, size_t capacity, int timeoutMs)
{
    Io& io = *io_;
    if (!buffer || capacity == 0 || !io.event)
        return -1;
    const DWORD bound = waitBound(timeoutMs);
    // Bytes read earlier go out first. A wait or a read that an earlier call
    // left pending is waited for again, never issued twice; each wait runs
    // without the lock, and a close ends it.
    if (io.held != 0)
        return io.handOut(buffer, capacity);
    if (io.readPending) {
        if (WaitForSingleObject(io.event, bound) != WAIT_OBJECT_0)
            return 0;
        // The structure of an ended read holds its byte count; no handle is
        // needed to take it (the port may have been closed meanwhile).
        io.readEnded(DWORD(io.read.InternalHigh));
        return io.handOut(buffer, capacity);
    }
    // More bytes often follow the ones just read (the rest of a frame):
    // after a read that brought bytes the next call reads at once, and
    // waits for EV_RXCHAR only once a read has come back empty.
    if (!io.waitPending && !io.readAgain) {
        if (!waitForOpen(timeoutMs))
            return -1;
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
        if (WaitForSingleObject(io.event, bound) != WAIT_OBJECT_0)
            return 0;
        io.waitPending = false;
    }
    // Read up to serialReadSize bytes. With the read time-outs of the
    // line settings a read of queued bytes ends at once with what is
    // there. With nothing queued (the wait ended without a byte) the
    // drivers differ: Windows' ends the read at once with nothing, and its
    // next wait blocks until a byte comes; Wine's ends every wait after a
    // few milliseconds without an event on a port without modem lines (a
    // pseudo-terminal), starting a thread of its own for each, but its read
    // waits for the first byte. That read stays pending until bytes come or
    // the port closes, so an idle receive thread blocks on either system.
    io.readAgain = false;  // until this read brings bytes
    {
        std::lock_guard<std::mutex> guard(use_);
        const intptr_t value = handle_.load(std::memory_order_acquire);
        if (value == closedHandle)
            return -1;
        // A driver that stops reading on a line error reads again once the
        // error is cleared.
        DWORD errors = 0;
        COMSTAT status{};
        ClearCommError(asHandle(value), &errors, &status);
        io.read = OVERLAPPED{};
        io.read.hEvent = io.event;
        ResetEvent(io.event);
        DWORD got = 0;
        if (ReadFile(asHandle(value), io.bytes, DWORD(serialReadSize), &got, &io.read)) {
            io.readEnded(got);
            return io.handOut(buffer, capacity);
        }
        if (GetLastError() != ERROR_IO_PENDING)
            return -1;
        io.readPending = true;
    }
    if (WaitForSingleObject(io.event, bound) != WAIT_OBJECT_0)
        return 0;
    io.readEnded(DWORD(io.read.InternalHigh));
    return io.handOut(buffer, capacity);
}
