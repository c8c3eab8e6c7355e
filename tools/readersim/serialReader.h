// The software reader on the serial link: the configuration tool's other
// side. A reader of one model code and protocol level holds a parameter
// record; it answers the read request 0x01 with the parameter reply 0x02
// (its level in byte 4, the record in its model's layout) and applies a
// write request 0x03 to the record before it acknowledges it with 0x04, so
// that the next read shows what was written; every write is acknowledged,
// one shorter than its model's layout too (applied as far as it goes). For
// the signal filter tool it answers the RSSI threshold read 0x07 with 0x08
// (the threshold, one byte in two's complement) and stores the threshold of
// a write 0x09 before it acknowledges it with 0x0A (or 0x04, as some
// readers do).
//
// Like the UDP personalities it owns no port, thread or clock: it is fed
// the bytes read from the port (in any pieces), one quiet poll whenever
// about 1 ms passed without a byte while bytes are held (the cutter's idle
// rule), and one tick per period of its clock; it writes through a
// SerialWriter. Received bytes go through the serial core's FrameCutter, the
// same cutter the tools use, so a request that comes in pieces, stalls or
// starts with noise fares as it would at a tool.
//
// Every received frame is printed (serialPrint.h); answers are printed as
// "tx" lines with printSent. Misbehaviour is chosen per kind of answer
// (SerialFaults): silence, a spoilt CRC, a late answer, noise bytes before
// it, an answer written in pieces with a gap; and, at random (seeded), a
// late answer among punctual ones.
#pragma once
#include <cstddef>
#include <cstdint>

#include "serial/frameCutter.h"
#include "serial/paramRecords.h"
#include "serial/serialLink.h"
#include "tools/readersim/lineFaults.h"
#include "tools/readersim/simLog.h"

// Record lengths per layout: the payload of the reader's parameter reply.
constexpr size_t wiredRecordSize = 116;         // MAC at 110
constexpr size_t wifiRecordSize = 180;          // MAC at 174
constexpr size_t compactWiredRecordSize = 112;  // MAC at 106
constexpr size_t domainRecordSize = 150;        // reserved byte at 149
constexpr size_t dualNetworkRecordSize = 198;   // reserved byte at 197
constexpr size_t serialRecordMax = dualNetworkRecordSize;

// The kinds of answer the reader sends; faults are chosen per kind (bit set).
enum : unsigned {
    serialKindReply = 1u << 0,  // parameter replies 0x02
    serialKindAck = 1u << 1,    // write acknowledgements 0x04
    serialKindRssiReply = 1u << 2,  // RSSI threshold replies 0x08
    serialKindRssiAck = 1u << 3,    // RSSI threshold write acknowledgements (0x0A or 0x04)
    serialKindAll = serialKindReply | serialKindAck | serialKindRssiReply | serialKindRssiAck,
};

// Parses a comma list of "reply", "ack", "rssi-reply", "rssi-ack" or "all";
// false on an unknown word or an empty item.
bool parseSerialKinds(const char* text, unsigned* kinds);

constexpr int serialLateTicksMax = 3600;
constexpr int serialStrayMax = 64;     // noise bytes before one answer
constexpr int serialSplitPartsMax = 16;
constexpr int serialGapTicksMax = 3600;

struct SerialFaults {
    unsigned silent = 0;  // kinds never sent
    unsigned badCrc = 0;  // kinds sent with the low byte of the CRC inverted
    unsigned late = 0;    // kinds sent lateTicks ticks after the request came
    int lateTicks = 3;    // 0..serialLateTicksMax
    unsigned stray = 0;   // kinds written behind strayBytes noise bytes, in the same write
    int strayBytes = 3;   // 0..serialStrayMax
    unsigned split = 0;   // kinds written in splitParts pieces
    int splitParts = 2;   // 1..serialSplitPartsMax (at most one piece per byte)
    int splitGapTicks = 0;  // ticks between two pieces; 0 = one write right after the other
    int latePct = 0;      // 0..100: any other answer held lateTicks ticks with this chance
    uint32_t seed = 1;    // of the latePct choices (--seed, shared with the faulty wire)
};

