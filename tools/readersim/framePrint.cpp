#include "tools/readersim/framePrint.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "console/directCodes.h"
#include "console/netPdu.h"
#include "tools/readersim/frameFaults.h"
#include "tools/readersim/lineBuilder.h"

namespace {

// A decoder adds the items of one code; version is the frame's version
// byte, which picks the layout where a dialect has two.
using Decoder = void (*)(LineBuilder& line, const uint8_t* p, size_t length, uint8_t version);

// Text up to its zero byte or the end of its field; anything but printable
// ASCII (and the blank, which would split the item) as \xHH.
void addText(LineBuilder& line, const char* key, const uint8_t* p, size_t field)
{
    line.add(" %s=", key);
    for (size_t i = 0; i < field && p[i] != 0; ++i) {
        if (p[i] > ' ' && p[i] < 0x7F && p[i] != '\\')
            line.add("%c", p[i]);
        else
            line.add("\\x%02X", p[i]);
    }
}

// Ends a fixed-size layout: short or trailing against `expected`.
void addFit(LineBuilder& line, size_t length, size_t expected)
{
    if (length < expected)
        line.add(" malformed=short");
    else if (length > expected)
        line.add(" malformed=trailing");
}

void decodeLoginReq(LineBuilder& line, const uint8_t* p, size_t length, uint8_t)
{
    addText(line, "device", p, length);
}

void decodeResult(LineBuilder& line, const uint8_t* p, size_t length, uint8_t)
{
    if (length < 1) {
        line.add(" malformed=short");
        return;
    }
    line.add(" result=%u", p[0]);
}

void decodeResult16(LineBuilder& line, const uint8_t* p, size_t length, uint8_t)
{
    if (length < 2) {
        line.add(" malformed=short");
        return;
    }
    line.add(" result=%u", unsigned(netGet16(p)));
}

void decodeAuthReq(LineBuilder& line, const uint8_t*, size_t length, uint8_t)
{
    addFit(line, length, 16);
}

void decodeEmpty(LineBuilder& line, const uint8_t*, size_t length, uint8_t)
{
    addFit(line, length, 0);
}

// The two 16-byte identity fields of a login to the reader, and in the
// direct dialect the fixed byte after them.
void decodeIdentity(LineBuilder& line, const uint8_t* p, size_t length, bool withEnd)
{
    const size_t layout = withEnd ? 33 : 32;
    if (length < layout) {
        line.add(" malformed=short");
        return;
    }
    addText(line, "user", p, 16);
    addText(line, "password", p + 16, 16);
    if (withEnd)
        line.add(" end=0x%02X", p[32]);
    addFit(line, length, layout);
}

void decodeDirectLogin(LineBuilder& line, const uint8_t* p, size_t length, uint8_t)
{
    decodeIdentity(line, p, length, true);
}

void decodeLegacyLogin(LineBuilder& line, const uint8_t* p, size_t length, uint8_t)
{
    decodeIdentity(line, p, length, false);
}

// A tag report, with (withId) or without the four leading bytes.
void decodeReport(LineBuilder& line, const uint8_t* p, size_t length, bool withId)
{
    const size_t base = withId ? 4 : 0;
    if (length < base + 7) {
        line.add(" malformed=short");
        return;
    }
    if (withId)
        line.add(" reader=%lu", static_cast<unsigned long>(netGet32(p)));
    const uint8_t* t = p + base;
    const unsigned n = t[5] >> 5;
    line.add(" sub=%u tag=%lu status=0x%02X lowv=%u n=%u extra=", t[0],
             static_cast<unsigned long>(netGet32(t + 1)), t[5], t[5] & 1u, n);
    if (length < base + 7 + n) {
        line.hex(t + 6, length - base - 6);
        line.add(" malformed=short");
        return;
    }
    line.hex(t + 6, n);
    line.add(" rssi=%d", int(int8_t(p[length - 1])));
    if (length > base + 7 + n)
        line.add(" malformed=trailing");
}

void decodeListenReport(LineBuilder& line, const uint8_t* p, size_t length, uint8_t)
{
    decodeReport(line, p, length, true);
}

// The direct dialect's report layout follows the version: the reader
// writes its protocol version into every frame.
void decodeDirectReport(LineBuilder& line, const uint8_t* p, size_t length, uint8_t version)
{
    decodeReport(line, p, length, version >= 4);
}

void decodeLegacyReport(LineBuilder& line, const uint8_t* p, size_t length, uint8_t)
{
    decodeReport(line, p, length, false);
}

// Substation states, with (withId) or without the four leading bytes.
void decodeStates(LineBuilder& line, const uint8_t* p, size_t length, bool withId)
{
    const size_t base = withId ? 4 : 0;
    if (length < base + 1) {
        line.add(" malformed=short");
        return;
    }
    const size_t count = p[base];
    const size_t rest = length - base - 1;
    const size_t present = count < rest ? count : rest;
    if (withId)
        line.add(" reader=%lu", static_cast<unsigned long>(netGet32(p)));
    line.add(" count=%u states=", p[base]);
    for (size_t i = 0; i < present; ++i)
        line.add(i == 0 ? "%u" : ",%u", p[base + 1 + i]);
    addFit(line, rest, count);
}

void decodeStatesWithId(LineBuilder& line, const uint8_t* p, size_t length, uint8_t)
{
    decodeStates(line, p, length, true);
}

void decodeStatesOnly(LineBuilder& line, const uint8_t* p, size_t length, uint8_t)
{
    decodeStates(line, p, length, false);
}

void decodeLabelAlarm(LineBuilder& line, const uint8_t* p, size_t length, uint8_t)
{
    if (length < 7) {
        line.add(" malformed=short");
        return;
    }
    // Bit 0 of the lamp mode is the buzzer; the rest picks the lamps.
    static const char* const kSignals[] = {"green",     "green+buzzer",    "red",
                                           "red+buzzer", "green+red", "green+red+buzzer"};
    const char* signal = "unknown";
    if (p[5] == 1 && p[6] == 0xFF)
        signal = "stop";
    else if (p[5] == 5 && p[6] < 6)
        signal = kSignals[p[6]];
    line.add(" sub=%u tag=%lu action=%u lamp=%u signal=%s", p[0],
             static_cast<unsigned long>(netGet32(p + 1)), p[5], p[6], signal);
    if (length > 7)
        line.add(" malformed=trailing");
}

// The short message's head and its text; returns the text bytes present,
// or -1 when the head itself is cut.
long decodeSmsHead(LineBuilder& line, const uint8_t* p, size_t length, size_t textField)
{
    if (length < 14) {
        line.add(" malformed=short");
        return -1;
    }
    const size_t n = p[13];
    size_t present = length - 14;
    if (present > textField)
        present = textField;
    if (present > n)
        present = n;
    line.add(" sub=%u tag=%lu msg=%u year=%u date=%04u-%02u-%02u time=%02u:%02u:%02u textlen=%u "
             "text=",
             p[0], static_cast<unsigned long>(netGet32(p + 1)), unsigned(netGet16(p + 5)), p[7],
             2020u + p[7], p[8], p[9], p[10], p[11], p[12], p[13]);
    line.hex(p + 14, present);
    return long(present);
}

void decodeSms(LineBuilder& line, const uint8_t* p, size_t length, uint8_t)
{
    if (decodeSmsHead(line, p, length, length) >= 0)
        addFit(line, length - 14, p[13]);
}

constexpr size_t kPaddedSmsPayload = 124;
constexpr size_t kPaddedSmsText = kPaddedSmsPayload - 14;

// The legacy short message: the text in a field of 110 bytes, zero bytes
// after it, 124 payload bytes in all.
void decodePaddedSms(LineBuilder& line, const uint8_t* p, size_t length, uint8_t)
{
    const long present = decodeSmsHead(line, p, length, kPaddedSmsText);
    if (present < 0)
        return;
    if (p[13] > kPaddedSmsText) {
        line.add(" malformed=textlen");
        return;
    }
    if (length != kPaddedSmsPayload) {
        addFit(line, length, kPaddedSmsPayload);
        return;
    }
    for (size_t i = 14 + size_t(present); i < length; ++i) {
        if (p[i] != 0) {
            line.add(" malformed=padding");
            return;
        }
    }
}

struct CodeInfo {
    uint8_t code;
    const char* name;
    Decoder decode;  // nullptr: no fields beyond the payload
};

const CodeInfo kListenCodes[] = {
    {netCodeLoginReq, "netCodeLoginReq", decodeLoginReq},
    {netCodeLoginAck, "netCodeLoginAck", decodeResult},
    {netCodeAuthReq, "netCodeAuthReq", decodeAuthReq},
    {netCodeAuthAck, "netCodeAuthAck", decodeResult},
    {netCodeLabelReport, "netCodeLabelReport", decodeListenReport},
    {netCodeHeartBeatReq, "netCodeHeartBeatReq", decodeStatesWithId},
    {netCodeHeartBeatAck, "netCodeHeartBeatAck", nullptr},
    {netCodeLabelAlarm, "netCodeLabelAlarm", decodeLabelAlarm},
    {netCodeLabelAlarmAck, "netCodeLabelAlarmAck", nullptr},
    {netCodeLabelAlarmRej, "netCodeLabelAlarmRej", nullptr},
    {netCodeSms, "netCodeSms", decodeSms},
    {netCodeSmsAck, "netCodeSmsAck", nullptr},
    {netCodeSmsRej, "netCodeSmsRej", nullptr},
};

const CodeInfo kDirectCodes[] = {
    {devCmdLogin, "devCmdLogin", decodeDirectLogin},
    {devCmdLoginAck, "devCmdLoginAck", decodeResult},
    {devCmdLabelReport, "devCmdLabelReport", decodeDirectReport},
    {devCmdHeartBeat, "devCmdHeartBeat", decodeEmpty},
    {devCmdHeartBeatAck, "devCmdHeartBeatAck", decodeStatesOnly},
    {devCmdLabelAlarm, "devCmdLabelAlarm", decodeLabelAlarm},
    {devCmdLabelAlarmAck, "devCmdLabelAlarmAck", nullptr},
    {devCmdLabelAlarmRej, "devCmdLabelAlarmRej", nullptr},
    {devCmdSms, "devCmdSms", decodeSms},
    {devCmdSmsAck, "devCmdSmsAck", nullptr},
    {devCmdSmsRej, "devCmdSmsRej", nullptr},
    {devCmdLinkReq, "devCmdLinkReq", decodeStatesWithId},
    {devCmdLinkAck, "devCmdLinkAck", decodeEmpty},
};

// The older variant has no link request and no link ack.
const CodeInfo kLegacyCodes[] = {
    {devCmdLogin, "devCmdLogin", decodeLegacyLogin},
    {devCmdLoginAck, "devCmdLoginAck", decodeResult16},
    {devCmdLabelReport, "devCmdLabelReport", decodeLegacyReport},
    {devCmdHeartBeat, "devCmdHeartBeat", decodeEmpty},
    {devCmdHeartBeatAck, "devCmdHeartBeatAck", decodeStatesOnly},
    {devCmdLabelAlarm, "devCmdLabelAlarm", decodeLabelAlarm},
    {devCmdLabelAlarmAck, "devCmdLabelAlarmAck", nullptr},
    {devCmdLabelAlarmRej, "devCmdLabelAlarmRej", nullptr},
    {devCmdSms, "devCmdSms", decodePaddedSms},
    {devCmdSmsAck, "devCmdSmsAck", nullptr},
    {devCmdSmsRej, "devCmdSmsRej", nullptr},
};

struct DialectTable {
    FrameDialect dialect;
    const CodeInfo* codes;
    size_t count;
};

template <size_t N>
constexpr DialectTable tableEntry(FrameDialect dialect, const CodeInfo (&codes)[N])
{
    return {dialect, codes, N};
}

const DialectTable kDialects[] = {
    tableEntry(FrameDialect::listen, kListenCodes),
    tableEntry(FrameDialect::direct, kDirectCodes),
    tableEntry(FrameDialect::legacy, kLegacyCodes),
};

const CodeInfo* findCode(FrameDialect dialect, uint8_t code)
{
    for (const DialectTable& t : kDialects) {
        if (t.dialect != dialect)
            continue;
        for (size_t i = 0; i < t.count; ++i)
            if (t.codes[i].code == code)
                return &t.codes[i];
    }
    return nullptr;
}

}  // namespace

