#include "tools/readersim/listenReader.h"

#include <cstring>

#include "common/md5.h"
#include "tools/readersim/framePrint.h"

namespace {

constexpr size_t kChallengeSize = 256;
constexpr size_t kPasswordField = 32;

const AnswerCodes kAnswers = {netCodeLabelAlarm, netCodeLabelAlarmAck, netCodeLabelAlarmRej,
                              netCodeSms,        netCodeSmsAck,        netCodeSmsRej};

}  // namespace

ListenReader::ListenReader(const ListenReaderConfig& config, TagSim& tags, FrameSender& sender,
                           SimLog& log)
    : config_(config), tags_(tags), sender_(sender), log_(log)
{
    // Terminate the text fields whatever the caller left in them.
    config_.deviceName[simNameMax] = '\0';
    config_.password[simPasswordMax] = '\0';
}

void ListenReader::answerChallenge(const uint8_t challenge[256], const char* password,
                                   uint8_t digest[16])
{
    uint8_t message[kChallengeSize + kPasswordField] = {};
    std::memcpy(message, challenge, kChallengeSize);
    size_t n = 0;
    while (n < simPasswordMax && password[n] != '\0')
        ++n;
    std::memcpy(message + kChallengeSize, password, n);
    Md5::digest(message, sizeof message, digest);
}

const char* ListenReader::stateName(State state)
{
    switch (state) {
    case State::idle:
        return "idle";
    case State::loggingIn:
        return "logging-in";
    case State::authDelay:
        return "auth-delay";
    case State::authenticating:
        return "authenticating";
    case State::linked:
        return "linked";
    }
    return "unknown";
}

void ListenReader::start() { sendLogin("start"); }

void ListenReader::send(unsigned kind, uint8_t code, const uint8_t* payload, size_t length)
{
    sendSimFrame(sender_, config_.server, netVersionListen, code, payload, length,
                 config_.faults.forKind(kind));
}

void ListenReader::sendLogin(const char* reason)
{
    state_ = State::loggingIn;
    retryCountdown_ = config_.loginRetryTicks;
    ++logins_;
    simStatus(log_, "login-sent attempt=%d reason=%s", logins_, reason);
    // The name and its terminating zero byte.
    send(kindLogin, netCodeLoginReq, reinterpret_cast<const uint8_t*>(config_.deviceName),
         std::strlen(config_.deviceName) + 1);
}

void ListenReader::sendAuth()
{
    state_ = State::authenticating;
    retryCountdown_ = config_.loginRetryTicks;
    simStatus(log_, "auth-sent");
    send(kindAuth, netCodeAuthReq, digest_, sizeof digest_);
}

void ListenReader::sendHeartbeat()
{
    uint8_t payload[simStatesPayloadMax];
    const size_t length = statesPayload(config_, true, payload);
    heartbeatPending_ = true;
    send(kindHeartbeat, netCodeHeartBeatReq, payload, length);
}

void ListenReader::sendReport()
{
    uint8_t payload[simReportPayloadMax];
    const size_t length = reportPayload(config_, tags_.next(), true, payload);
    send(kindReport, netCodeLabelReport, payload, length);
}

void ListenReader::onDatagram(const uint8_t* datagram, size_t size, const NetAddr& from)
{
    printFrame(log_, FrameDialect::listen, true, from, datagram, size);
    if (simFrameFault(datagram, size))
        return;
    const uint8_t code = datagram[5];
    const uint8_t* payload = datagram + netHeaderSize;
    const size_t length = size - netHeaderSize;
    switch (code) {
    case netCodeLoginAck:
        onLoginAck(payload, length);
        break;
    case netCodeAuthAck:
        onAuthAck(payload, length);
        break;
    case netCodeHeartBeatAck:
        if (state_ == State::linked) {
            heartbeatPending_ = false;
            misses_ = 0;
        }
        break;
    default:
        // Calls and short messages are answered whatever the state; the
        // rest is printed above and needs nothing else.
        if (const uint8_t answer = answerCode(kAnswers, config_, code))
            send(kindAnswer, answer, payload, answerLength(length));
        break;
    }
}

void ListenReader::onLoginAck(const uint8_t* payload, size_t length)
{
    if (state_ != State::loggingIn && state_ != State::authDelay &&
        state_ != State::authenticating)
        return;  // not waiting for one
    if (length < 1 || (payload[0] == 0 && length != 1 + kChallengeSize)) {
        simStatus(log_, "login-ack-malformed len=%u", unsigned(length));
        return;
    }
    if (payload[0] != 0) {
        simStatus(log_, "login-rejected result=%u", payload[0]);
        state_ = State::loggingIn;
        retryCountdown_ = config_.loginRetryTicks;
        return;
    }
    // A newer challenge replaces an older one, as on the platform's side.
    answerChallenge(payload + 1, config_.password, digest_);
    simStatus(log_, "login-accepted");
    if (config_.authDelayTicks > 0) {
        state_ = State::authDelay;
        authCountdown_ = config_.authDelayTicks;
        return;
    }
    sendAuth();
}

void ListenReader::onAuthAck(const uint8_t* payload, size_t length)
{
    if (state_ != State::authenticating)
        return;
    if (length < 1) {
        simStatus(log_, "auth-ack-malformed len=0");
        return;
    }
    if (payload[0] != 0) {
        simStatus(log_, "auth-rejected result=%u", payload[0]);
        state_ = State::loggingIn;
        retryCountdown_ = config_.loginRetryTicks;
        return;
    }
    state_ = State::linked;
    misses_ = 0;
    heartbeatPending_ = false;
    simStatus(log_, "auth-ok");
    if (config_.heartbeatTicks > 0) {
        heartbeatCountdown_ = config_.heartbeatTicks;
        sendHeartbeat();
    }
}

void ListenReader::tick()
{
    switch (state_) {
    case State::idle:
        return;
    case State::loggingIn:
    case State::authenticating:
        if (retryCountdown_ > 0 && --retryCountdown_ == 0)
            sendLogin("retry");
        return;
    case State::authDelay:
        if (--authCountdown_ <= 0)
            sendAuth();
        return;
    case State::linked:
        break;
    }
    if (config_.heartbeatTicks > 0 && --heartbeatCountdown_ <= 0) {
        heartbeatCountdown_ = config_.heartbeatTicks;
        if (heartbeatPending_) {
            ++misses_;
            if (config_.reloginMisses > 0 && misses_ >= config_.reloginMisses) {
                simStatus(log_, "link-lost misses=%d", misses_);
                sendLogin("relogin");
                return;
            }
        }
        sendHeartbeat();
    }
    const int reports = tags_.reportsPerTick();
    for (int i = 0; i < reports; ++i)
        sendReport();
}
