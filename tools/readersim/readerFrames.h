// What the reader's personalities have in common: the reader ID and the
// substation states they announce, how they answer calls and short
// messages, the frames they spoil, and the payloads built from these.
#pragma once
#include <cstddef>
#include <cstdint>

#include "tools/readersim/frameFaults.h"
#include "tools/readersim/tagSim.h"

constexpr int simStatesMax = 255;     // substation states in one frame
constexpr size_t simAnswerEcho = 7;  // answers repeat substation, tag ID and two more bytes

struct ReaderBasics {
    uint32_t readerId = 1;  // the four leading bytes of the frames that carry them
    uint8_t states[simStatesMax] = {0};
    int stateCount = 1;
    bool rejectCalls = false;  // answer calls with the dialect's rejection
    bool rejectSms = false;    // answer short messages with the dialect's rejection
    FrameFaults faults;
};

// The substation states: the reader ID (withId), N, then the N states. A
// state count outside 0..simStatesMax announces none.
constexpr size_t simStatesPayloadMax = 5 + simStatesMax;
size_t statesPayload(const ReaderBasics& basics, bool withId, uint8_t* out);

// One tag report: the reader ID (withId), substation, tag ID, status, the
// extra bytes and the RSSI, which faults.shortReports leaves out.
constexpr size_t simReportPayloadMax = 11 + simExtraMax;
size_t reportPayload(const ReaderBasics& basics, const SimTagReport& report, bool withId,
                     uint8_t* out);

// A dialect's codes of calls and short messages and of their answers.
struct AnswerCodes {
    uint8_t call, callAck, callRej;
    uint8_t sms, smsAck, smsRej;
};

// The code that answers a received code, or 0 when it is neither a call
// nor a short message.
uint8_t answerCode(const AnswerCodes& codes, const ReaderBasics& basics, uint8_t received);

// The payload length of an answer to a payload of `length` bytes.
inline size_t answerLength(size_t length)
{
    return length < simAnswerEcho ? length : simAnswerEcho;
}
