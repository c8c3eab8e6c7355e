#include "tools/readersim/serialReader.h"

#include <algorithm>
#include <cstring>

#include "serial/configFrame.h"
#include "tools/readersim/serialPrint.h"

namespace {

template <size_t N>
FixedText<N> fixedText(const char* text)
{
    FixedText<N> t;
    t.assign(std::string_view(text));
    return t;
}

// Writing fixed offsets of a zeroed record (every offset lies below
// serialRecordMax).
struct Put {
    uint8_t* p;
    void u8(size_t at, uint8_t v) { p[at] = v; }
    void u16(size_t at, uint16_t v) { configPut16(p + at, v); }
    void u32(size_t at, uint32_t v) { configPut32(p + at, v); }
    void i32(size_t at, int32_t v) { configPut32(p + at, uint32_t(v)); }
    template <size_t N>
    void text(size_t at, const FixedText<N>& t)
    {
        std::memcpy(p + at, t.bytes.data(), N);
    }
    void mac(size_t at, const MacAddress& m) { std::memcpy(p + at, m.data(), m.size()); }
    void ip(size_t dhcpAt, size_t ipAt, const IpSettings& s)
    {
        u8(dhcpAt, s.dhcp);
        u32(ipAt, s.ip);
        u32(ipAt + 4, s.mask);
        u32(ipAt + 8, s.gateway);
    }
    // Mode, name, password, platform IP and port, in this order from modeAt.
    void connect(size_t modeAt, const ConnectSettings& c)
    {
        u8(modeAt, c.mode);
        text(modeAt + 1, c.name);
        text(modeAt + 33, c.password);
        u32(modeAt + 65, c.platformIp);
        u16(modeAt + 69, c.platformPort);
    }
};

// Reading a write payload field by field: a field that the payload holds
// whole is read from it, one that lies (partly) behind its end is the kept
// value given with the read.
class Get {
public:
    Get(const uint8_t* payload, size_t length)
        : n_(payload ? std::min(length, sizeof p_) : 0)
    {
        if (n_ > 0)
            std::memcpy(p_, payload, n_);
    }
    uint8_t u8(size_t at, uint8_t kept) const { return fits(at, 1) ? p_[at] : kept; }
    uint16_t u16(size_t at, uint16_t kept) const { return fits(at, 2) ? configGet16(p_ + at) : kept; }
    uint32_t u32(size_t at, uint32_t kept) const { return fits(at, 4) ? configGet32(p_ + at) : kept; }
    int32_t i32(size_t at, int32_t kept) const
    {
        return fits(at, 4) ? int32_t(configGet32(p_ + at)) : kept;
    }
    template <size_t N>
    FixedText<N> text(size_t at, const FixedText<N>& kept) const
    {
        if (!fits(at, N))
            return kept;
        FixedText<N> t;
        std::memcpy(t.bytes.data(), p_ + at, N);
        return t;
    }
    IpSettings ip(size_t dhcpAt, size_t ipAt, const IpSettings& kept) const
    {
        IpSettings s;
        s.dhcp = u8(dhcpAt, kept.dhcp);
        s.ip = u32(ipAt, kept.ip);
        s.mask = u32(ipAt + 4, kept.mask);
        s.gateway = u32(ipAt + 8, kept.gateway);
        return s;
    }
    // Mode, name, password, platform IP and port from modeAt, the layout of
    // the wired, WIFI and compact writes and of the dual-network write's
    // second half. The device ID is the kept one.
    ConnectSettings connect(size_t modeAt, const ConnectSettings& kept) const
    {
        ConnectSettings c = kept;
        c.mode = u8(modeAt, kept.mode);
        c.name = text(modeAt + 1, kept.name);
        c.password = text(modeAt + 33, kept.password);
        c.platformIp = u32(modeAt + 65, kept.platformIp);
        c.platformPort = u16(modeAt + 69, kept.platformPort);
        return c;
    }

private:
    bool fits(size_t at, size_t width) const { return at + width <= n_; }

