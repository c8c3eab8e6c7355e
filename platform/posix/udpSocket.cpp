#include "platform/udpSocket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {

sockaddr_in toSockaddr(const NetAddr& a)
{
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(a.port);
    sa.sin_addr.s_addr = htonl(a.ip);
    return sa;
}

}  // namespace

bool netStackStartup() { return true; }
void netStackCleanup() {}

UdpSocket::~UdpSocket() { close(); }

bool UdpSocket::create(int* osError)
{
    close();
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) {
        if (osError)
            *osError = errno;
        return false;
    }
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    interrupted_.store(false);
    handle_.store(fd);
    return true;
}

UdpBind UdpSocket::bindTo(const NetAddr& local, int* osError)
{
    const sockaddr_in sa = toSockaddr(local);
    if (::bind(int(handle_.load()), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
        const int e = errno;
        if (osError)
            *osError = e;
        return e == EADDRINUSE ? UdpBind::inUse : UdpBind::failed;
    }
    return UdpBind::ok;
}

UdpBind UdpSocket::bindAny(uint16_t port, int* osError)
{
    NetAddr any;
    any.ip = INADDR_ANY;
    any.port = port;
    return bindTo(any, osError);
}

bool UdpSocket::setSendBuffer(int bytes)
{
    return ::setsockopt(int(handle_.load()), SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes) == 0;
}

bool UdpSocket::setReceiveBuffer(int bytes)
{
    return ::setsockopt(int(handle_.load()), SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes) == 0;
}

long UdpSocket::receive(uint8_t* buffer, size_t capacity, NetAddr* from, int* osError,
                        bool* truncated)
{
    sockaddr_in sa{};
    iovec part{buffer, capacity};
    msghdr message{};
    message.msg_name = &sa;
    message.msg_namelen = sizeof sa;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    const ssize_t n = ::recvmsg(int(handle_.load()), &message, 0);
    // MSG_TRUNC: the datagram was longer than the buffer and its end is lost.
    if (truncated)
        *truncated = n >= 0 && (message.msg_flags & MSG_TRUNC) != 0;
    if (n < 0) {
        if (osError)
            *osError = errno;
        return -1;
    }
    if (interrupted_.load())
        return -1;
    if (from) {
        from->ip = ntohl(sa.sin_addr.s_addr);
        from->port = ntohs(sa.sin_port);
    }
    return long(n);
}

bool UdpSocket::waitReadable(int timeoutMs)
{
    pollfd p{int(handle_.load()), POLLIN, 0};
    return ::poll(&p, 1, timeoutMs) > 0 && (p.revents & POLLIN);
}

bool UdpSocket::sendTo(const NetAddr& to, const uint8_t* data, size_t size)
{
    const int fd = int(handle_.load());
    if (fd < 0)
        return false;
    const sockaddr_in sa = toSockaddr(to);
    return ::sendto(fd, data, size, 0, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) ==
           ssize_t(size);
}

void UdpSocket::interrupt()
{
    interrupted_.store(true);
    const int fd = int(handle_.load());
    if (fd >= 0)
        ::shutdown(fd, SHUT_RDWR);  // wakes a blocked recvfrom on Linux
}

void UdpSocket::close()
{
    const intptr_t fd = handle_.exchange(-1);
    if (fd >= 0)
        ::close(int(fd));
}

bool UdpSocket::isOpen() const { return handle_.load() >= 0; }

uint16_t UdpSocket::localPort() const
{
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (::getsockname(int(handle_.load()), reinterpret_cast<sockaddr*>(&sa), &len) != 0)
        return 0;
    return ntohs(sa.sin_port);
}

bool udpLocalAddressToward(const NetAddr& peer, uint32_t* ip)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0)
        return false;
    const sockaddr_in to = toSockaddr(peer);
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    const bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0 &&
                    ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) == 0;
    ::close(fd);
    if (ok)
        *ip = ntohl(sa.sin_addr.s_addr);
    return ok;
}

void systemRandomFill(uint8_t* out, size_t count)
{
    while (count > 0) {
        const ssize_t n = ::getrandom(out, count, 0);
        if (n <= 0) {
            if (n < 0 && errno == EINTR)
                continue;
            // The kernel source cannot fail short of a broken system; fall
            // back to /dev/urandom rather than hand out predictable bytes.
            FILE* f = std::fopen("/dev/urandom", "rb");
            const size_t got = f ? std::fread(out, 1, count, f) : 0;
            if (f)
                std::fclose(f);
            if (got == 0)
                return;
            out += got;
            count -= got;
            continue;
        }
        out += n;
        count -= size_t(n);
    }
}

bool parseIpv4(const char* text, uint32_t* ip)
{
    in_addr a{};
    if (!text || ::inet_pton(AF_INET, text, &a) != 1)
        return false;
    *ip = ntohl(a.s_addr);
    return true;
}
