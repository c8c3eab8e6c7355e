#include "tools/readersim/serialPrint.h"

#include <cstdarg>
#include <cstdio>

#include "serial/configFrame.h"
#include "serial/paramRecords.h"
#include "tools/readersim/lineBuilder.h"
#include "tools/readersim/serialReader.h"

namespace {

// A frame line with the field formats of the serial records.
class SerialLine : public LineBuilder {
public:
    using LineBuilder::LineBuilder;

    // Text up to its zero byte or the end of its field; anything but
    // printable ASCII (and the blank, which would split the item) as \xHH.
    template <size_t N>
    void text(const char* key, const FixedText<N>& t)
    {
        add(" %s=", key);
        for (size_t i = 0; i < N && t.bytes[i] != 0; ++i) {
            const uint8_t c = t.bytes[i];
            if (c > ' ' && c < 0x7F && c != '\\')
                add("%c", c);
            else
                add("\\x%02X", c);
        }
    }

    void ip(const char* key, uint32_t v)
    {
        add(" %s=%u.%u.%u.%u", key, unsigned(v >> 24), unsigned(v >> 16 & 0xFF),
            unsigned(v >> 8 & 0xFF), unsigned(v & 0xFF));
    }

    void platform(uint32_t ip, uint16_t port)
    {
        add(" platform=%u.%u.%u.%u:%u", unsigned(ip >> 24), unsigned(ip >> 16 & 0xFF),
            unsigned(ip >> 8 & 0xFF), unsigned(ip & 0xFF), unsigned(port));
    }
};


struct CommandInfo {
    uint8_t code;
    const char* name;
};

const CommandInfo kCommands[] = {
    {configCmdReadRequest, "configCmdReadRequest"},
    {configCmdParamReply, "configCmdParamReply"},
    {configCmdWriteRequest, "configCmdWriteRequest"},
    {configCmdWriteAck, "configCmdWriteAck"},
    {configCmdRssiRead, "configCmdRssiRead"},
    {configCmdRssiReply, "configCmdRssiReply"},
    {configCmdRssiWrite, "configCmdRssiWrite"},
    {configCmdRssiWriteAck, "configCmdRssiWriteAck"},
};

const char* checkName(ConfigCheck check)
{
    switch (check) {
    case ConfigCheck::ok:
        return "ok";
    case ConfigCheck::tooShort:
        return "short";
    case ConfigCheck::badMagic:
        return "magic";
    case ConfigCheck::badLength:
        return "length";
    case ConfigCheck::badCrc:
        return "crc";
    }
    return "unknown";
}

void addFit(SerialLine& line, size_t length, size_t expected)
{
    if (length < expected)
        line.add(" malformed=short");
    else if (length > expected)
        line.add(" malformed=trailing");
}

void addConnect(SerialLine& line, const ConnectSettings& c)
{
    line.add(" mode=%u", c.mode);
    line.text("user", c.name);
    line.text("password", c.password);
    line.platform(c.platformIp, c.platformPort);
    line.add(" id=%ld", long(c.deviceId));
}

void addNet(SerialLine& line, const IpSettings& s, const char* prefix)
{
    char key[24];
    std::snprintf(key, sizeof key, "%sdhcp", prefix);
    line.add(" %s=%u", key, s.dhcp);
    std::snprintf(key, sizeof key, "%sip", prefix);
    line.ip(key, s.ip);
    std::snprintf(key, sizeof key, "%smask", prefix);
    line.ip(key, s.mask);
    std::snprintf(key, sizeof key, "%sgateway", prefix);
    line.ip(key, s.gateway);
}

void decodeWrite(SerialLine& line, uint8_t model, const uint8_t* p, size_t n)
{
    line.add(" model=%u", model);
    const ParamModelInfo* info = paramModelInfo(model);
    if (!info) {
        line.add(" layout=none");
        return;
    }
    switch (info->layout) {
    case ParamLayout::wired: {
        const WiredParams w = decodeWiredWrite(p, n);
        addConnect(line, w.connect);
        addNet(line, w.net, "");
        line.add(" rs485=%u ant0=%u ant1=%u merge=%u", w.rs485Baud, w.antenna0Baud,
                 w.antenna1Baud, w.antennaMerge);
        break;
    }
    case ParamLayout::wifi: {
        const WifiParams w = decodeWifiWrite(p, n);
        addConnect(line, w.connect);
        addNet(line, w.net, "");
        line.add(" ant=%u ant1=%u merge=%u", w.antennaBaud, w.antenna1Baud, w.antennaMerge);
        line.text("ssid", w.ssid);
        line.text("wifi-password", w.wifiPassword);
        break;
    }
    case ParamLayout::compactWired: {
        const CompactWiredParams w = decodeCompactWiredWrite(p, n);
        addConnect(line, w.connect);
        addNet(line, w.net, "");
        line.add(" reserved=%u", w.reserved);
        break;
    }
    case ParamLayout::domain: {
        const DomainParams w = decodeDomainWrite(p, n);
        line.text("user", w.name);
        line.text("password", w.password);
        line.add(" domain-on=%u", w.domainEnabled);
        line.text("domain", w.domain);
        line.platform(w.platformIp, w.platformPort);
        line.add(" ant=%u reserved=%u", w.antennaBaud, w.reserved);
        break;
    }
    case ParamLayout::dualNetwork: {
        const DualNetworkParams w = decodeDualNetworkWrite(p, n);
        line.add(" network=%u", w.network);
        line.text("ssid", w.ssid);
        line.text("wifi-password", w.wifiPassword);
        addNet(line, w.wired, "");
        addNet(line, w.wifi, "wifi-");
        addConnect(line, w.connect);
        line.add(" ant=%u reserved=%u", w.antennaBaud, w.reserved);
        break;
    }
    }
    addFit(line, n, info->writeSize);
}

void decodeReply(SerialLine& line, const uint8_t* p, size_t n)
{
    FixedText<paramVersionSize> version;
    const std::string_view text = paramVersionText(p, n);
    version.assign(text);
    line.text("version", version);
    if (n <= 16) {
        line.add(" malformed=short");
        return;
    }
    line.add(" model=%u", p[16]);
    addFit(line, n, serialRecordSize(p[16]));
}

}  // namespace