    uint8_t p_[paramMaxWriteSize] = {};
    size_t n_;
};

// The write's connect settings into the reader's: the identity always, the
// platform in active mode, the device ID in wait mode.
void storeConnect(const ConnectSettings& w, ConnectSettings* c)
{
    c->mode = w.mode;
    c->name = w.name;
    c->password = w.password;
    if (w.mode != connectWait) {
        c->platformIp = w.platformIp;
        c->platformPort = w.platformPort;
    } else {
        c->deviceId = w.deviceId;
    }
}

// The DHCP flag always, the addresses only with DHCP off.
void storeIp(const IpSettings& w, IpSettings* s)
{
    s->dhcp = w.dhcp;
    if (w.dhcp == 0) {
        s->ip = w.ip;
        s->mask = w.mask;
        s->gateway = w.gateway;
    }
}

void applyWired(uint8_t model, const WiredParams& w, SerialRecordValues* v)
{
    if (model == modelWiredActive) {
        // Always active, always the three addresses; no baud codes, no ID.
        v->connect.mode = w.connect.mode;
        v->connect.name = w.connect.name;
        v->connect.password = w.connect.password;
        v->connect.platformIp = w.connect.platformIp;
        v->connect.platformPort = w.connect.platformPort;
        v->net.dhcp = w.net.dhcp;
        v->net.ip = w.net.ip;
        v->net.mask = w.net.mask;
        v->net.gateway = w.net.gateway;
        return;
    }
    storeConnect(w.connect, &v->connect);
    storeIp(w.net, &v->net);
    v->antenna1Baud = w.antenna1Baud;
    if (model == modelWired) {
        v->rs485Baud = w.rs485Baud;
        v->antenna0Baud = w.antenna0Baud;
        v->antennaMerge = w.antennaMerge;
    }
}

void applyWifi(const WifiParams& w, SerialRecordValues* v)
{
    storeConnect(w.connect, &v->connect);
    storeIp(w.net, &v->net);
    v->antenna0Baud = w.antennaBaud;
    v->ssid = w.ssid;
    v->wifiPassword = w.wifiPassword;
}

void applyCompactWired(const CompactWiredParams& w, SerialRecordValues* v)
{
    storeConnect(w.connect, &v->connect);
    storeIp(w.net, &v->net);
    v->reserved = w.reserved;
}

void applyDomain(const DomainParams& w, SerialRecordValues* v)
{
    v->connect.name = w.name;
    v->connect.password = w.password;
    v->domainEnabled = w.domainEnabled;
    if (w.domainEnabled != 0)
        v->domain = w.domain;
    else
        v->connect.platformIp = w.platformIp;
    v->connect.platformPort = w.platformPort;
    v->antenna0Baud = w.antennaBaud;
    v->reserved = w.reserved;
}

void applyDualNetwork(const DualNetworkParams& w, SerialRecordValues* v)
{
    v->network = w.network;
    if (w.network == networkWifi) {
        v->ssid = w.ssid;
        v->wifiPassword = w.wifiPassword;
        storeIp(w.wifi, &v->wifiNet);
    } else {
        storeIp(w.wired, &v->net);
    }
    storeConnect(w.connect, &v->connect);
    v->antenna0Baud = w.antennaBaud;
    v->reserved = w.reserved;
}

}  // namespace

bool parseSerialKinds(const char* text, unsigned* kinds)
{
    if (!text || !kinds)
        return false;
    unsigned out = 0;
    const char* p = text;
    for (;;) {
        const char* end = std::strchr(p, ',');
        const size_t len = end ? size_t(end - p) : std::strlen(p);
        const std::string_view word(p, len);
        if (word == "reply")
            out |= serialKindReply;
        else if (word == "ack")
            out |= serialKindAck;
        else if (word == "rssi-reply")
            out |= serialKindRssiReply;
        else if (word == "rssi-ack")
            out |= serialKindRssiAck;
        else if (word == "all")
            out |= serialKindAll;
        else
            return false;
        if (!end)
            break;
        p = end + 1;
    }
    *kinds = out;
    return true;
}

