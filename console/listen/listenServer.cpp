#include "console/listen/listenServer.h"

#include <cstring>

#include "common/md5.h"

namespace {

// Copies text into a fixed field: at most size - 1 bytes, always terminated.
void copyField(char* field, size_t size, const char* text)
{
    size_t n = 0;
    if (text)
        while (n + 1 < size && text[n] != '\0')
            ++n;
    if (n > 0)
        std::memcpy(field, text, n);
    std::memset(field + n, 0, size - n);
}

const uint8_t kLoginReject[1] = {2};
const uint8_t kAuthReject[1] = {4};
const uint8_t kAuthAccept[6] = {0x00, 0x0F, 0x00, 0x00, 0x00, 0x01};

}  // namespace

ListenServer::ListenServer(TagStore& store, SubstationTable& substations, FrameSender& sender,
                           RandomSource& random)
    : store_(store), substations_(substations), sender_(sender), random_(random)
{
}

void ListenServer::configure(const char* deviceName, const char* password)
{
    copyField(deviceName_, sizeof deviceName_, deviceName);
    copyField(password_, sizeof password_, password);
    std::lock_guard<std::mutex> lock(authLock_);
    auth_ = AuthState{};
}

void ListenServer::reset()
{
    std::lock_guard<std::mutex> lock(authLock_);
    linkUp_.store(false);
    heartBeatTimeout_.store(0);
    auth_ = AuthState{};
}

AuthState ListenServer::authState() const
{
    std::lock_guard<std::mutex> lock(authLock_);
    return auth_;
}

NetAddr ListenServer::readerAddr() const
{
    std::lock_guard<std::mutex> lock(authLock_);
    return readerAddr_;
}

void ListenServer::send(const NetAddr& to, uint8_t code, const uint8_t* payload, size_t length,
                        const char* head)
{
    uint8_t frame[netMaxDatagram];
    const size_t size = netPduBuild(frame, sizeof frame, code, payload, length);
    if (size == 0)
        return;
    sender_.sendFrame(to, frame, size);
    netTraceDump(head, frame, size);
}

bool ListenServer::sendToReader(uint8_t code, const uint8_t* payload, size_t length,
                                const char* head)
{
    if (!linkUp_.load())
        return false;
    send(readerAddr(), code, payload, length, head);
    return true;
}

void ListenServer::onDatagram(const uint8_t* datagram, size_t size, const NetAddr& from,
                              bool truncated)
{
    NetPdu pdu;
    if (netPduCheck(datagram, size, &pdu, netCodeLabelReport, truncated) != NetCheck::ok)
        return;
    switch (pdu.code) {
    case netCodeLoginReq:
        netCmdCPLoginAck(from, pdu.payload, pdu.length);
        break;
    case netCodeAuthReq:
        netCmdCPAuthAck(from, pdu.payload, pdu.length);
        break;
    case netCodeLabelReport:
        onLabelReport(pdu.payload, pdu.length);
        break;
    case netCodeHeartBeatReq:
        onHeartBeat(from, pdu.payload, pdu.length);
        break;
    case netCodeLabelAlarmAck:
        netTrace("cp rcv label alarm ack.\r\n");
        break;
    case netCodeLabelAlarmRej:
        netTrace("cp rcv label alarm rej.\r\n");
        break;
    case netCodeSmsAck:
        netTrace("cp rcv sms ack.\r\n");
        break;
    case netCodeSmsRej:
        netTrace("cp rcv sms rej.\r\n");
        break;
    default:
        break;  // codes the platform sends itself, or unknown: dropped
    }
}