// The reader's parameters: the union of the fields of every layout. A
// layout carries the fields it has (see encodeSerialRecord); the others are
// kept, so a reader keeps its values when its model code is changed. The
// single antenna code of the WIFI, domain and dual-network layouts is
// antenna0Baud; the wired layout carries all three codes (the model-2 page
// uses antenna1Baud). Defaults are those of a reader as delivered.
struct SerialRecordValues {
    SerialRecordValues();

    FixedText<paramVersionSize> version;  // "V2.14-230612"
    ConnectSettings connect;  // wait mode, "admin", "314159", platform 192.168.1.100:8800, ID 1
    IpSettings net;           // DHCP off, 192.168.1.200, 255.255.255.0, 192.168.1.1
    IpSettings wifiNet;       // dual-network WIFI side: DHCP off, 192.168.2.200, /24, 192.168.2.1
    uint8_t rs485Baud = 4;    // baud-rate codes: 4 = 115200
    uint8_t antenna0Baud = 4;
    uint8_t antenna1Baud = 4;
    uint8_t antennaMerge = 0;
    MacAddress mac{};      // 02-51-56-00-00-01 (wired interface)
    MacAddress wifiMac{};  // 02-51-56-00-00-02 (dual-network WIFI interface)
    FixedText<paramTextSize> ssid;          // "reader-ap"
    FixedText<paramTextSize> wifiPassword;  // "12345678"
    uint8_t network = networkWired;         // dual-network choice
    uint8_t domainEnabled = 0;
    FixedText<paramDomainSize> domain;  // "platform.example.com"
    uint8_t reserved = 0;  // the echoed byte of the compact, domain and dual-network layouts
    int8_t rssiThreshold = 0;  // the signal filter's threshold; 0 = filter off
};

// The record's length for a model code: its layout's, and the wired
// layout's for a code without a layout (such a reader still names its code
// at offset 16).
size_t serialRecordSize(uint8_t model);

// The parameter record of a reader of `model`: the version text (all 16
// bytes of the field), the model code, the layout's fields at their offsets
// and zeros in the bytes the tools ignore. Returns the length, or 0 when
// cap is too small.
size_t encodeSerialRecord(uint8_t model, const SerialRecordValues& values, uint8_t* out,
                          size_t cap);

// The write payloads read back into the fields of their layout, the inverse
// of the tools' encoders (paramRecords.h), without their rules: every field
// as its bytes stand. A field that lies (partly) behind length is kept's
// (zeros by default). Where one place holds either of two fields (the
// compact and the dual-network writes), the mode byte decides: platform IP
// when active, device ID in wait mode, and the other stays 0.
WiredParams decodeWiredWrite(const uint8_t* payload, size_t length,
                             const WiredParams& kept = WiredParams());
WifiParams decodeWifiWrite(const uint8_t* payload, size_t length,
                           const WifiParams& kept = WifiParams());
CompactWiredParams decodeCompactWiredWrite(const uint8_t* payload, size_t length,
                                           const CompactWiredParams& kept = CompactWiredParams());
DomainParams decodeDomainWrite(const uint8_t* payload, size_t length,
                               const DomainParams& kept = DomainParams());
DualNetworkParams decodeDualNetworkWrite(const uint8_t* payload, size_t length,
                                         const DualNetworkParams& kept = DualNetworkParams());

// applied: the whole write of the model was read (bytes behind it are not);
// partial: the write was shorter than the model's, and the fields it does
// not carry whole keep their values; noLayout: the model has no write
// layout, nothing is stored.
enum class SerialWriteResult { applied, partial, noLayout };