SerialRecordValues::SerialRecordValues()
    : version(fixedText<paramVersionSize>("V2.14-230612")),
      ssid(fixedText<paramTextSize>("reader-ap")),
      wifiPassword(fixedText<paramTextSize>("12345678")),
      domain(fixedText<paramDomainSize>("platform.example.com"))
{
    connect.mode = connectWait;
    connect.name = fixedText<paramTextSize>(waitModeName);
    connect.password = fixedText<paramTextSize>(waitModePassword);
    connect.platformIp = ipv4(192, 168, 1, 100);
    connect.platformPort = 8800;
    connect.deviceId = 1;
    net.dhcp = 0;
    net.ip = ipv4(192, 168, 1, 200);
    net.mask = ipv4(255, 255, 255, 0);
    net.gateway = ipv4(192, 168, 1, 1);
    wifiNet.dhcp = 0;
    wifiNet.ip = ipv4(192, 168, 2, 200);
    wifiNet.mask = ipv4(255, 255, 255, 0);
    wifiNet.gateway = ipv4(192, 168, 2, 1);
    mac = {0x02, 0x51, 0x56, 0x00, 0x00, 0x01};
    wifiMac = {0x02, 0x51, 0x56, 0x00, 0x00, 0x02};
}

size_t serialRecordSize(uint8_t model)
{
    const ParamModelInfo* info = paramModelInfo(model);
    if (!info)
        return wiredRecordSize;
    switch (info->layout) {
    case ParamLayout::wired:
        return wiredRecordSize;
    case ParamLayout::wifi:
        return wifiRecordSize;
    case ParamLayout::compactWired:
        return compactWiredRecordSize;
    case ParamLayout::domain:
        return domainRecordSize;
    case ParamLayout::dualNetwork:
        return dualNetworkRecordSize;
    }
    return wiredRecordSize;
}

size_t encodeSerialRecord(uint8_t model, const SerialRecordValues& v, uint8_t* out, size_t cap)
{
    const size_t size = serialRecordSize(model);
    if (!out || cap < size)
        return 0;
    std::memset(out, 0, size);
    Put put{out};
    put.text(0, v.version);
    put.u8(16, model);
    const ParamModelInfo* info = paramModelInfo(model);
    const ParamLayout layout = info ? info->layout : ParamLayout::wired;
    switch (layout) {
    case ParamLayout::wired:
        put.connect(17, v.connect);
        put.ip(88, 89, v.net);
        put.u8(101, v.rs485Baud);
        put.u8(102, v.antenna0Baud);
        put.u8(103, v.antenna1Baud);
        put.u8(105, v.antennaMerge);
        put.i32(106, v.connect.deviceId);
        put.mac(110, v.mac);
        break;
    case ParamLayout::wifi:
        put.connect(17, v.connect);
        put.ip(88, 89, v.net);
        put.u8(102, v.antenna0Baud);
        put.u8(103, v.antenna1Baud);  // read by the oldest build's page only
        put.u8(105, v.antennaMerge);  // likewise
        put.text(106, v.ssid);
        put.text(138, v.wifiPassword);
        put.i32(170, v.connect.deviceId);
        put.mac(174, v.mac);
        break;
    case ParamLayout::compactWired:
        put.connect(17, v.connect);
        put.i32(88, v.connect.deviceId);
        put.ip(92, 93, v.net);
        put.u8(105, v.reserved);
        put.mac(106, v.mac);
        break;
    case ParamLayout::domain:
        put.text(17, v.connect.name);
        put.text(49, v.connect.password);
        put.u8(81, v.domainEnabled);
        put.text(82, v.domain);
        put.u32(142, v.connect.platformIp);
        put.u16(146, v.connect.platformPort);
        put.u8(148, v.antenna0Baud);
        put.u8(149, v.reserved);
        break;
    case ParamLayout::dualNetwork:
        put.u8(17, v.network);
        put.text(18, v.ssid);
        put.text(50, v.wifiPassword);
        put.mac(82, v.mac);
        put.ip(88, 89, v.net);
        put.mac(101, v.wifiMac);
        put.ip(107, 108, v.wifiNet);
        put.connect(120, v.connect);
        put.i32(191, v.connect.deviceId);
        put.u8(195, v.antenna0Baud);
        put.u8(197, v.reserved);
        break;
    }
    return size;
}

WiredParams decodeWiredWrite(const uint8_t* payload, size_t length, const WiredParams& kept)
{
    const Get g(payload, length);
    WiredParams p = kept;
    p.connect = g.connect(0, kept.connect);
    p.connect.deviceId = g.i32(89, kept.connect.deviceId);
    p.net = g.ip(71, 72, kept.net);
    p.rs485Baud = g.u8(84, kept.rs485Baud);
    p.antenna0Baud = g.u8(85, kept.antenna0Baud);
    p.antenna1Baud = g.u8(86, kept.antenna1Baud);
    p.antennaMerge = g.u8(88, kept.antennaMerge);
    return p;
}

