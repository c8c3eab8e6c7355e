#include "tools/readersim/serialRun.h"

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

namespace {

constexpr int kLongestWaitMs = 50;  // how late a stop request is noticed at most
constexpr int kHeldWaitMs = 1;      // the cutter's poll while it holds bytes

}  // namespace

const char* serialRunEndName(SerialRunEnd end)
{
    switch (end) {
    case SerialRunEnd::cannotOpen:
        return "cannot-open";
    case SerialRunEnd::duration:
        return "duration";
    case SerialRunEnd::stopped:
        return "interrupt";
    }
    return "unknown";
}

namespace {

// "COM" followed by digits only (one to three of them), whatever their value.
bool looksLikeComName(const char* device)
{
    if (std::strncmp(device, "COM", 3) != 0)
        return false;
    const size_t digits = std::strlen(device + 3);
    return digits >= 1 && digits <= 3 && std::strspn(device + 3, "0123456789") == digits;
}

}  // namespace

bool serialDeviceTextValid(const char* device)
{
    if (!device || !*device || std::strlen(device) >= comDevicePathMax)
        return false;
    if (!looksLikeComName(device))
        return true;
    const int number = comPortNumberOf(device);
    return number >= 1 && number <= serialProbeCount;
}

bool openSerialDevice(SerialPort& port, const char* device)
{
    if (!serialDeviceTextValid(device))
        return false;
    if (looksLikeComName(device))
        return port.openComPort(comPortNumberOf(device));
    return port.openDevice(device);
}

SerialRunEnd serveSerialReader(SerialReader& reader, SerialDevice& device,
                               const SerialRunClock& clock, SimLog& log, FaultyWire* wire)
{
    struct Target : SerialRunTarget {
        SerialReader& reader;
        explicit Target(SerialReader& r) : reader(r) {}
        void onBytes(const uint8_t* bytes, size_t count) override { reader.onBytes(bytes, count); }
        void idlePoll() override { reader.idlePoll(); }
        void tick() override { reader.tick(); }
        bool holdsBytes() const override { return reader.holdsBytes(); }
    } target(reader);
    return serveSerialTarget(target, device, clock, log, wire);
}

int serialReadWaitMs(int64_t msToTick, int64_t msToEnd, bool targetHoldsBytes,
                     int64_t msToWireDue)
{
    int64_t wait = kHeldWaitMs;
    if (!targetHoldsBytes) {
        wait = msToTick;
        if (msToEnd >= 0 && msToEnd < wait)
            wait = msToEnd;
        wait += 1;
        if (wait > kLongestWaitMs)
            wait = kLongestWaitMs;
    }
    if (msToWireDue >= 0 && msToWireDue < wait)
        wait = msToWireDue;
    return wait < 0 ? 0 : int(wait);
}

SerialRunEnd serveSerialTarget(SerialRunTarget& reader, SerialDevice& device,
                               const SerialRunClock& clock, SimLog& log, FaultyWire* wire)
{
    using Clock = std::chrono::steady_clock;
    const auto period = std::chrono::milliseconds(clock.tickMs > 0 ? clock.tickMs : 1);
    const int duration = clock.durationSeconds;
    const auto startTime = Clock::now();
    const auto endTime = startTime + std::chrono::seconds(duration);
    auto nextTick = startTime + period;
    uint8_t bytes[serialReadSize];
    bool failing = false;
    auto msFrom = [](Clock::time_point from, Clock::time_point to) {
        return int64_t(std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count());
    };
    // The wire's clock follows the loop's, so its held pieces leave on time
    // and the writes of the reader are stamped with the time they are made.
    auto wireTime = [&](Clock::time_point at) {
        if (wire)
            wire->setTimeMs(msFrom(startTime, at));
    };

    while (!(clock.stopRequested && clock.stopRequested())) {
        const auto now = Clock::now();
        wireTime(now);
        if (duration > 0 && now >= endTime)
            return SerialRunEnd::duration;
        if (now >= nextTick) {
            reader.tick();
            nextTick += period;
            if (nextTick <= now)  // far behind (a stalled machine): start afresh
                nextTick = now + period;
            continue;
        }
        const int waitMs = serialReadWaitMs(msFrom(now, nextTick),
                                            duration > 0 ? msFrom(now, endTime) : -1,
                                            reader.holdsBytes(), wire ? wire->msUntilDue() : -1);
        const long n = device.readComBytes(bytes, sizeof bytes, waitMs);
        if (n < 0) {
            if (!failing)
                simStatus(log, "read-error");
            failing = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        failing = false;
        if (n > 0) {
            wireTime(Clock::now());
            reader.onBytes(bytes, size_t(n));
        } else if (waitMs == kHeldWaitMs && reader.holdsBytes()) {
            reader.idlePoll();  // a poll of about 1 ms in which no byte came
        }
    }
    return SerialRunEnd::stopped;
}

SerialRunEnd runSerialReader(const SerialSimConfig& config, const SerialRunClock& clock,
                             SerialPort& port, SimLog& log, PcapWriter* pcap)
{
    if (!openSerialDevice(port, config.device))
        return SerialRunEnd::cannotOpen;
    // The capture sits on the wire: it sees the bytes the faulty wire let
    // through, and everything that arrives.
    PcapSerialTap io(port, pcap);
    // Random late answers are counted on the wire's summary line, so the
    // wire is in front whenever they are chosen (with no fault of its own
    // it passes every byte at once).
    const bool faulty = config.line.any() || config.faults.latePct > 0;
    FaultyWire wire(config.line, io);
    SerialWriter& writer = faulty ? static_cast<SerialWriter&>(wire) : io;
    SerialReader reader(config, writer, log);
    simStatus(log, "readersim mode=serial device=%s model=%u level=%u tick-ms=%d duration=%d",
              config.device, unsigned(config.model), unsigned(config.level), clock.tickMs,
              clock.durationSeconds);
    const SerialRunEnd end = serveSerialReader(reader, io, clock, log, faulty ? &wire : nullptr);
    wire.flushHeld();
    reader.printStop(serialRunEndName(end));
    if (faulty)
        wire.printSummary(log, reader.lateAnswersChosen());
    port.closeComPort();
    return end;
}
