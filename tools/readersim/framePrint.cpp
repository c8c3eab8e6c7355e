#include "tools/readersim/framePrint.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "console/netPdu.h"
#include "tools/readersim/frameFaults.h"

namespace {

// Appends to a fixed buffer and stops cleanly at its end.
class LineBuilder {
public:
    LineBuilder(char* out, size_t cap) : out_(out), cap_(cap) { out_[0] = '\0'; }

    void add(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
    {
        if (len_ + 1 >= cap_)
            return;
        va_list args;
        va_start(args, format);
        const int n = std::vsnprintf(out_ + len_, cap_ - len_, format, args);
        va_end(args);
        if (n < 0)
            out_[len_] = '\0';
        else
            len_ = size_t(n) < cap_ - len_ ? len_ + size_t(n) : cap_ - 1;
    }

    void hex(const uint8_t* bytes, size_t count)
    {
        static const char kHex[] = "0123456789ABCDEF";
        for (size_t i = 0; i < count && len_ + 2 < cap_; ++i) {
            out_[len_++] = kHex[bytes[i] >> 4];
            out_[len_++] = kHex[bytes[i] & 0xF];
        }
        out_[len_] = '\0';
    }

    size_t length() const { return len_; }

private:
    char* out_;
    size_t cap_;
    size_t len_ = 0;
};

using Decoder = void (*)(LineBuilder& line, const uint8_t* p, size_t length);

void decodeLoginReq(LineBuilder& line, const uint8_t* p, size_t length)
{
    // The device name up to its zero byte; anything but printable ASCII
    // (and the blank, which would split the item) as \xHH.
    line.add(" device=");
    for (size_t i = 0; i < length && p[i] != 0; ++i) {
        if (p[i] > ' ' && p[i] < 0x7F && p[i] != '\\')
            line.add("%c", p[i]);
        else
            line.add("\\x%02X", p[i]);
    }
}

void decodeResult(LineBuilder& line, const uint8_t* p, size_t length)
{
    if (length < 1) {
        line.add(" malformed=short");
        return;
    }
    line.add(" result=%u", p[0]);
}

void decodeAuthReq(LineBuilder& line, const uint8_t*, size_t length)
{
    if (length < 16)
        line.add(" malformed=short");
    else if (length > 16)
        line.add(" malformed=trailing");
}

void decodeLabelReport(LineBuilder& line, const uint8_t* p, size_t length)
{
    if (length < 11) {
        line.add(" malformed=short");
        return;
    }
    const unsigned n = p[9] >> 5;
    line.add(" reader=%lu sub=%u tag=%lu status=0x%02X lowv=%u n=%u extra=",
             static_cast<unsigned long>(netGet32(p)), p[4],
             static_cast<unsigned long>(netGet32(p + 5)), p[9], p[9] & 1u, n);
    if (length < 11 + n) {
        line.hex(p + 10, length - 10);
        line.add(" malformed=short");
        return;
    }
    line.hex(p + 10, n);
    line.add(" rssi=%d", int(int8_t(p[length - 1])));
    if (length > 11 + n)
        line.add(" malformed=trailing");
}

void decodeHeartBeat(LineBuilder& line, const uint8_t* p, size_t length)
{
    if (length < 5) {
        line.add(" malformed=short");
        return;
    }
    const size_t count = p[4];
    const size_t present = count < length - 5 ? count : length - 5;
    line.add(" reader=%lu count=%u states=", static_cast<unsigned long>(netGet32(p)), p[4]);
    for (size_t i = 0; i < present; ++i)
        line.add(i == 0 ? "%u" : ",%u", p[5 + i]);
    if (length - 5 < count)
        line.add(" malformed=short");
    else if (length - 5 > count)
        line.add(" malformed=trailing");
}

void decodeLabelAlarm(LineBuilder& line, const uint8_t* p, size_t length)
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

void decodeSms(LineBuilder& line, const uint8_t* p, size_t length)
{
    if (length < 14) {
        line.add(" malformed=short");
        return;
    }
    const size_t n = p[13];
    const size_t present = n < length - 14 ? n : length - 14;
    line.add(" sub=%u tag=%lu msg=%u year=%u date=%04u-%02u-%02u time=%02u:%02u:%02u textlen=%u "
             "text=",
             p[0], static_cast<unsigned long>(netGet32(p + 1)), unsigned(netGet16(p + 5)), p[7],
             2020u + p[7], p[8], p[9], p[10], p[11], p[12], p[13]);
    line.hex(p + 14, present);
    if (length - 14 < n)
        line.add(" malformed=short");
    else if (length - 14 > n)
        line.add(" malformed=trailing");
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
    {netCodeLabelReport, "netCodeLabelReport", decodeLabelReport},
    {netCodeHeartBeatReq, "netCodeHeartBeatReq", decodeHeartBeat},
    {netCodeHeartBeatAck, "netCodeHeartBeatAck", nullptr},
    {netCodeLabelAlarm, "netCodeLabelAlarm", decodeLabelAlarm},
    {netCodeLabelAlarmAck, "netCodeLabelAlarmAck", nullptr},
    {netCodeLabelAlarmRej, "netCodeLabelAlarmRej", nullptr},
    {netCodeSms, "netCodeSms", decodeSms},
    {netCodeSmsAck, "netCodeSmsAck", nullptr},
    {netCodeSmsRej, "netCodeSmsRej", nullptr},
};

struct DialectTable {
    const CodeInfo* codes;
    size_t count;
};

DialectTable tableOf(FrameDialect dialect)
{
    switch (dialect) {
    case FrameDialect::listen:
        break;
    }
    return {kListenCodes, sizeof kListenCodes / sizeof kListenCodes[0]};
}

const CodeInfo* findCode(FrameDialect dialect, uint8_t code)
{
    const DialectTable t = tableOf(dialect);
    for (size_t i = 0; i < t.count; ++i)
        if (t.codes[i].code == code)
            return &t.codes[i];
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
        info->decode(line, payload, length);
    return line.length();
}

void printFrame(SimLog& log, FrameDialect dialect, bool received, const NetAddr& peer,
                const uint8_t* datagram, size_t size)
{
    char text[simLineMax];
    formatFrame(text, sizeof text, dialect, received, peer, datagram, size);
    log.line(text);
}