WifiParams decodeWifiWrite(const uint8_t* payload, size_t length, const WifiParams& kept)
{
    const Get g(payload, length);
    WifiParams p = kept;
    p.connect = g.connect(0, kept.connect);
    p.connect.deviceId = g.i32(153, kept.connect.deviceId);
    p.net = g.ip(71, 72, kept.net);
    p.antennaBaud = g.u8(85, kept.antennaBaud);
    p.antenna1Baud = g.u8(86, kept.antenna1Baud);
    p.antennaMerge = g.u8(88, kept.antennaMerge);
    p.ssid = g.text(89, kept.ssid);
    p.wifiPassword = g.text(121, kept.wifiPassword);
    return p;
}

CompactWiredParams decodeCompactWiredWrite(const uint8_t* payload, size_t length,
                                           const CompactWiredParams& kept)
{
    const Get g(payload, length);
    CompactWiredParams p = kept;
    p.connect = g.connect(0, kept.connect);
    if (p.connect.mode == connectWait) {
        // 65 carries the device ID in wait mode.
        p.connect.deviceId = g.i32(65, kept.connect.deviceId);
        p.connect.platformIp = 0;
    }
    p.net = g.ip(71, 72, kept.net);
    p.reserved = g.u8(84, kept.reserved);
    return p;
}

DomainParams decodeDomainWrite(const uint8_t* payload, size_t length, const DomainParams& kept)
{
    const Get g(payload, length);
    DomainParams p = kept;
    p.name = g.text(0, kept.name);
    p.password = g.text(32, kept.password);
    p.domainEnabled = g.u8(64, kept.domainEnabled);
    p.domain = g.text(65, kept.domain);
    p.platformIp = g.u32(125, kept.platformIp);
    p.platformPort = g.u16(129, kept.platformPort);
    p.antennaBaud = g.u8(131, kept.antennaBaud);
    p.reserved = g.u8(132, kept.reserved);
    return p;
}

DualNetworkParams decodeDualNetworkWrite(const uint8_t* payload, size_t length,
                                         const DualNetworkParams& kept)
{
    const Get g(payload, length);
    DualNetworkParams p = kept;
    p.network = g.u8(0, kept.network);
    p.ssid = g.text(1, kept.ssid);
    p.wifiPassword = g.text(33, kept.wifiPassword);
    p.wired = g.ip(65, 66, kept.wired);
    p.wifi = g.ip(78, 79, kept.wifi);
    p.connect = g.connect(91, kept.connect);
    if (p.connect.mode == connectWait) {
        // 156 carries the device ID in wait mode.
        p.connect.deviceId = g.i32(156, kept.connect.deviceId);
        p.connect.platformIp = 0;
    }
    p.antennaBaud = g.u8(162, kept.antennaBaud);
    p.reserved = g.u8(163, kept.reserved);
    return p;
}

SerialWriteResult applySerialWrite(uint8_t model, const uint8_t* payload, size_t length,
                                   SerialRecordValues* values)
{
    const ParamModelInfo* info = paramModelInfo(model);
    if (!info || !values)
        return SerialWriteResult::noLayout;
    // Only the model's write is read, whatever follows it; the fields that a
    // shorter write does not carry whole keep the reader's values.
    const size_t n = payload ? std::min(length, info->writeSize) : 0;
    uint8_t record[serialRecordMax];
    ParamRecordStore kept;
    kept.assign(record, encodeSerialRecord(model, *values, record, sizeof record));
    switch (info->layout) {
    case ParamLayout::wired:
        applyWired(model, decodeWiredWrite(payload, n, decodeWired(kept)), values);
        break;
    case ParamLayout::wifi:
        applyWifi(decodeWifiWrite(payload, n, decodeWifi(kept)), values);
        break;
    case ParamLayout::compactWired:
        applyCompactWired(decodeCompactWiredWrite(payload, n, decodeCompactWired(kept)), values);
        break;
    case ParamLayout::domain:
        applyDomain(decodeDomainWrite(payload, n, decodeDomain(kept)), values);
        break;
    case ParamLayout::dualNetwork:
        applyDualNetwork(decodeDualNetworkWrite(payload, n, decodeDualNetwork(kept)), values);
        break;
    }
    return n < info->writeSize ? SerialWriteResult::partial : SerialWriteResult::applied;
}

