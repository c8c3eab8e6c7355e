#include "serial/paramRecords.h"

#include <cstdio>

#include "serial/configFrame.h"

namespace {

// Reading fixed offsets of the store (every offset used lies below 512).
struct Reader {
    const uint8_t* p;
    uint8_t u8(size_t at) const { return p[at]; }
    uint16_t u16(size_t at) const { return configGet16(p + at); }
    uint32_t u32(size_t at) const { return configGet32(p + at); }
    int32_t i32(size_t at) const { return int32_t(configGet32(p + at)); }
    template <size_t N>
    FixedText<N> text(size_t at) const
    {
        FixedText<N> t;
        std::memcpy(t.bytes.data(), p + at, N);
        return t;
    }
    MacAddress mac(size_t at) const
    {
        MacAddress m;
        std::memcpy(m.data(), p + at, m.size());
        return m;
    }
    IpSettings ip(size_t dhcpAt, size_t ipAt) const
    {
        IpSettings s;
        s.dhcp = u8(dhcpAt);
        s.ip = u32(ipAt);
        s.mask = u32(ipAt + 4);
        s.gateway = u32(ipAt + 8);
        return s;
    }
};

// Writing a payload that starts zeroed.
struct Writer {
    WritePayload out;
    explicit Writer(size_t length) { out.length = length; }
    void u8(size_t at, uint8_t v) { out.bytes[at] = v; }
    void flag(size_t at, uint8_t v) { out.bytes[at] = v != 0 ? 1 : 0; }
    void u16(size_t at, uint16_t v) { configPut16(&out.bytes[at], v); }
    void u32(size_t at, uint32_t v) { configPut32(&out.bytes[at], v); }
    void i32(size_t at, int32_t v) { configPut32(&out.bytes[at], uint32_t(v)); }
    // The text up to its first zero; the rest of the field stays 0.
    template <size_t N>
    void text(size_t at, const FixedText<N>& t)
    {
        std::memcpy(&out.bytes[at], t.bytes.data(), t.length());
    }
    void text(size_t at, std::string_view t) { std::memcpy(&out.bytes[at], t.data(), t.size()); }
    // DHCP flag at dhcpAt; with DHCP off the three addresses from ipAt on.
    void ip(size_t dhcpAt, size_t ipAt, const IpSettings& s)
    {
        flag(dhcpAt, s.dhcp);
        if (s.dhcp == 0) {
            u32(ipAt, s.ip);
            u32(ipAt + 4, s.mask);
            u32(ipAt + 8, s.gateway);
        }
    }
    // The identity at nameAt and nameAt + 32: the page's in active mode,
    // "admin" and "314159" in wait mode.
    void identity(size_t nameAt, const ConnectSettings& c)
    {
        if (c.mode != connectWait) {
            text(nameAt, c.name);
            text(nameAt + paramTextSize, c.password);
        } else {
            text(nameAt, waitModeName);
            text(nameAt + paramTextSize, waitModePassword);
        }
    }
};

ConnectSettings readConnect(const Reader& r, size_t modeAt, size_t idAt)
{
    // mode, name, password, platform IP and port stand in this order in
    // every layout that has a connect mode.
    ConnectSettings c;
    c.mode = r.u8(modeAt);
    c.name = r.text<paramTextSize>(modeAt + 1);
    c.password = r.text<paramTextSize>(modeAt + 33);
    c.platformIp = r.u32(modeAt + 65);
    c.platformPort = r.u16(modeAt + 69);
    c.deviceId = r.i32(idAt);
    return c;
}

// Payload offsets 0 to 83, shared by the wired write of models 1 and 2 and
// by the WIFI write. The device ID is the caller's (its place differs).
void writeWiredHead(Writer& w, const ConnectSettings& c, const IpSettings& net)
{
    w.flag(0, c.mode);
    w.identity(1, c);
    if (c.mode != connectWait) {
        w.u32(65, c.platformIp);
        w.u16(69, c.platformPort);
    }
    w.ip(71, 72, net);
}

}  // namespace

const ParamModelInfo* paramModelInfo(uint8_t code)
{
    for (const ParamModelInfo& m : paramModels) {
        if (m.code == code)
            return &m;
    }
    return nullptr;
}

void ParamRecordStore::assign(const uint8_t* payload, size_t count)
{
    bytes.fill(0);
    replyLength = count;
    length = payload ? (count < paramStoreSize ? count : paramStoreSize) : 0;
    if (length > 0)
        std::memcpy(bytes.data(), payload, length);
}

FixedText<paramVersionSize> ParamRecordStore::version() const
{
    return Reader{bytes.data()}.text<paramVersionSize>(0);
}

std::string_view paramVersionText(const uint8_t* payload, size_t count)
{
    if (!payload)
        return {};
    const size_t field = count < paramVersionSize ? count : paramVersionSize;
    const void* zero = std::memchr(payload, 0, field);
    const size_t n = zero ? size_t(static_cast<const uint8_t*>(zero) - payload) : field;
    return std::string_view(reinterpret_cast<const char*>(payload), n);
}

WiredParams decodeWired(const ParamRecordStore& record)
{
    const Reader r{record.bytes.data()};
    WiredParams p;
    p.connect = readConnect(r, 17, 106);
    p.net = r.ip(88, 89);
    p.rs485Baud = r.u8(101);
    p.antenna0Baud = r.u8(102);
    p.antenna1Baud = r.u8(103);
    p.antennaMerge = r.u8(105);
    p.mac = r.mac(110);
    return p;
}