void formatNetAddr(char* out, size_t cap, const NetAddr& addr)
{
    std::snprintf(out, cap, "%u.%u.%u.%u:%u", unsigned(addr.ip >> 24),
                  unsigned(addr.ip >> 16 & 0xFF), unsigned(addr.ip >> 8 & 0xFF),
                  unsigned(addr.ip & 0xFF), unsigned(addr.port));
}

const char* frameCodeName(FrameDialect dialect, uint8_t code)
{
    const CodeInfo* info = findCode(dialect, code);
    return info ? info->name : nullptr;
}

size_t formatFrame(char* out, size_t cap, FrameDialect dialect, bool received,
                   const NetAddr& peer, const uint8_t* datagram, size_t size)
{
    if (cap == 0)
        return 0;
    LineBuilder line(out, cap);
    char addr[24];
    formatNetAddr(addr, sizeof addr, peer);
    line.add("%s %s=%s", received ? "rx" : "tx", received ? "from" : "to", addr);
    if (const char* fault = simFrameFault(datagram, size)) {
        line.add(" bad=%s size=%u bytes=", fault, unsigned(size));
        line.hex(datagram, size);
        return line.length();
    }
    const uint8_t code = datagram[5];
    const size_t length = size - netHeaderSize;
    const uint8_t* payload = datagram + netHeaderSize;
    const CodeInfo* info = findCode(dialect, code);
    line.add(" ver=%u code=0x%02X name=%s len=%u payload=", datagram[4], code,
             info ? info->name : "unknown", unsigned(length));
    line.hex(payload, length);
    if (info && info->decode)
        info->decode(line, payload, length, datagram[4]);
    return line.length();
}

void printFrame(SimLog& log, FrameDialect dialect, bool received, const NetAddr& peer,
                const uint8_t* datagram, size_t size)
{
    char text[simLineMax];
    formatFrame(text, sizeof text, dialect, received, peer, datagram, size);
    log.line(text);
}