const char* serialCommandName(uint8_t command)
{
    for (const CommandInfo& c : kCommands) {
        if (c.code == command)
            return c.name;
    }
    return nullptr;
}

size_t formatSerialFrame(char* out, size_t cap, bool received, uint8_t model,
                         const uint8_t* frame, size_t total)
{
    if (!out || cap == 0)
        return 0;
    SerialLine line(out, cap);
    line.add("%s", received ? "rx" : "tx");
    ConfigFrame f;
    const ConfigCheck check = configFrameCheck(frame, total, &f);
    if (check != ConfigCheck::ok) {
        line.add(" bad=%s size=%u bytes=", checkName(check), unsigned(total));
        if (frame)
            line.hex(frame, total);
        return line.length();
    }
    const char* name = serialCommandName(f.command);
    line.add(" code=0x%02X name=%s level=%u len=%u payload=", f.command,
             name ? name : "unknown", f.level, unsigned(f.length));
    line.hex(f.payload, f.length);
    switch (f.command) {
    case configCmdReadRequest:
    case configCmdRssiRead:
        addFit(line, f.length, 0);
        break;
    case configCmdRssiReply:
    case configCmdRssiWrite:
        if (f.length > 0)
            line.add(" threshold=%d", int(int8_t(f.payload[0])));
        addFit(line, f.length, 1);
        break;
    case configCmdParamReply:
        decodeReply(line, f.payload, f.length);
        break;
    case configCmdWriteRequest:
        decodeWrite(line, model, f.payload, f.length);
        break;
    default:
        break;
    }
    return line.length();
}

void printSerialFrame(SimLog& log, bool received, uint8_t model, const uint8_t* frame,
                      size_t total)
{
    char text[simLineMax];
    formatSerialFrame(text, sizeof text, received, model, frame, total);
    log.line(text);
}
