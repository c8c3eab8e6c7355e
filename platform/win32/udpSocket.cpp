#include "platform/udpSocket.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <bcrypt.h>

namespace {

sockaddr_in toSockaddr(const NetAddr& a)
{
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(a.port);
    sa.sin_addr.s_addr = htonl(a.ip);
    return sa;
}

SOCKET asSocket(intptr_t h) { return h < 0 ? INVALID_SOCKET : SOCKET(h); }

}  // namespace

bool netStackStartup()
{
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return false;
    if (LOBYTE(data.wVersion) != 2 || HIBYTE(data.wVersion) != 2) {
        WSACleanup();
        return false;
    }
    return true;
}

void netStackCleanup() { WSACleanup(); }

UdpSocket::~UdpSocket() { close(); }

bool UdpSocket::create(int* osError)
{
    close();
    const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET) {
        if (osError)
            *osError = WSAGetLastError();
        return false;
    }
    // A datagram answered by ICMP "port unreachable" must not make the next
    // recvfrom fail with WSAECONNRESET: a reader that went away is not an
    // error of the listening socket.
    BOOL noReset = FALSE;
    DWORD returned = 0;
    WSAIoctl(s, _WSAIOW(IOC_VENDOR, 12), &noReset, sizeof noReset, nullptr, 0, &returned,
             nullptr, nullptr);
    interrupted_.store(false);
    handle_.store(intptr_t(s));
    return true;
}

UdpBind UdpSocket::bindTo(const NetAddr& local, int* osError)
{
    const sockaddr_in sa = toSockaddr(local);
    // Exclusive use, so a second program cannot share the port by accident
    // and binding a taken port reports WSAEADDRINUSE.
    BOOL exclusive = TRUE;
    setsockopt(asSocket(handle_.load()), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
               reinterpret_cast<const char*>(&exclusive), sizeof exclusive);
    if (::bind(asSocket(handle_.load()), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
        const int e = WSAGetLastError();
        if (osError)
            *osError = e;
        return e == WSAEADDRINUSE ? UdpBind::inUse : UdpBind::failed;
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
    return setsockopt(asSocket(handle_.load()), SOL_SOCKET, SO_SNDBUF,
                      reinterpret_cast<const char*>(&bytes), sizeof bytes) == 0;
}

bool UdpSocket::setReceiveBuffer(int bytes)
{
    return setsockopt(asSocket(handle_.load()), SOL_SOCKET, SO_RCVBUF,
                      reinterpret_cast<const char*>(&bytes), sizeof bytes) == 0;
}

long UdpSocket::receive(uint8_t* buffer, size_t capacity, NetAddr* from, int* osError,
                        bool* truncated)
{
    sockaddr_in sa{};
    int len = sizeof sa;
    const int n = recvfrom(asSocket(handle_.load()), reinterpret_cast<char*>(buffer),
                           int(capacity), 0, reinterpret_cast<sockaddr*>(&sa), &len);
    if (truncated)
        *truncated = false;
    if (n == SOCKET_ERROR) {
        const int e = WSAGetLastError();
        if (osError)
            *osError = e;
        // A datagram larger than the buffer arrives cut to its size with
        // WSAEMSGSIZE: hand over the full buffer, marked as cut.
        if (e == WSAEMSGSIZE && !interrupted_.load()) {
            if (truncated)
                *truncated = true;
            if (from) {
                from->ip = ntohl(sa.sin_addr.s_addr);
                from->port = ntohs(sa.sin_port);
            }
            return long(capacity);
        }
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
    const SOCKET s = asSocket(handle_.load());
    if (s == INVALID_SOCKET)
        return false;
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    return select(0, &set, nullptr, nullptr, &tv) > 0;
}

bool UdpSocket::sendTo(const NetAddr& to, const uint8_t* data, size_t size)
{
    const SOCKET s = asSocket(handle_.load());
    if (s == INVALID_SOCKET)
        return false;
    const sockaddr_in sa = toSockaddr(to);
    return sendto(s, reinterpret_cast<const char*>(data), int(size), 0,
                  reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == int(size);
}

void UdpSocket::interrupt()
{
    // Winsock wakes a blocked recvfrom only when the socket is closed.
    interrupted_.store(true);
    const intptr_t h = handle_.exchange(-1);
    if (h >= 0)
        closesocket(SOCKET(h));
}

void UdpSocket::close()
{
    const intptr_t h = handle_.exchange(-1);
    if (h >= 0)
        closesocket(SOCKET(h));
}

bool UdpSocket::isOpen() const { return handle_.load() >= 0; }

uint16_t UdpSocket::localPort() const
{
    sockaddr_in sa{};
    int len = sizeof sa;
    if (getsockname(asSocket(handle_.load()), reinterpret_cast<sockaddr*>(&sa), &len) != 0)
        return 0;
    return ntohs(sa.sin_port);
}

bool udpLocalAddressToward(const NetAddr& peer, uint32_t* ip)
{
    const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (s == INVALID_SOCKET)
        return false;
    const sockaddr_in to = toSockaddr(peer);
    sockaddr_in sa{};
    int len = sizeof sa;
    const bool ok = ::connect(s, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0 &&
                    getsockname(s, reinterpret_cast<sockaddr*>(&sa), &len) == 0;
    closesocket(s);
    if (ok)
        *ip = ntohl(sa.sin_addr.s_addr);
    return ok;
}

void systemRandomFill(uint8_t* out, size_t count)
{
    BCryptGenRandom(nullptr, out, ULONG(count), BCRYPT_USE_SYSTEM_PREFERRED_RNG);
}

bool parseIpv4(const char* text, uint32_t* ip)
{
    if (!text)
        return false;
    in_addr a{};
    if (inet_pton(AF_INET, text, &a) != 1)
        return false;
    *ip = ntohl(a.s_addr);
    return true;
}
