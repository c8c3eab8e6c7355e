#include "platform/serialPort.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// COMn -> device path overrides; an empty entry follows the naming rule.
std::mutex pathLock;
char pathTable[serialProbeCount][comDevicePathMax] = {};

// Opens path for reading and writing without becoming its controlling
// terminal, and takes the exclusive lock that marks a port as held. -1 when
// either fails (a port held elsewhere fails the lock).
int openExclusive(const char* path)
{
    const int fd = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void applyLineSettings(int fd)
{
#ifdef TIOCEXCL
    ::ioctl(fd, TIOCEXCL);
#endif
    termios t{};
    if (::tcgetattr(fd, &t) != 0)
        return;  // not a terminal: nothing to set, as a failed set-up call
    t.c_iflag &= ~tcflag_t(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON |
                           IXOFF | IXANY);
    t.c_oflag &= ~tcflag_t(OPOST);
    t.c_lflag &= ~tcflag_t(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~tcflag_t(CSIZE | PARENB | CSTOPB);
    t.c_cflag |= tcflag_t(CS8 | CREAD | CLOCAL);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    ::cfsetispeed(&t, B115200);
    ::cfsetospeed(&t, B115200);
    ::tcsetattr(fd, TCSANOW, &t);
    ::tcflush(fd, TCIOFLUSH);
}

}  // namespace

std::string comDevicePath(int number)
{
    if (number < 1 || number > serialProbeCount)
        return std::string();
    {
        std::lock_guard<std::mutex> guard(pathLock);
        if (pathTable[number - 1][0] != 0)
            return pathTable[number - 1];
    }
    char path[32];
    std::snprintf(path, sizeof path, "/dev/ttyS%d", number - 1);
    return path;
}

bool setComDevicePath(int number, const char* path)
{
    if (number < 1 || number > serialProbeCount)
        return false;
    const size_t length = path ? std::strlen(path) : 0;
    if (length >= comDevicePathMax)
        return false;
    std::lock_guard<std::mutex> guard(pathLock);
    char* entry = pathTable[number - 1];
    std::memset(entry, 0, comDevicePathMax);
    if (length > 0)
        std::memcpy(entry, path, length);
    return true;
}

uint32_t probeComPorts()
{
    uint32_t mask = 0;
    for (int n = 1; n <= serialProbeCount; ++n) {
        const int fd = openExclusive(comDevicePath(n).c_str());
        if (fd < 0)
            continue;
        ::close(fd);
        mask |= uint32_t(1) << (n - 1);
    }
    return mask;
}

struct SerialPort::Io {};

SerialPort::SerialPort() : io_(new Io) {}

SerialPort::~SerialPort() { closeComPort(); }

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
    const int fd = openExclusive(path);
    if (fd < 0)
        return false;
    applyLineSettings(fd);
    {
        std::lock_guard<std::mutex> guard(use_);
        handle_.store(fd, std::memory_order_release);
    }
    announceOpen();
    return true;
}

void SerialPort::closeComPort()
{
    std::lock_guard<std::mutex> guard(use_);
    const intptr_t fd = handle_.exchange(closedHandle, std::memory_order_acq_rel);
    if (fd == closedHandle)
        return;
    ::tcflush(int(fd), TCIOFLUSH);
    // Given up before the close: a poll of the receive thread may still hold
    // the open file for a moment, and the port must be free for the open
    // that usually follows at once (the page re-opening it after a reply).
#ifdef TIOCNXCL
    ::ioctl(int(fd), TIOCNXCL);
#endif
    ::flock(int(fd), LOCK_UN);
    ::close(int(fd));
}

void SerialPort::writeComBytes(const uint8_t* bytes, size_t count)
{
    if (!bytes || count == 0)
        return;
    std::lock_guard<std::mutex> guard(use_);
    const int fd = int(handle_.load(std::memory_order_acquire));
    if (fd == closedHandle)
        return;
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(serialWriteWaitMs);
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(fd, bytes + done, count - done);
        if (n > 0) {
            done += size_t(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return;  // not reported: the reply time-out is what the user notices
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return;  // the rest is abandoned, as a cancelled pending write
        pollfd p{fd, POLLOUT, 0};
        ::poll(&p, 1, int(left));
    }
}

long SerialPort::readComBytes(uint8_t* buffer, size_t capacity, int timeoutMs)
{
    if (!buffer || capacity == 0 || !waitForOpen(timeoutMs))
        return -1;
    const int fd = int(handle_.load(std::memory_order_acquire));
    if (fd == closedHandle)
        return -1;
    // The wait runs without the lock: a close meanwhile shows as an error,
    // a time-out or a descriptor that is no longer ours (checked below).
    pollfd p{fd, POLLIN, 0};
    const int ready = ::poll(&p, 1, timeoutMs);
    if (ready == 0)
        return 0;
    if (ready < 0)
        return errno == EINTR ? 0 : -1;
    if ((p.revents & POLLIN) == 0)
        return -1;  // hang-up or error only
    std::lock_guard<std::mutex> guard(use_);
    if (handle_.load(std::memory_order_acquire) != fd)
        return 0;  // closed or replaced during the wait: nothing read
    const ssize_t n = ::read(fd, buffer, capacity);
    if (n > 0)
        return long(n);
    if (n == 0 || errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
        return 0;
    return -1;
}