SerialReader::SerialReader(const SerialReaderConfig& config, SerialWriter& writer, SimLog& log)
    : config_(config),
      writer_(writer),
      log_(log),
      lateRandom_(config.faults.seed, lineStreamLate)
{
    SerialFaults& f = config_.faults;
    // Amounts outside their ranges are brought inside, so the buffers hold.
    if (f.lateTicks < 0)
        f.lateTicks = 0;
    if (f.lateTicks > serialLateTicksMax)
        f.lateTicks = serialLateTicksMax;
    if (f.strayBytes < 0)
        f.strayBytes = 0;
    if (f.strayBytes > serialStrayMax)
        f.strayBytes = serialStrayMax;
    if (f.splitParts < 1)
        f.splitParts = 1;
    if (f.splitParts > serialSplitPartsMax)
        f.splitParts = serialSplitPartsMax;
    if (f.splitGapTicks < 0)
        f.splitGapTicks = 0;
    if (f.splitGapTicks > serialGapTicksMax)
        f.splitGapTicks = serialGapTicksMax;
    if (f.latePct < 0)
        f.latePct = 0;
    if (f.latePct > 100)
        f.latePct = 100;
}

size_t SerialReader::record(uint8_t* out, size_t cap) const
{
    return encodeSerialRecord(config_.model, config_.values, out, cap);
}

void SerialReader::onBytes(const uint8_t* bytes, size_t count)
{
    if (!bytes)
        return;
    while (count > 0) {
        const size_t taken = cutter_.append(bytes, count);
        cutHeld();
        if (taken == 0) {
            // Not expected: a pass never leaves the buffer full (a full
            // buffer holds a whole frame or is discarded). Guards the loop.
            simStatus(log_, "dropped bytes=%u reason=buffer-full", unsigned(count));
            return;
        }
        bytes += taken;
        count -= taken;
    }
}

void SerialReader::cutHeld()
{
    for (;;) {
        const uint32_t held = cutter_.fillCount();
        switch (cutter_.cut(*this)) {
        case CutResult::waitHeader:
        case CutResult::waitBody:
            return;
        case CutResult::frame:
            break;
        case CutResult::badMagic:
            simStatus(log_, "discard reason=magic bytes=%u", unsigned(held));
            break;
        case CutResult::oversize:
            simStatus(log_, "discard reason=oversize bytes=%u", unsigned(held));
            break;
        }
    }
}

void SerialReader::idlePoll()
{
    const uint32_t held = cutter_.fillCount();
    if (cutter_.idlePoll())
        simStatus(log_, "discard reason=stalled bytes=%u", unsigned(held));
}

void SerialReader::onFrame(const uint8_t* frame, size_t total)
{
    printSerialFrame(log_, true, config_.model, frame, total);
    ConfigFrame f;
    if (configFrameCheck(frame, total, &f) != ConfigCheck::ok)
        return;  // printed as bad; a reader answers nothing it cannot trust
    switch (f.command) {
    case configCmdReadRequest: {
        ++reads_;
        uint8_t record[serialRecordMax];
        const size_t n = encodeSerialRecord(config_.model, config_.values, record, sizeof record);
        queueAnswer(serialKindReply, configCmdParamReply, record, n);
        break;
    }
    case configCmdWriteRequest:
        ++writes_;
        onWrite(f.payload, f.length);
        break;
    case configCmdRssiRead: {
        ++rssiReads_;
        const uint8_t threshold = uint8_t(config_.values.rssiThreshold);
        queueAnswer(serialKindRssiReply, configCmdRssiReply, &threshold, 1);
        break;
    }
    case configCmdRssiWrite:
        ++rssiWrites_;
        onRssiWrite(f.payload, f.length);
        break;
    default:
        break;  // printed; nothing else is answered
    }
}

void SerialReader::onWrite(const uint8_t* payload, size_t length)
{
    // Every write is acknowledged, as a reader does: a page of another model
    // may send a write of its own layout, shorter than this model's.
    switch (applySerialWrite(config_.model, payload, length, &config_.values)) {
    case SerialWriteResult::applied:
        ++applied_;
        break;
    case SerialWriteResult::partial:
        ++applied_;
        simStatus(log_, "write-partial model=%u len=%u need=%u", unsigned(config_.model),
                  unsigned(length), unsigned(paramModelInfo(config_.model)->writeSize));
        break;
    case SerialWriteResult::noLayout:
        simStatus(log_, "write-unapplied model=%u reason=no-layout len=%u",
                  unsigned(config_.model), unsigned(length));
        break;
    }
    queueAnswer(serialKindAck, configCmdWriteAck, nullptr, 0);
}

