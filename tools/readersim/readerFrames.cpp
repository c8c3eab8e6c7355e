#include "tools/readersim/readerFrames.h"

#include <cstring>

#include "console/netPdu.h"

size_t statesPayload(const ReaderBasics& basics, bool withId, uint8_t* out)
{
    size_t n = 0;
    if (withId) {
        netPut32(out, basics.readerId);
        n = 4;
    }
    const int count = basics.stateCount >= 0 && basics.stateCount <= simStatesMax
                          ? basics.stateCount
                          : 0;
    out[n++] = uint8_t(count);
    if (count > 0)
        std::memcpy(out + n, basics.states, size_t(count));
    return n + size_t(count);
}

size_t reportPayload(const ReaderBasics& basics, const SimTagReport& r, bool withId,
                     uint8_t* out)
{
    size_t n = 0;
    if (withId) {
        netPut32(out, basics.readerId);
        n = 4;
    }
    out[n] = r.substation;
    netPut32(out + n + 1, r.tagId);
    out[n + 5] = r.status;
    n += 6;
    if (r.extraCount > 0 && r.extraCount <= simExtraMax) {
        std::memcpy(out + n, r.extra, size_t(r.extraCount));
        n += size_t(r.extraCount);
    }
    if (!basics.faults.shortReports)
        out[n++] = uint8_t(r.rssi);
    return n;
}

uint8_t answerCode(const AnswerCodes& codes, const ReaderBasics& basics, uint8_t received)
{
    if (received == codes.call)
        return basics.rejectCalls ? codes.callRej : codes.callAck;
    if (received == codes.sms)
        return basics.rejectSms ? codes.smsRej : codes.smsAck;
    return 0;
}
