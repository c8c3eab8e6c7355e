#include "tools/readersim/waitingReader.h"

#include <cstring>

#include "console/directCodes.h"
#include "console/netPdu.h"

namespace {

constexpr uint16_t kRefusedResult = 1;

const AnswerCodes kAnswers = {devCmdLabelAlarm, devCmdLabelAlarmAck, devCmdLabelAlarmRej,
                              devCmdSms,        devCmdSmsAck,        devCmdSmsRej};

// A 16-byte field holds exactly the text followed by zero bytes.
bool fieldHolds(const uint8_t* field, const char* text)
{
    uint8_t expected[simIdentityMax] = {};
    std::memcpy(expected, text, std::strlen(text));
    return std::memcmp(field, expected, simIdentityMax) == 0;
}

}  // namespace

WaitingReader::WaitingReader(const WaitingReaderConfig& config, const WaitDialect& dialect,
                             TagSim& tags, FrameSender& sender, SimLog& log)
    : config_(config), dialect_(dialect), tags_(tags), sender_(sender), log_(log)
{
    // Terminate the text fields whatever the caller left in them.
    config_.user[simIdentityMax] = '\0';
    config_.password[simIdentityMax] = '\0';
}

const char* WaitingReader::stateName(State state)
{
    return state == State::linked ? "linked" : "waiting";
}

const char* WaitingReader::refusalName(Refusal refusal)
{
    static const char* const kNames[] = {"none", "forced", "layout", "identity", "result"};
    return kNames[int(refusal)];
}

void WaitingReader::printStop(const char* reason)
{
    simStatus(log_, "stop reason=%s state=%s logins=%d accepted=%d", reason, stateName(state_),
              logins_, accepted_);
}

void WaitingReader::send(unsigned kind, const NetAddr& to, uint8_t code, const uint8_t* payload,
                         size_t length)
{
    sendSimFrame(sender_, to, config_.version, code, payload, length,
                 config_.faults.forKind(kind));
}

WaitingReader::Refusal WaitingReader::checkLogin(const uint8_t* p, size_t length) const
{
    if (config_.refuseLogin)
        return Refusal::forced;
    if (length != dialect_.loginLength || length < 2 * simIdentityMax ||
        (dialect_.loginEnd >= 0 && p[2 * simIdentityMax] != uint8_t(dialect_.loginEnd)))
        return Refusal::layout;
    if (!fieldHolds(p, config_.user) || !fieldHolds(p + simIdentityMax, config_.password))
        return Refusal::identity;
    if (dialect_.acceptResult != 0)
        return Refusal::result;
    return Refusal::none;
}

void WaitingReader::onLogin(const uint8_t* payload, size_t length, const NetAddr& from)
{
    ++logins_;
    const Refusal refusal = checkLogin(payload, length);
    const uint16_t result = refusal == Refusal::none     ? 0
                            : refusal == Refusal::result ? dialect_.acceptResult
                                                         : kRefusedResult;
    uint8_t ack[2];
    if (dialect_.resultBytes >= 2)
        netPut16(ack, result);
    else
        ack[0] = uint8_t(result);
    send(kindLogin, from, devCmdLoginAck, ack, dialect_.resultBytes >= 2 ? 2 : 1);

    char addr[24];
    formatNetAddr(addr, sizeof addr, from);
    if (refusal != Refusal::none) {
        simStatus(log_, "login-refused from=%s reason=%s result=%u", addr, refusalName(refusal),
                  unsigned(result));
        if (state_ != State::linked && config_.reportWhenRefused) {
            console_ = from;
            reporting_ = true;
        }
        return;
    }
    state_ = State::linked;
    console_ = from;
    reporting_ = true;
    ++accepted_;
    linkCountdown_ = dialect_.linkRequestTicks;
    linkPending_ = false;
    misses_ = 0;
    simStatus(log_, "login-accepted from=%s", addr);
    if (accepted_ == 1 && config_.keepAliveTicks >= 0) {
        keepAliveLeft_ = config_.keepAliveTicks;
        if (keepAliveLeft_ == 0)
            stopKeepAlive();
    }
}

void WaitingReader::stopKeepAlive()
{
    keepAliveLeft_ = -1;
    keepAliveStopped_ = true;
    simStatus(log_, "keepalive-stopped");
}

void WaitingReader::onDatagram(const uint8_t* datagram, size_t size, const NetAddr& from)
{
    printFrame(log_, dialect_.printAs, true, from, datagram, size);
    if (config_.silent || simFrameFault(datagram, size))
        return;
    const uint8_t code = datagram[5];
    const uint8_t* payload = datagram + netHeaderSize;
    const size_t length = size - netHeaderSize;
    switch (code) {
    case devCmdLogin:
        onLogin(payload, length, from);
        break;
    case devCmdHeartBeat:
        if (dialect_.answersHeartbeats && !keepAliveStopped_) {
            uint8_t states[simStatesPayloadMax];
            send(kindHeartbeat, from, devCmdHeartBeatAck, states,
                 statesPayload(config_, false, states));
        }
        break;
    case devCmdLinkAck:
        if (dialect_.linkRequestTicks > 0) {
            linkPending_ = false;
            misses_ = 0;
        }
        break;
    default:
        // Calls and short messages are answered whatever the state; the
        // rest is printed above and needs nothing else.
        if (const uint8_t answer = answerCode(kAnswers, config_, code))
            send(kindAnswer, from, answer, payload, answerLength(length));
        break;
    }
}

void WaitingReader::tick()
{
    if (config_.silent)
        return;
    if (keepAliveLeft_ > 0 && --keepAliveLeft_ == 0)
        stopKeepAlive();
    if (state_ == State::linked && dialect_.linkRequestTicks > 0 && !keepAliveStopped_ &&
        --linkCountdown_ <= 0) {
        linkCountdown_ = dialect_.linkRequestTicks;
        if (linkPending_) {
            ++misses_;
            simStatus(log_, "link-ack-missed misses=%d", misses_);
        }
        uint8_t states[simStatesPayloadMax];
        linkPending_ = true;
        send(kindLink, console_, devCmdLinkReq, states, statesPayload(config_, true, states));
    }
    if (!reporting_)
        return;
    const int reports = tags_.reportsPerTick();
    for (int i = 0; i < reports; ++i) {
        uint8_t payload[simReportPayloadMax];
        send(kindReport, console_, devCmdLabelReport, payload,
             reportPayload(config_, tags_.next(), dialect_.reportId, payload));
    }
}