// Stores a write as a reader of `model` does: the fields its write carries,
// and nothing of what the tool leaves out by rule, which keeps its value:
//  - in wait mode the platform IP and port (the identity "admin"/"314159"
//    is stored), in active mode the device ID;
//  - with DHCP on, the three addresses;
//  - model 2: the RS485 and antenna-0 codes and the merge flag; model 52:
//    the baud codes, the merge flag and the device ID;
//  - WIFI: the second antenna code and the merge flag (written by the
//    oldest build only);
//  - domain: the domain name while disabled, the platform IP while enabled;
//  - dual-network: the network that is not chosen; the MAC addresses.
// A write shorter than the model's (a page of another model wrote it) is
// applied as far as it goes: a field it carries whole is stored by the
// rules above, the others keep their values.
SerialWriteResult applySerialWrite(uint8_t model, const uint8_t* payload, size_t length,
                                   SerialRecordValues* values);

// Everything a reader is made from.
struct SerialReaderConfig {
    uint8_t model = modelWired;  // any code; one without a layout answers with the wired layout
    uint8_t level = 3;           // byte 4 of every answer; 0 is refused by the tools
    SerialRecordValues values;
    SerialFaults faults;
    bool printSent = false;  // print a "tx" line for every answer
    // The command that acknowledges an RSSI threshold write: 0x0A, or 0x04.
    uint8_t rssiAckCommand = configCmdRssiWriteAck;
};

class SerialReader : private FrameSink {
public:
    // Answers waiting to be written (late, or written in pieces) at most.
    static constexpr size_t queueSize = 4;
    static constexpr size_t answerMax = serialStrayMax + configHeaderSize + serialRecordMax;

    SerialReader(const SerialReaderConfig& config, SerialWriter& writer, SimLog& log);
    SerialReader(const SerialReader&) = delete;
    SerialReader& operator=(const SerialReader&) = delete;

    // Bytes read from the port. Every whole frame among the held bytes is
    // printed and answered before the call returns.
    void onBytes(const uint8_t* bytes, size_t count);
    // About 1 ms passed without a byte: the cutter's idle poll (nothing while
    // no byte is held). A request whose rest never comes is dropped after
    // 50 of them in a row.
    void idlePoll();
    // One period of the reader's clock: late answers and the pieces of
    // split answers fall due.
    void tick();

    // The cutter holds bytes: the caller's waits for bytes should then last
    // about 1 ms, each one that sees no byte followed by idlePoll().
    bool holdsBytes() const { return cutter_.fillCount() != 0; }
    size_t pendingAnswers() const { return queued_; }

    uint8_t model() const { return config_.model; }
    uint8_t level() const { return config_.level; }
    const SerialRecordValues& values() const { return config_.values; }
    // The payload of the next parameter reply (encodeSerialRecord).
    size_t record(uint8_t* out, size_t cap) const;

    int readRequests() const { return reads_; }
    int writeRequests() const { return writes_; }
    int writesApplied() const { return applied_; }
    int rssiReads() const { return rssiReads_; }
    int rssiWrites() const { return rssiWrites_; }
    // Answers held at random (latePct).
    int lateAnswersChosen() const { return lateChosen_; }

    // "# stop reason=REASON reads=N writes=N applied=N".
    void printStop(const char* reason);

private:
    struct Answer {
        uint8_t bytes[answerMax];
        size_t stray;     // noise bytes in front of the frame
        size_t frame;     // frame bytes behind them
        uint8_t command;
        int parts;        // pieces the frame is written in
        int nextPart;     // pieces already written
        int countdown;    // ticks until the next piece may go
    };

    void onFrame(const uint8_t* frame, size_t total) override;
    void cutHeld();
    void onWrite(const uint8_t* payload, size_t length);
    void onRssiWrite(const uint8_t* payload, size_t length);
    void queueAnswer(unsigned kind, uint8_t command, const uint8_t* payload, size_t length);
    // Writes what is due, oldest answer first; a younger answer never
    // overtakes an older one, whose pieces would otherwise be mixed.
    void flush();

    SerialReaderConfig config_;
    SerialWriter& writer_;
    SimLog& log_;
    FrameCutter cutter_;

    Answer queue_[queueSize] = {};
    size_t head_ = 0;
    size_t queued_ = 0;
    int reads_ = 0;
    int writes_ = 0;
    int applied_ = 0;
    int rssiReads_ = 0;
    int rssiWrites_ = 0;
    LineRandom lateRandom_;
    int lateChosen_ = 0;
};
