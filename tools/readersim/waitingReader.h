// The software reader that waits on UDP for a console to log in: the part
// that the direct and the legacy personalities share. A state machine
// driven by received datagrams and ticks, like the listening reader.
//
//   waiting --login that passes the checks--> linked
//
// A login passes when its payload has the dialect's layout, carries the
// expected user name and password (each a 16-byte field, zero-padded) and
// the reader is not told to refuse; the login ack goes back to the address
// the login came from. A refused login leaves the state as it was; a login
// accepted again while linked moves the link to its sender.
//
// While linked the reader reports its tags every tick to that address and,
// in a dialect with link requests, sends one every linkRequestTicks (the
// first linkRequestTicks after the accepting login ack). A link request
// that falls due while the previous one has had no link ack is a miss; the
// reader counts and prints it and goes on. Heartbeats are answered with the
// substation states in a dialect that answers them. Calls and short
// messages are answered whatever the state. Every frame carries the
// configured version byte.
#pragma once
#include <cstddef>
#include <cstdint>

#include "console/netAddr.h"
#include "tools/readersim/framePrint.h"
#include "tools/readersim/readerFrames.h"
#include "tools/readersim/readerPersonality.h"
#include "tools/readersim/simLog.h"
#include "tools/readersim/tagSim.h"

constexpr size_t simIdentityMax = 16;  // bytes of the user-name and password fields

struct WaitingReaderConfig : ReaderBasics {
    char user[simIdentityMax + 1] = "admin";
    char password[simIdentityMax + 1] = "314159";
    uint8_t version = 4;       // the version byte of every frame the reader sends
    bool refuseLogin = false;  // refuse every login
    bool silent = false;       // never answer and never send; frames are still printed
    // Answer heartbeats and send link requests only for this many ticks
    // after the first accepted login; -1 = without end. Reports go on.
    int keepAliveTicks = -1;
    // Report also after a refused login, to the address of the last login.
    bool reportWhenRefused = false;
};

// How a dialect differs, as the personalities fill it in.
struct WaitDialect {
    FrameDialect printAs;
    size_t loginLength;      // payload bytes of a login
    int loginEnd;            // the fixed byte after the two fields, or -1 for none
    size_t resultBytes;      // width of the login ack's result: 1, or 2 (big-endian)
    uint16_t acceptResult;   // result for a login that passes; not 0 refuses it after all
    bool reportId;           // tag reports start with the four-byte reader ID
    bool answersHeartbeats;  // heartbeats 0x04 get 0x05 with the states
    int linkRequestTicks;    // period of the link requests 0x0F; 0 = none
};

class WaitingReader : public ReaderPersonality {
public:
    enum class State { waiting, linked };
    // Why a login was refused.
    enum class Refusal { none, forced, layout, identity, result };

    void start() override {}  // nothing goes out before a console speaks
    void onDatagram(const uint8_t* datagram, size_t size, const NetAddr& from) override;
    void tick() override;

    State state() const { return state_; }
    static const char* stateName(State state);
    static const char* refusalName(Refusal refusal);
    // Where tag reports go; port 0 while no console is known.
    NetAddr console() const { return console_; }
    int loginsReceived() const { return logins_; }
    int loginsAccepted() const { return accepted_; }
    int linkAckMisses() const { return misses_; }
    bool keepAliveStopped() const { return keepAliveStopped_; }
    // The last status line: "# stop reason=REASON state=STATE logins=N accepted=M".
    void printStop(const char* reason);

protected:
    WaitingReader(const WaitingReaderConfig& config, const WaitDialect& dialect, TagSim& tags,
                  FrameSender& sender, SimLog& log);

private:
    Refusal checkLogin(const uint8_t* payload, size_t length) const;
    void onLogin(const uint8_t* payload, size_t length, const NetAddr& from);
    void stopKeepAlive();
    void send(unsigned kind, const NetAddr& to, uint8_t code, const uint8_t* payload,
              size_t length);

    WaitingReaderConfig config_;
    const WaitDialect dialect_;
    TagSim& tags_;
    FrameSender& sender_;
    SimLog& log_;

    State state_ = State::waiting;
    NetAddr console_{};
    bool reporting_ = false;  // console_ takes tag reports
    int logins_ = 0;
    int accepted_ = 0;
    int linkCountdown_ = 0;       // ticks until the next link request
    bool linkPending_ = false;    // the last link request has had no ack yet
    int misses_ = 0;
    int keepAliveLeft_ = -1;      // ticks of keep-alive left; -1 = not counting
    bool keepAliveStopped_ = false;
};