void SerialReader::onRssiWrite(const uint8_t* payload, size_t length)
{
    if (length == 0) {
        // No threshold byte: nothing stored, so nothing to acknowledge.
        simStatus(log_, "write-ignored code=0x%02X reason=short len=0 need=1",
                  unsigned(configCmdRssiWrite));
        return;
    }
    // Byte 0 is the threshold, stored as it comes: the tool checks the range.
    config_.values.rssiThreshold = int8_t(payload[0]);
    queueAnswer(serialKindRssiAck, config_.rssiAckCommand, nullptr, 0);
}

void SerialReader::queueAnswer(unsigned kind, uint8_t command, const uint8_t* payload,
                               size_t length)
{
    const SerialFaults& f = config_.faults;
    if (f.silent & kind) {
        simStatus(log_, "answer-withheld code=0x%02X", unsigned(command));
        return;
    }
    if (queued_ == queueSize) {
        simStatus(log_, "answer-dropped code=0x%02X reason=queue-full", unsigned(command));
        return;
    }
    Answer& a = queue_[(head_ + queued_) % queueSize];
    a.stray = (f.stray & kind) ? size_t(f.strayBytes) : 0;
    for (size_t i = 0; i < a.stray; ++i) {
        static const uint8_t noise[] = {0xFF, 0x00, 0x55, 0xAA};
        a.bytes[i] = noise[i % sizeof noise];
    }
    a.frame = buildConfigFrame(a.bytes + a.stray, sizeof a.bytes - a.stray, config_.level,
                               command, payload, length);
    if (a.frame == 0)
        return;  // cannot happen: answerMax holds the longest record
    if (f.badCrc & kind)
        a.bytes[a.stray + 7] ^= 0xFF;
    a.command = command;
    a.parts = (f.split & kind) ? f.splitParts : 1;
    if (size_t(a.parts) > a.frame)
        a.parts = int(a.frame);
    a.nextPart = 0;
    bool late = (f.late & kind) != 0;
    if (!late && lateRandom_.chance(f.latePct)) {
        late = true;
        ++lateChosen_;
    }
    a.countdown = late ? f.lateTicks : 0;
    ++queued_;
    if (a.countdown > 0)
        simStatus(log_, "answer-held code=0x%02X ticks=%d", unsigned(command), a.countdown);
    if (a.stray > 0 || a.parts > 1)
        simStatus(log_, "answer-shaped code=0x%02X stray=%u parts=%d gap-ticks=%d",
                  unsigned(command), unsigned(a.stray), a.parts,
                  a.parts > 1 ? f.splitGapTicks : 0);
    flush();
}

void SerialReader::tick()
{
    for (size_t i = 0; i < queued_; ++i) {
        Answer& a = queue_[(head_ + i) % queueSize];
        if (a.countdown > 0)
            --a.countdown;
    }
    flush();
}

void SerialReader::flush()
{
    while (queued_ > 0) {
        Answer& a = queue_[head_];
        if (a.countdown > 0)
            return;
        // Piece k covers frame bytes [frame*k/parts, frame*(k+1)/parts); the
        // noise goes with the first piece.
        const size_t k = size_t(a.nextPart);
        const size_t parts = size_t(a.parts);
        const size_t from = k == 0 ? 0 : a.stray + a.frame * k / parts;
        const size_t to = a.stray + a.frame * (k + 1) / parts;
        if (k == 0 && config_.printSent)
            printSerialFrame(log_, false, config_.model, a.bytes + a.stray, a.frame);
        writer_.writeComBytes(a.bytes + from, to - from);
        ++a.nextPart;
        if (a.nextPart < a.parts) {
            a.countdown = config_.faults.splitGapTicks;
            continue;
        }
        head_ = (head_ + 1) % queueSize;
        --queued_;
    }
}

void SerialReader::printStop(const char* reason)
{
    simStatus(log_, "stop reason=%s reads=%d writes=%d applied=%d", reason, reads_, writes_,
              applied_);
}
