// The serial reader on a real port: what "readersim serial --device PATH"
// runs. The device is a pseudo-terminal end on POSIX (one end of a socat
// pair whose other end the tool under Wine opens as its COM port), or "COMn"
// on Windows (a path also works there: "\\.\COM12"). The loop reads bytes
// with a short wait, hands them to the SerialReader, polls the cutter every
// 1 ms while it holds bytes, and ticks every tickMs until the duration ends
// or a stop is requested.
//
// `readersim serial` fills SerialSimConfig from its options: everything the mode
// takes, so the option table only needs a row per field; tickMs, the
// duration and --print-sent are the options every mode shares.
//
// | Field                       | Default            | Option                | Meaning |
// |-----------------------------|--------------------|-----------------------|---------|
// | device                      | ""                 | --device PATH         | port to open; "COMn" names a COM port by number |
// | model                       | 1                  | --model N             | model code 0..255 at record offset 16; 1, 2, 3, 5, 6, 7, 52 have layouts, any other answers in the wired layout |
// | level                       | 3                  | --level N             | byte 4 of every answer, 0..255; 0 is refused by the tools |
// | values.version              | "V2.14-230612"   | --version-text TEXT   | version text, at most 16 bytes |
// | values.connect.mode         | 0 (wait)           | --connect wait|active | connect mode |
// | values.connect.name         | "admin"            | --device-name TEXT    | device name, at most 32 bytes |
// | values.connect.password     | "314159"           | --device-password TEXT| device password, at most 32 bytes |
// | values.connect.platformIp/Port | 192.168.1.100:8800 | --platform IP:PORT | platform address |
// | values.connect.deviceId     | 1                  | --device-id N         | signed 32-bit device ID |
// | values.net                  | DHCP off, 192.168.1.200/255.255.255.0, gateway 192.168.1.1 | --dhcp, --ip, --mask, --gateway | wired interface |
// | values.rs485Baud            | 4 (115200)         | --rs485-baud CODE     | baud-rate code 0..4 (0xFF: none) |
// | values.antenna0Baud         | 4                  | --antenna-baud CODE   | antenna 0; the only antenna of models 3, 5, 7 |
// | values.antenna1Baud         | 4                  | --antenna1-baud CODE  | antenna 1; the model-2 page's antenna |
// | values.antennaMerge         | 0                  | --antenna-merge N     | merge flag (wired, WIFI) |
// | values.mac                  | 02-51-56-00-00-01  | --mac XX-XX-XX-XX-XX-XX | MAC address (dual-network: wired) |
// | values.ssid / wifiPassword  | "reader-ap" / "12345678" | --ssid, --wifi-password | WIFI, at most 32 bytes each |
// | values.wifiNet              | DHCP off, 192.168.2.200/24, gateway 192.168.2.1 | --wifi-dhcp, --wifi-ip, --wifi-mask, --wifi-gateway | dual-network WIFI interface |
// | values.wifiMac              | 02-51-56-00-00-02  | --wifi-mac MAC        | dual-network WIFI MAC |
// | values.network              | 0 (wired)          | --network wired|wifi  | dual-network choice |
// | values.domainEnabled/domain | 0 / "platform.example.com" | --domain TEXT | domain layout: enables the name (at most 60 bytes) |
// | values.reserved             | 0                  | --reserved N          | echoed byte (compact, domain, dual-network) |
// | values.rssiThreshold        | 0                  | --rssi-threshold N    | RSSI threshold -128..127 (0x07 reads it, 0x09 writes it) |
// | rssiAckCommand              | 0x0A               | --rssi-ack CODE       | acknowledgement of an RSSI write: 0x0A or 0x04 |
// | faults.silent               | none               | --silent KINDS        | never send these answers |
// | faults.badCrc               | none               | --bad-crc KINDS       | low CRC byte inverted |
// | faults.late / lateTicks     | none / 3           | --late KINDS, --late-ticks N | send them N ticks after the request |
// | faults.stray / strayBytes   | none / 3           | --stray KINDS, --stray-bytes N | N noise bytes (0..64) before the frame, same write |
// | faults.split / splitParts   | none / 2           | --split KINDS, --split-parts N | write the frame in N pieces (1..16) |
// | faults.splitGapTicks        | 0                  | --split-gap N         | ticks between pieces; 0 = back-to-back writes |
// | printSent                   | false              | --print-sent (shared) | a "tx" line per answer |
// | line.seed                   | 1                  | --seed N (shared)     | seed of the faulty wire |
// | line.dropBytesPermille      | 0                  | --drop-bytes PCT      | each written byte lost with this chance (0..100, one decimal) |
// | line.noiseMax               | 0                  | --noise-max N         | 0..N random noise bytes before each write |
// | line.cutPct                 | 0                  | --cut PCT             | cut each write into 2..4 pieces with this chance |
// | line.cutGapMaxMs            | 0                  | --cut-gap-max MS      | each gap between two pieces 0..MS ms (0..10000) |
// | faults.latePct / seed       | 0 / 1              | --late-pct PCT, --seed N | hold each answer --late-ticks ticks with this chance |
//
// KINDS: a comma list of "reply" (0x02), "ack" (0x04), "rssi-reply" (0x08),
// "rssi-ack" (the RSSI write's acknowledgement) or "all" (parseSerialKinds). Exit codes for the caller: cannotOpen is 1, the other
// ends are 0.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/serialPort.h"
#include "tools/readersim/lineFaults.h"
#include "tools/readersim/pcapWriter.h"
#include "tools/readersim/serialReader.h"
#include "tools/readersim/simLog.h"

