// The software reader in the listening dialect: it logs in to a platform
// (the listening console), answers the challenge, keeps the link with
// heartbeats, reports its simulated tags and answers calls and short
// messages. A state machine driven by received datagrams and ticks.
//
//   idle --start--> loggingIn --accepting login ack--> authDelay (auth held
//   back for authDelayTicks) --> authenticating --accepting auth ack-->
//   linked --relogin: heartbeats unanswered--> loggingIn
//
// While logging in or authenticating, a login goes out again when no
// answer came for loginRetryTicks (also after a rejection). While linked a
// heartbeat goes out at once and then every heartbeatTicks; when a
// heartbeat falls due and the previous one is still unanswered, that is a
// miss, and reloginMisses misses in a row start a new login.
#pragma once
#include <cstddef>
#include <cstdint>

#include "console/netAddr.h"
#include "console/netPdu.h"
#include "tools/readersim/readerFrames.h"
#include "tools/readersim/readerPersonality.h"
#include "tools/readersim/simLog.h"
#include "tools/readersim/tagSim.h"

constexpr size_t simNameMax = 64;      // device name bytes in the login request
constexpr size_t simPasswordMax = 31;  // password bytes (the answer pads them to 32)

// The reader ID goes in the four leading bytes of heartbeats and tag
// reports, the states in every heartbeat.
struct ListenReaderConfig : ReaderBasics {
    NetAddr server{0x7F000001, 8800};
    char deviceName[simNameMax + 1] = "dev001";
    char password[simPasswordMax + 1] = "314159";
    int heartbeatTicks = 10;  // 0 = send no heartbeats
    int loginRetryTicks = 5;
    int reloginMisses = 3;  // 0 = never log in again
    int authDelayTicks = 0;
};

class ListenReader : public ReaderPersonality {
public:
    enum class State { idle, loggingIn, authDelay, authenticating, linked };

    ListenReader(const ListenReaderConfig& config, TagSim& tags, FrameSender& sender,
                 SimLog& log);

    void start() override;
    void onDatagram(const uint8_t* datagram, size_t size, const NetAddr& from) override;
    void tick() override;

    State state() const { return state_; }
    static const char* stateName(State state);
    int loginsSent() const { return logins_; }
    int heartbeatMisses() const { return misses_; }
    // The 16-byte answer to a challenge: MD5 over the 256 challenge bytes
    // and the password zero-padded to 32 bytes.
    static void answerChallenge(const uint8_t challenge[256], const char* password,
                                uint8_t digest[16]);

private:
    void sendLogin(const char* reason);
    void sendAuth();
    void sendHeartbeat();
    void sendReport();
    void send(unsigned kind, uint8_t code, const uint8_t* payload, size_t length);
    void onLoginAck(const uint8_t* payload, size_t length);
    void onAuthAck(const uint8_t* payload, size_t length);

    ListenReaderConfig config_;
    TagSim& tags_;
    FrameSender& sender_;
    SimLog& log_;

    State state_ = State::idle;
    int logins_ = 0;
    int retryCountdown_ = 0;      // ticks until the login goes out again
    int authCountdown_ = 0;       // ticks until a held-back auth goes out
    int heartbeatCountdown_ = 0;  // ticks until the next heartbeat
    bool heartbeatPending_ = false;  // the last heartbeat has had no ack yet
    int misses_ = 0;
    uint8_t digest_[16] = {};
};
