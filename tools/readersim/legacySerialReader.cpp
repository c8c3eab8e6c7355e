#include "tools/readersim/legacySerialReader.h"

#include <cstring>

#include "serial/paramRecords.h"
#include "tools/readersim/lineBuilder.h"

namespace {

constexpr uint8_t kNoise = 0xEE;  // stray bytes: never the start of a magic

const char* commandName(uint8_t command)
{
    switch (command) {
    case configCmdReadRequest:
        return "read";
    case configCmdParamReply:
        return "reply";
    case configCmdWriteRequest:
        return "write";
    case configCmdWriteAck:
        return "ack";
    default:
        return "other";
    }
}

void addAddress(LineBuilder& line, const char* key, uint32_t ip)
{
    line.add(" %s=%u.%u.%u.%u", key, unsigned(ip >> 24), unsigned(ip >> 16 & 0xFF),
             unsigned(ip >> 8 & 0xFF), unsigned(ip & 0xFF));
}

void addRecord(LineBuilder& line, const R7aRecord& rec)
{
    line.add(" rs485=%u ant0=%u ant1=%u", unsigned(rec.rs485Baud), unsigned(rec.antenna0Baud),
             unsigned(rec.antenna1Baud));
    addAddress(line, "ip", rec.ip);
    addAddress(line, "mask", rec.mask);
    addAddress(line, "gateway", rec.gateway);
}

}  // namespace

LegacySerialConfig::LegacySerialConfig()
{
    record.rs485Baud = record.antenna0Baud = record.antenna1Baud = 4;
    record.ip = ipv4(192, 168, 1, 200);
    record.mask = ipv4(255, 255, 255, 0);
    record.gateway = ipv4(192, 168, 1, 1);
    std::strcpy(record.version, "R7A-V1.7");
    record.threshold = -80;
    record.flag = 0;
}

size_t formatLegacySerialFrame(char* out, size_t cap, bool received, const uint8_t* frame,
                               size_t total)
{
    LineBuilder line(out, cap);
    const size_t length = total - r7aHeaderSize;
    const uint8_t* payload = frame + r7aHeaderSize;
    line.add("%s code=0x%02X name=%s level=%u len=%u payload=", received ? "rx" : "tx",
             unsigned(frame[5]), commandName(frame[5]), unsigned(frame[4]), unsigned(length));
    line.hex(payload, length);
    R7aRecord rec;
    if (frame[5] == configCmdWriteRequest) {
        if (decodeR7aWrite(payload, length, &rec)) {
            addRecord(line, rec);
            line.add(" threshold=%d flag=%u", int(rec.threshold), unsigned(rec.flag));
        } else {
            line.add(" malformed=short");
        }
    } else if (frame[5] == configCmdParamReply && decodeR7aReply(payload, length, &rec)) {
        addRecord(line, rec);
        line.add(" version=%s", rec.version);
        if (rec.hasThreshold)
            line.add(" threshold=%d", int(rec.threshold));
        if (rec.hasFlag)
            line.add(" flag=%u", unsigned(rec.flag));
    }
    return line.length();
}

LegacySerialReader::LegacySerialReader(const LegacySerialConfig& config, SerialWriter& writer,
                                       SimLog& log)
    : config_(config), writer_(writer), log_(log)
{
}

void LegacySerialReader::onBytes(const uint8_t* bytes, size_t count)
{
    while (count > 0) {
        const size_t n = assembler_.append(bytes, count);
        bytes += n;
        count -= n;
        bytesSinceTick_ = true;
        cut(true);
        if (n == 0) {
            assembler_.pop(1);  // full of bytes that frame nothing
        }
    }
}

void LegacySerialReader::tick()
{
    cut(bytesSinceTick_);
    bytesSinceTick_ = false;
}

void LegacySerialReader::cut(bool bytesCame)
{
    while (const size_t total = assembler_.next(bytesCame)) {
        uint8_t frame[r7aBufferSize];
        std::memcpy(frame, assembler_.front(), total);
        assembler_.pop(total);
        onFrame(frame, total);
    }
}

void LegacySerialReader::onFrame(const uint8_t* frame, size_t total)
{
    char text[simLineMax];
    formatLegacySerialFrame(text, sizeof text, true, frame, total);
    log_.line(text);
    if (frame[5] == configCmdReadRequest) {
        ++reads_;
        uint8_t payload[r7aReplyWithFlag];
        const size_t n = encodeR7aReply(config_.record, config_.replySize, payload, sizeof payload);
        answer(serialKindReply, configCmdParamReply, payload, n);
    } else if (frame[5] == configCmdWriteRequest) {
        R7aRecord written = config_.record;
        if (!decodeR7aWrite(frame + r7aHeaderSize, total - r7aHeaderSize, &written))
            return;
        std::memcpy(written.version, config_.record.version, sizeof written.version);
        config_.record = written;
        ++applied_;
        answer(serialKindAck, configCmdWriteAck, nullptr, 0);
    }
}

void LegacySerialReader::answer(unsigned kind, uint8_t command, const uint8_t* payload,
                                size_t length)
{
    const LegacySerialFaults& f = config_.faults;
    if (f.silent & kind)
        return;
    uint8_t bytes[serialStrayMax + r7aBufferSize];
    const size_t stray = (f.stray & kind) ? size_t(f.strayBytes) : 0;
    std::memset(bytes, kNoise, stray);
    uint8_t* frame = bytes + stray;
    const size_t total = buildR7aFrame(frame, r7aBufferSize, r7aRequestLevel, command, payload, length);
    if (f.badCrc & kind)
        frame[6] = uint8_t(~frame[6]);
    if (config_.printSent) {
        char text[simLineMax];
        formatLegacySerialFrame(text, sizeof text, false, frame, total);
        log_.line(text);
    }
    const size_t all = stray + total;
    const size_t parts = (f.split & kind) ? size_t(f.splitParts) : 1;
    const size_t piece = (all + parts - 1) / parts;
    for (size_t at = 0; at < all; at += piece)
        writer_.writeComBytes(bytes + at, all - at < piece ? all - at : piece);
}

void LegacySerialReader::printStop(const char* reason)
{
    simStatus(log_, "stop reason=%s reads=%d writes=%d", reason, reads_, applied_);
}

SerialRunEnd runLegacySerialReader(const LegacySerialSimConfig& config, const SerialRunClock& clock,
                                   SerialPort& port, SimLog& log, PcapWriter* pcap)
{
    if (!openSerialDevice(port, config.device))
        return SerialRunEnd::cannotOpen;
    // As in mode serial, the capture sits on the wire: it sees the bytes
    // the faulty wire let through.
    PcapSerialTap io(port, pcap);
    const bool faulty = config.line.any();
    FaultyWire wire(config.line, io);
    SerialWriter& writer = faulty ? static_cast<SerialWriter&>(wire) : io;
    LegacySerialReader reader(config, writer, log);
    simStatus(log, "readersim mode=legacy-serial device=%s reply-size=%u tick-ms=%d duration=%d",
              config.device, unsigned(config.replySize), clock.tickMs, clock.durationSeconds);
    const SerialRunEnd end = serveSerialTarget(reader, io, clock, log, faulty ? &wire : nullptr);
    wire.flushHeld();
    reader.printStop(serialRunEndName(end));
    if (faulty)
        wire.printSummary(log);
    port.closeComPort();
    return end;
}