struct SerialSimConfig : SerialReaderConfig {
    char device[comDevicePathMax] = "";
    SerialLineConfig line;  // the faulty wire in front of the port (lineFaults.h)
};

struct SerialRunClock {
    int tickMs = 1000;
    int durationSeconds = 0;  // 0 = until a stop is requested
    // Asked between two waits (each at most 50 ms); null = never.
    bool (*stopRequested)() = nullptr;
};

enum class SerialRunEnd { cannotOpen, duration, stopped };

// "duration", "interrupt", or "cannot-open".
const char* serialRunEndName(SerialRunEnd end);

// What a --device text names: "COM" and one to three digits is a port
// number, which must be 1 to 32 (the ports the tools probe and list); any
// other text is a device path of at most comDevicePathMax - 1 bytes.
bool serialDeviceTextValid(const char* device);
// Opens "COMn" (n 1 to 32) by number, anything else as a device path.
bool openSerialDevice(SerialPort& port, const char* device);

// What the loop drives: the bytes read, the quiet polls while bytes are
// held, the ticks. The serial reader is one; the legacy-serial reader
// another.
class SerialRunTarget {
public:
    virtual ~SerialRunTarget() = default;
    virtual void onBytes(const uint8_t* bytes, size_t count) = 0;
    virtual void idlePoll() = 0;
    virtual void tick() = 0;
    virtual bool holdsBytes() const = 0;
};

// How long the loop's next read waits, in ms: about 1 ms while the target
// holds bytes (the cutter's poll); otherwise until just past the next tick
// or the end (msToEnd -1: none), at most 50 ms; and never past the next
// held piece of the faulty wire (msToWireDue -1: none).
int serialReadWaitMs(int64_t msToTick, int64_t msToEnd, bool targetHoldsBytes,
                     int64_t msToWireDue);

// serveSerialReader for any target. wire: the faulty wire the target writes
// through, or null; the loop keeps its clock and wakes for its held pieces.
SerialRunEnd serveSerialTarget(SerialRunTarget& target, SerialDevice& device,
                               const SerialRunClock& clock, SimLog& log,
                               FaultyWire* wire = nullptr);

// The loop over an open device, until the duration ends or a stop is
// requested. A read error (no port, a pty whose other end is gone) prints
// "# read-error" once per run of them and is retried after 1 ms.
SerialRunEnd serveSerialReader(SerialReader& reader, SerialDevice& device,
                               const SerialRunClock& clock, SimLog& log,
                               FaultyWire* wire = nullptr);

// Opens config.device, prints "# readersim mode=serial device=PATH model=M
// level=L tick-ms=T duration=S", runs the reader (through the faulty wire
// when config.line asks for one), prints its stop line (and the wire's
// summary line, with --late-pct too) and closes the port. Pieces the wire
// still holds at the end are written before the port closes. cannotOpen, with nothing printed, when the device cannot
// be opened.
// pcap: the capture of --pcap, or null.
SerialRunEnd runSerialReader(const SerialSimConfig& config, const SerialRunClock& clock,
                             SerialPort& port, SimLog& log, PcapWriter* pcap = nullptr);