WifiParams decodeWifi(const ParamRecordStore& record)
{
    const Reader r{record.bytes.data()};
    WifiParams p;
    p.connect = readConnect(r, 17, 170);
    p.net = r.ip(88, 89);
    p.antennaBaud = r.u8(102);
    p.antenna1Baud = r.u8(103);
    p.antennaMerge = r.u8(105);
    p.ssid = r.text<paramTextSize>(106);
    p.wifiPassword = r.text<paramTextSize>(138);
    p.mac = r.mac(174);
    return p;
}

CompactWiredParams decodeCompactWired(const ParamRecordStore& record)
{
    const Reader r{record.bytes.data()};
    CompactWiredParams p;
    p.connect = readConnect(r, 17, 88);
    p.net = r.ip(92, 93);
    p.reserved = r.u8(105);
    p.mac = r.mac(106);
    return p;
}

DomainParams decodeDomain(const ParamRecordStore& record)
{
    const Reader r{record.bytes.data()};
    DomainParams p;
    p.name = r.text<paramTextSize>(17);
    p.password = r.text<paramTextSize>(49);
    p.domainEnabled = r.u8(81);
    p.domain = r.text<paramDomainSize>(82);
    p.platformIp = r.u32(142);
    p.platformPort = r.u16(146);
    p.antennaBaud = r.u8(148);
    p.reserved = r.u8(149);
    return p;
}

DualNetworkParams decodeDualNetwork(const ParamRecordStore& record)
{
    const Reader r{record.bytes.data()};
    DualNetworkParams p;
    p.network = r.u8(17);
    p.ssid = r.text<paramTextSize>(18);
    p.wifiPassword = r.text<paramTextSize>(50);
    p.wiredMac = r.mac(82);
    p.wired = r.ip(88, 89);
    p.wifiMac = r.mac(101);
    p.wifi = r.ip(107, 108);
    p.connect = readConnect(r, 120, 191);
    p.antennaBaud = r.u8(195);
    p.reserved = r.u8(197);
    return p;
}

WritePayload encodeWiredWrite(uint8_t model, const WiredParams& p)
{
    Writer w(wiredWriteSize);
    const ConnectSettings& c = p.connect;
    switch (model) {
    case modelWired:
    case modelWiredOneAntenna:
        writeWiredHead(w, c, p.net);
        if (model == modelWired) {
            w.u8(84, p.rs485Baud);
            w.u8(85, p.antenna0Baud);
            w.u8(88, p.antennaMerge);
        }
        w.u8(86, p.antenna1Baud);
        if (c.mode == connectWait)
            w.i32(89, c.deviceId);
        break;
    case modelWiredActive:
        w.u8(0, connectActive);
        w.text(1, c.name);
        w.text(33, c.password);
        w.u32(65, c.platformIp);
        w.u16(69, c.platformPort);
        w.u32(72, p.net.ip);
        w.u32(76, p.net.mask);
        w.u32(80, p.net.gateway);
        break;
    default:
        return WritePayload{};
    }
    return w.out;
}

WritePayload encodeCompactWiredWrite(const CompactWiredParams& p)
{
    Writer w(compactWiredWriteSize);
    const ConnectSettings& c = p.connect;
    w.flag(0, c.mode);
    w.identity(1, c);
    if (c.mode != connectWait) {
        w.u32(65, c.platformIp);
        w.u16(69, c.platformPort);
    } else {
        w.i32(65, c.deviceId);
    }
    w.ip(71, 72, p.net);
    w.u8(84, p.reserved);
    return w.out;
}

WritePayload encodeWifiWrite(const WifiParams& p, bool secondAntenna)
{
    Writer w(wifiWriteSize);
    writeWiredHead(w, p.connect, p.net);
    w.u8(85, p.antennaBaud);
    if (secondAntenna) {
        w.u8(86, p.antenna1Baud);
        w.u8(88, p.antennaMerge);
    }
    w.text(89, p.ssid);
    w.text(121, p.wifiPassword);
    if (p.connect.mode == connectWait)
        w.i32(153, p.connect.deviceId);
    return w.out;
}

WritePayload encodeDomainWrite(const DomainParams& p)
{
    Writer w(domainWriteSize);
    w.text(0, p.name);
    w.text(32, p.password);
    w.flag(64, p.domainEnabled);
    if (p.domainEnabled != 0)
        w.text(65, p.domain);
    else
        w.u32(125, p.platformIp);
    w.u16(129, p.platformPort);
    w.u8(131, p.antennaBaud);
    w.u8(132, p.reserved);
    return w.out;
}

WritePayload encodeDualNetworkWrite(const DualNetworkParams& p)
{
    Writer w(dualNetworkWriteSize);
    if (p.network == networkWifi) {
        w.u8(0, networkWifi);
        w.text(1, p.ssid);
        w.text(33, p.wifiPassword);
        w.ip(78, 79, p.wifi);
    } else {
        w.u8(0, networkWired);
        w.ip(65, 66, p.wired);
    }
    const ConnectSettings& c = p.connect;
    w.flag(91, c.mode);
    w.identity(92, c);
    if (c.mode != connectWait) {
        w.u32(156, c.platformIp);
        w.u16(160, c.platformPort);
    } else {
        w.i32(156, c.deviceId);
    }
    w.u8(162, p.antennaBaud);
    w.u8(163, p.reserved);
    return w.out;
}

bool ssidNeedsUtf8(const uint8_t* text, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        if (text[i] > 0x80)
            return true;
    }
    return false;
}

void formatMac(const MacAddress& mac, char* out)
{
    std::snprintf(out, paramMacTextSize, "%02X-%02X-%02X-%02X-%02X-%02X", mac[0], mac[1], mac[2],
                  mac[3], mac[4], mac[5]);
}
