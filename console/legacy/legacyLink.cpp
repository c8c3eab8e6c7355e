#include "console/legacy/legacyLink.h"

#include <cstring>

#include "console/listen/listenLink.h"

LegacyLink::LegacyLink(TagStore& store, SubstationTable& substations, FrameSender& sender)
    : store_(store), substations_(substations), sender_(sender)
{
}

NetAddr LegacyLink::readerAddr() const
{
    std::lock_guard<std::mutex> lock(lock_);
    return readerAddr_;
}

void LegacyLink::open(uint32_t readerIp)
{
    std::lock_guard<std::mutex> lock(lock_);
    readerAddr_ = NetAddr{readerIp, devReaderPort};
    linkUp_.store(false);
    retryCountdown_.store(1);
    silenceCount_.store(0);
}

void LegacyLink::close()
{
    {
        std::lock_guard<std::mutex> lock(lock_);
        linkUp_.store(false);
        retryCountdown_.store(0);
        silenceCount_.store(0);
    }
    netTrace("关闭udp端口\r\n");
}

void LegacyLink::send(uint8_t version, uint8_t code, const uint8_t* payload, size_t length)
{
    uint8_t frame[netMaxDatagram];
    const size_t size = netPduBuildVersion(frame, sizeof frame, version, code, payload, length);
    if (size > 0)
        sender_.sendFrame(readerAddr(), frame, size);
}

void LegacyLink::sendLogin()
{
    uint8_t payload[32] = {};
    std::memcpy(payload, devUserName, std::strlen(devUserName));
    std::memcpy(payload + 16, devPassword, std::strlen(devPassword));
    send(0, devCmdLogin, payload, sizeof payload);
    netTrace("\r\n登陆请求");
}

void LegacyLink::sendHeartBeat()
{
    if (linkUp_.load())
        send(0, devCmdHeartBeat, nullptr, 0);
}

void LegacyLink::sendLabelAlarm(const CallFrame& call)
{
    if (!linkUp_.load())
        return;
    netTrace("\r\nlable Ser Req  %d:", int(call.tagId));
    uint8_t payload[7];
    listenCallPayload(call, payload);
    send(2, devCmdLabelAlarm, payload, sizeof payload);
}

void legacySmsPayloadBytes(const SmsFrame& sms, uint8_t out[legacySmsPayload])
{
    std::memset(out, 0, legacySmsPayload);
    listenSmsPayload(sms, out, legacySmsPayload);
}

void LegacyLink::sendSms(const SmsFrame& sms)
{
    if (!linkUp_.load() || sms.gbkText.empty())
        return;
    uint8_t payload[legacySmsPayload];
    legacySmsPayloadBytes(sms, payload);
    send(2, devCmdSms, payload, sizeof payload);
}

void LegacyLink::onDatagram(const uint8_t* datagram, size_t size, const NetAddr&,
                            bool truncated)
{
    if (size <= netHeaderSize)
        return;  // an empty payload or less: ignored without a trace
    NetPdu pdu;
    switch (netPduValidate(datagram, size, &pdu, truncated)) {
    case NetCheck::ok:
        break;
    case NetCheck::badMagic:
        netTrace("\r\nmsg head error");
        return;
    case NetCheck::badLength:
        netTrace("\r\nlen wrong");
        return;
    default:
        netTrace("\r\ncrc error");
        return;
    }
    {
        std::lock_guard<std::mutex> lock(lock_);
        silenceCount_.store(0);  // any valid frame keeps the link alive
    }
    const uint8_t* p = pdu.payload;
    const size_t length = pdu.length;
    switch (pdu.code) {
    case devCmdLoginAck:
        // The result is 16 bits; an ack too short to hold it is no acceptance.
        if (length >= 2 && netGet16(p) == 0) {
            std::lock_guard<std::mutex> lock(lock_);
            linkUp_.store(true);
            netTrace("\r\nlogin ok.");
        } else {
            netTrace("\r\nlogin fail.");
        }
        break;
    case devCmdLabelReport: {
        if (length < 7)
            break;
        const int n = p[5] >> 5;
        if (length < 7 + size_t(n) || p[0] > 33 || p[5] == 0x0E)
            break;
        store_.report(netGet32(p + 1), p[0], p[5], int8_t(p[length - 1]), p + 6, n);
        break;
    }
    case devCmdHeartBeatAck:
        if (length >= 1) {
            size_t copy = p[0];
            if (copy > size_t(substationCount))
                copy = substationCount;
            if (copy > length - 1)
                copy = length - 1;
            for (size_t i = 0; i < copy; ++i)
                substations_.setState(int(i), p[1 + i]);
        }
        netTrace("\r\nrcv heart beat ack.");
        break;
    case devCmdLabelAlarmAck:
        netTrace("\r\nrcv lable ser ack.");
        break;
    case devCmdLabelAlarmRej:
        netTrace("\r\nrcv lable ser rej.");
        break;
    case devCmdSmsAck:
        netTrace("\r\nrcv SMS ACK.");
        break;
    case devCmdSmsRej:
        netTrace("\r\nrcv SMS REJ.");
        break;
    default:
        break;
    }
}

void LegacyLink::netClientTick()
{
    enum { none, login, heartBeat } action = none;
    {
        std::lock_guard<std::mutex> lock(lock_);
        if (linkUp_.load()) {
            const int silence = silenceCount_.load() + 1;
            silenceCount_.store(silence);
            if (silence >= legacySilenceLimit) {
                linkUp_.store(false);
                silenceCount_.store(0);
                retryCountdown_.store(legacyLoginRetry);
            }
        }
        const int left = retryCountdown_.load();
        if (left != 0) {
            retryCountdown_.store(left - 1);
            if (left - 1 == 0) {
                if (linkUp_.load()) {
                    retryCountdown_.store(legacyHeartBeatPeriod);
                    action = heartBeat;
                } else {
                    retryCountdown_.store(legacyLoginRetry);
                    action = login;
                }
            }
        }
    }
    if (action == login)
        sendLogin();
    else if (action == heartBeat)
        sendHeartBeat();
}
