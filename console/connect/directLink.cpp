#include "console/connect/directLink.h"

#include <cstring>

#include "console/listen/listenLink.h"

DirectLink::DirectLink(TagStore& store, SubstationTable& substations, FrameSender& sender)
    : store_(store), substations_(substations), sender_(sender)
{
}

NetAddr DirectLink::readerAddr() const
{
    std::lock_guard<std::mutex> lock(lock_);
    return readerAddr_;
}

void DirectLink::open(uint32_t readerIp)
{
    {
        std::lock_guard<std::mutex> lock(lock_);
        readerAddr_ = NetAddr{readerIp, devReaderPort};
        retryCountdown_.store(devLoginFirstRetry);
        loginState_.store(1);
    }
    sendLogin();
}

void DirectLink::close()
{
    std::lock_guard<std::mutex> lock(lock_);
    linkUp_.store(false);
    retryCountdown_.store(0);
    heartBeatTimeout_.store(0);
    loginState_.store(0);
}

void DirectLink::send(const NetAddr& to, uint8_t version, uint8_t code, const uint8_t* payload,
                      size_t length, const char* head, bool lowerCase)
{
    uint8_t frame[netMaxDatagram];
    const size_t size = netPduBuildVersion(frame, sizeof frame, version, code, payload, length);
    if (size == 0)
        return;
    sender_.sendFrame(to, frame, size);
    netTraceDump(head, frame, size, lowerCase);
}

void DirectLink::sendLogin()
{
    uint8_t payload[33] = {};
    std::memcpy(payload, devUserName, std::strlen(devUserName));
    std::memcpy(payload + 16, devPassword, std::strlen(devPassword));
    payload[32] = 0x0A;
    send(readerAddr(), 4, devCmdLogin, payload, sizeof payload);
}

void DirectLink::sendHeartBeat()
{
    if (!linkUp_.load())
        return;
    send(readerAddr(), 2, devCmdHeartBeat, nullptr, 0, "net send %d:", true);
}

void DirectLink::sendLinkAck(const NetAddr& to)
{
    if (!linkUp_.load())
        return;
    send(to, 4, devCmdLinkAck, nullptr, 0);
}

void DirectLink::sendLabelAlarm(const CallFrame& call)
{
    if (!linkUp_.load())
        return;
    uint8_t payload[7];
    listenCallPayload(call, payload);
    send(readerAddr(), commandVersion(), devCmdLabelAlarm, payload, sizeof payload);
}

void DirectLink::sendSms(const SmsFrame& sms)
{
    if (!linkUp_.load())
        return;
    uint8_t payload[14 + 110];
    const size_t n = listenSmsPayload(sms, payload, sizeof payload);
    if (n > 0)
        send(readerAddr(), commandVersion(), devCmdSms, payload, n, "net send %d:, len");
}

void DirectLink::restartTimeout()
{
    std::lock_guard<std::mutex> lock(lock_);
    heartBeatTimeout_.store(devLinkTimeout);
}

void DirectLink::copyStates(const uint8_t* states, size_t available, size_t announced)
{
    size_t copy = announced;
    if (copy > size_t(substationCount))
        copy = substationCount;
    if (copy > available)
        copy = available;
    for (size_t i = 0; i < copy; ++i)
        substations_.setState(int(i), states[i]);
}

void DirectLink::onLabelReport(const uint8_t* payload, size_t length)
{
    if (!linkUp_.load())
        return;
    // The layout follows the version of the accepted login ack alone.
    const size_t base = readerVersion_.load() >= 4 ? 4 : 0;
    if (length < base + 7)
        return;
    const uint8_t* p = payload + base;
    const uint8_t substation = p[0];
    const uint32_t tagId = netGet32(p + 1);
    const uint8_t status = p[5];
    const int n = status >> 5;
    if (length < base + 7 + size_t(n))
        return;  // shorter than its announced extra data
    if (substation > 33 || status == 0x0E)
        return;
    store_.report(tagId, substation, status, int8_t(payload[length - 1]), p + 6, n);
}

void DirectLink::onDatagram(const uint8_t* datagram, size_t size, const NetAddr& from,
                            bool truncated)
{
    NetPdu pdu;
    if (netPduCheck(datagram, size, &pdu, devCmdLabelReport, truncated) != NetCheck::ok)
        return;
    switch (pdu.code) {
    case devCmdLoginAck:
        if (pdu.length >= 1 && pdu.payload[0] == 0) {
            {
                std::lock_guard<std::mutex> lock(lock_);
                readerVersion_.store(pdu.version);
                loginState_.store(2);
                heartBeatTimeout_.store(devLinkTimeout);
                linkUp_.store(true);
            }
            netTrace("login ok.\r\n");
        }
        break;
    case devCmdLabelReport:
        onLabelReport(pdu.payload, pdu.length);
        break;
    case devCmdHeartBeatAck:
        restartTimeout();
        if (pdu.length >= 1)
            copyStates(pdu.payload + 1, pdu.length - 1, pdu.payload[0]);
        netTrace("rcv heart beat ack.\r\n");
        break;
    case devCmdLabelAlarmAck:
        netTrace("rcv label alarm ack.\r\n");
        break;
    case devCmdLabelAlarmRej:
        netTrace("rcv label alarm rej.\r\n");
        break;
    case devCmdSmsAck:
        netTrace("rcv sms ack.\r\n");
        break;
    case devCmdSmsRej:
        netTrace("rcv sms rej.\r\n");
        break;
    case devCmdLinkReq:
        restartTimeout();
        if (pdu.length >= 5)
            copyStates(pdu.payload + 5, pdu.length - 5, pdu.payload[4]);
        sendLinkAck(from);
        netTrace("rcv link req.\r\n");
        break;
    default:
        break;
    }
}

void DirectLink::netClientTick()
{
    enum { none, login, heartBeat } action = none;
    {
        std::lock_guard<std::mutex> lock(lock_);
        const int left = retryCountdown_.load();
        if (left != 0) {
            retryCountdown_.store(left - 1);
            if (left - 1 == 0) {
                if (loginState_.load() < 2) {
                    retryCountdown_.store(devLoginRetry);
                    action = login;
                } else if (readerVersion_.load() < 4) {
                    retryCountdown_.store(devHeartBeatPeriod);
                    action = heartBeat;
                }
            }
        }
        if (linkUp_.load()) {
            const int timeout = heartBeatTimeout_.load();
            if (timeout != 0) {
                heartBeatTimeout_.store(timeout - 1);
                if (timeout - 1 == 0) {
                    linkUp_.store(false);
                    loginState_.store(0);
                    retryCountdown_.store(devLoginRetry);
                }
            }
        }
    }
    if (action == login)
        sendLogin();
    else if (action == heartBeat)
        sendHeartBeat();
    substations_.tick();
}