void ListenServer::netCmdCPLoginAck(const NetAddr& from, const uint8_t* payload, size_t length)
{
    // The name runs to its zero byte, or over all L bytes when it has none.
    size_t nameLength = 0;
    while (nameLength < length && payload[nameLength] != 0)
        ++nameLength;
    const size_t wanted = std::strlen(deviceName_);
    if (nameLength != wanted || std::memcmp(payload, deviceName_, wanted) != 0) {
        send(from, netCodeLoginAck, kLoginReject, sizeof kLoginReject);
        netTrace("%s error unknown device name\r\n", "netCmdCPLoginAck");
        return;
    }

    uint8_t ack[1 + netChallengeSize];
    ack[0] = 0;
    random_.fill(ack + 1, netChallengeSize);

    uint8_t message[netChallengeSize + netSecretSize];
    std::memcpy(message, ack + 1, netChallengeSize);
    std::memcpy(message + netChallengeSize, password_, netSecretSize);  // zero-padded field
    AuthState next{};
    Md5::digest(message, sizeof message, next.digest);
    next.window = netAuthWindowTicks;
    {
        std::lock_guard<std::mutex> lock(authLock_);
        auth_ = next;
    }
    send(from, netCodeLoginAck, ack, sizeof ack);
    netTrace("rcv login req.\r\n");
}

void ListenServer::netCmdCPAuthAck(const NetAddr& from, const uint8_t* payload, size_t length)
{
    if (length != 16) {
        send(from, netCodeAuthAck, kAuthReject, sizeof kAuthReject);
        netTrace("%s error len %d\r\n", "netCmdCPAuthAck", int(length));
        return;
    }
    bool accepted = false;
    bool wasLinked = false;
    {
        std::lock_guard<std::mutex> lock(authLock_);
        if (auth_.window != 0 && std::memcmp(payload, auth_.digest, 16) == 0) {
            accepted = true;
            wasLinked = linkUp_.load();
            readerAddr_ = from;
        }
    }
    if (!accepted) {
        send(from, netCodeAuthAck, kAuthReject, sizeof kAuthReject);
        return;
    }
    // The link is committed before the ack leaves, so whoever sees the ack
    // (the reader, or a test on another thread) finds the link up.
    if (wasLinked)
        store_.clear();
    {
        std::lock_guard<std::mutex> lock(authLock_);
        linkUp_.store(true);
        heartBeatTimeout_.store(netHeartBeatTicks);
    }
    send(from, netCodeAuthAck, kAuthAccept, sizeof kAuthAccept);
    netTrace("auth ok\r\n");
}

void ListenServer::onHeartBeat(const NetAddr& from, const uint8_t* payload, size_t length)
{
    if (!linkUp_.load())
        return;
    {
        std::lock_guard<std::mutex> lock(authLock_);
        heartBeatTimeout_.store(netHeartBeatTicks);
    }
    // A heartbeat too short to hold N copies no states.
    if (length >= 5) {
        size_t copy = payload[4];
        if (copy > size_t(substationCount))
            copy = substationCount;
        if (copy > length - 5)
            copy = length - 5;
        for (size_t i = 0; i < copy; ++i)
            substations_.setState(int(i), payload[5 + i]);
    }
    // State first, then the ack, as with the auth ack.
    send(from, netCodeHeartBeatAck, nullptr, 0);
    netTrace("rcv heart beat req.\r\n");
}

void ListenServer::onLabelReport(const uint8_t* payload, size_t length)
{
    if (!linkUp_.load())
        return;
    if (length < 11)
        return;  // too short for the fixed fields and the RSSI byte
    const uint8_t substation = payload[4];
    const uint32_t tagId = netGet32(payload + 5);
    const uint8_t status = payload[9];
    const int n = status >> 5;
    if (length < size_t(11 + n))
        return;  // shorter than its announced extra data: dropped, never read past
    if (substation > 33 || status == 0x0E)
        return;
    const int8_t rssi = int8_t(payload[length - 1]);
    store_.report(tagId, substation, status, rssi, payload + 10, n);
}

void ListenServer::tick()
{
    {
        std::lock_guard<std::mutex> lock(authLock_);
        if (linkUp_.load()) {
            const int left = heartBeatTimeout_.load();
            if (left != 0) {
                heartBeatTimeout_.store(left - 1);
                if (left - 1 == 0)
                    linkUp_.store(false);
            }
        }
        if (auth_.window != 0) {
            if (--auth_.window == 0)
                std::memset(auth_.digest, 0, sizeof auth_.digest);
        }
    }
    substations_.tick();
}
