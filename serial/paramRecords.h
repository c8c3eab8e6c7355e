// The reader's parameter record (payload of the parameter reply) and the
// write payloads of the write request, one layout family per reader model,
// as plain byte codecs: the pages decode the record store into a layout's
// fields, edit them, and encode the write payload, which applies the
// model's rules (wait-mode identity, DHCP, fields a model leaves 0).
//
// Every layout starts with the head: 16 bytes of version text (zero-padded;
// a text filling the field has no zero) and the model code at offset 16.
// Text fields are fixed-size byte fields in the reader's code page (GBK)
// padded with zeros; conversion to and from UTF-8 or UTF-16 is the
// platform's business (common/textCodec.h, with gbkTruncate for byte limits). IPv4 addresses travel first octet first and are held
// here as 32-bit values with the first octet in the top byte (the value of
// an IP address control). Ports and device IDs are big-endian.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

constexpr size_t paramStoreSize = 512;  // the tool's copy of the last reply
constexpr size_t paramVersionSize = 16;
constexpr size_t paramTextSize = 32;    // name, password, SSID, WIFI password
constexpr size_t paramDomainSize = 60;
constexpr size_t paramMacSize = 6;
constexpr size_t paramMacTextSize = 18;  // "%02X-%02X-%02X-%02X-%02X-%02X" and a zero

// Reader model codes (record offset 16).
enum : uint8_t {
    modelWired = 1,            // wired, RS485 and two antennas
    modelWiredOneAntenna = 2,  // wired, one antenna
    modelWifi = 3,             // WIFI
    modelDomain = 5,           // platform by domain name or IP
    modelCompactWired = 6,     // wired, no baud rates
    modelDualNetwork = 7,      // wired or WIFI
    modelWiredActive = 52,     // wired, active connection only
};

enum class ParamLayout { wired, compactWired, wifi, domain, dualNetwork };

// Write payload lengths per layout.
constexpr size_t wiredWriteSize = 93;
constexpr size_t compactWiredWriteSize = 85;
constexpr size_t wifiWriteSize = 157;
constexpr size_t domainWriteSize = 133;
constexpr size_t dualNetworkWriteSize = 164;
constexpr size_t paramMaxWriteSize = dualNetworkWriteSize;

struct ParamModelInfo {
    uint8_t code;
    ParamLayout layout;
    size_t writeSize;
    // Lowest protocol level at which the page shows the record's device ID
    // and MAC address when it is filled from a reply; 0 = shown at any level.
    uint8_t deviceIdLevel;
    uint8_t macLevel;
};

inline constexpr ParamModelInfo paramModels[] = {
    {modelWired, ParamLayout::wired, wiredWriteSize, 2, 3},
    {modelWiredOneAntenna, ParamLayout::wired, wiredWriteSize, 2, 3},
    {modelWiredActive, ParamLayout::wired, wiredWriteSize, 0, 0},  // shows neither
    {modelWifi, ParamLayout::wifi, wifiWriteSize, 0, 2},
    {modelDomain, ParamLayout::domain, domainWriteSize, 0, 0},  // has neither
    {modelCompactWired, ParamLayout::compactWired, compactWiredWriteSize, 0, 0},
    {modelDualNetwork, ParamLayout::dualNetwork, dualNetworkWriteSize, 0, 0},
};

// The table row of a model code, or null for a code without a layout (0, 4, ...).
const ParamModelInfo* paramModelInfo(uint8_t code);

// A reply from a reader of level 0 is refused: its firmware is too old.
inline bool paramLevelSupported(uint8_t level) { return level != 0; }

// Baud-rate codes: the index into these rates, for the antenna and RS485
// interfaces of every serial tool. A list without a selection writes 0xFF.
constexpr size_t baudCodeCount = 5;
inline constexpr uint32_t baudRates[baudCodeCount] = {9600, 19200, 38400, 57600, 115200};
constexpr uint8_t baudCodeNone = 0xFF;

enum : uint8_t { connectWait = 0, connectActive = 1 };  // connect mode
enum : uint8_t { networkWired = 0, networkWifi = 1 };   // network choice (model 7)

// The identity written for wait mode.
inline constexpr char waitModeName[] = "admin";
inline constexpr char waitModePassword[] = "314159";

constexpr uint32_t ipv4(uint8_t a, uint8_t b, uint8_t c, uint8_t d)
{
    return uint32_t(a) << 24 | uint32_t(b) << 16 | uint32_t(c) << 8 | d;
}

// A fixed-size text field of the record: the raw bytes as received; the text
// ends at the first zero or at the end of the field.
template <size_t N>
struct FixedText {
    std::array<uint8_t, N> bytes{};

    size_t length() const
    {
        const void* zero = std::memchr(bytes.data(), 0, N);
        return zero ? size_t(static_cast<const uint8_t*>(zero) - bytes.data()) : N;
    }
    std::string_view view() const
    {
        return std::string_view(reinterpret_cast<const char*>(bytes.data()), length());
    }
    bool empty() const { return bytes[0] == 0; }
    // Copies at most N bytes and zero-pads; false when the text was cut.
    bool assign(const void* text, size_t count)
    {
        bytes.fill(0);
        const size_t n = count < N ? count : N;
        if (n > 0)
            std::memcpy(bytes.data(), text, n);
        return n == count;
    }
    bool assign(std::string_view text) { return assign(text.data(), text.size()); }
};

using MacAddress = std::array<uint8_t, paramMacSize>;

// DHCP flag and the three addresses of one network interface.
struct IpSettings {
    uint8_t dhcp = 0;  // 0 off, else on
    uint32_t ip = 0;
    uint32_t mask = 0;
    uint32_t gateway = 0;
};

// How the reader meets its platform.
struct ConnectSettings {
    uint8_t mode = connectWait;  // 0 wait, else active
    FixedText<paramTextSize> name;
    FixedText<paramTextSize> password;
    uint32_t platformIp = 0;
    uint16_t platformPort = 0;
    int32_t deviceId = 0;  // shown and entered as signed decimal
};

// Wired layout, models 1, 2 and 52.
struct WiredParams {
    ConnectSettings connect;  // mode 17, name 18, password 50, platform 82 and 86, ID 106
    IpSettings net;           // DHCP 88, IP 89, mask 93, gateway 97
    uint8_t rs485Baud = 0;    // 101
    uint8_t antenna0Baud = 0; // 102
    uint8_t antenna1Baud = 0; // 103, the only antenna code of model 2
    uint8_t antennaMerge = 0; // 105: reader 0 occupies both antenna interfaces
    MacAddress mac{};         // 110
};

// WIFI layout, model 3.
struct WifiParams {
    ConnectSettings connect;   // as wired; device ID at 170
    IpSettings net;            // as wired
    uint8_t antennaBaud = 0;   // 102
    uint8_t antenna1Baud = 0;  // 103, used by the oldest build only
    uint8_t antennaMerge = 0;  // 105, used by the oldest build only
    FixedText<paramTextSize> ssid;          // 106
    FixedText<paramTextSize> wifiPassword;  // 138
    MacAddress mac{};                       // 174
};

// Compact wired layout, model 6.
struct CompactWiredParams {
    ConnectSettings connect;  // mode 17, name 18, password 50, platform 82 and 86, ID 88
    IpSettings net;           // DHCP 92, IP 93, mask 97, gateway 101
    uint8_t reserved = 0;     // 105, echoed
    MacAddress mac{};         // 106
};

// Domain layout, model 5.
struct DomainParams {
    FixedText<paramTextSize> name;        // 17
    FixedText<paramTextSize> password;    // 49
    uint8_t domainEnabled = 0;            // 81
    FixedText<paramDomainSize> domain;    // 82
    uint32_t platformIp = 0;              // 142
    uint16_t platformPort = 0;            // 146
    uint8_t antennaBaud = 0;              // 148
    uint8_t reserved = 0;                 // 149, echoed
};

// Dual-network layout, model 7.
struct DualNetworkParams {
    uint8_t network = networkWired;         // 17: 1 WIFI, else wired
    FixedText<paramTextSize> ssid;          // 18
    FixedText<paramTextSize> wifiPassword;  // 50
    MacAddress wiredMac{};                  // 82
    IpSettings wired;                       // DHCP 88, IP 89, mask 93, gateway 97
    MacAddress wifiMac{};                   // 101
    IpSettings wifi;                        // DHCP 107, IP 108, mask 112, gateway 116
    ConnectSettings connect;  // mode 120, name 121, password 153, platform 185 and 189, ID 191
    uint8_t antennaBaud = 0;  // 195
    uint8_t reserved = 0;     // 197, echoed
};

// The tool's copy of the last parameter reply. Each copy clears the whole
// store first, so a short reply reads as zeros beyond its end and never
// shows bytes of an earlier reader; a reply longer than the store is cut.
struct ParamRecordStore {
    std::array<uint8_t, paramStoreSize> bytes{};
    size_t length = 0;       // payload bytes held, at most paramStoreSize
    size_t replyLength = 0;  // N of the reply as it came

    void assign(const uint8_t* payload, size_t count);
    uint8_t modelCode() const { return bytes[16]; }
    FixedText<paramVersionSize> version() const;
};

// The version text at the head of a reply payload, bounded by its 16-byte
// field and by the payload's length (for tools that keep no store).
std::string_view paramVersionText(const uint8_t* payload, size_t count);

WiredParams decodeWired(const ParamRecordStore& record);
WifiParams decodeWifi(const ParamRecordStore& record);
CompactWiredParams decodeCompactWired(const ParamRecordStore& record);
DomainParams decodeDomain(const ParamRecordStore& record);
DualNetworkParams decodeDualNetwork(const ParamRecordStore& record);

// A write payload ready for sendWriteRequest; the bytes behind length are 0.
struct WritePayload {
    std::array<uint8_t, paramMaxWriteSize> bytes{};
    size_t length = 0;
    const uint8_t* data() const { return bytes.data(); }
};

// Wired write (93 bytes) for model 1, 2 or 52; length 0 for another model.
//  model 1: active mode sends name, password, platform IP and port and
//    device ID 0; wait mode sends "admin", "314159", platform 0 and the
//    device ID at 89. DHCP on sends the three addresses as 0. The baud codes
//    go to 84, 85, 86 and the antenna-merge flag to 88.
//  model 2: as model 1 with only antenna1Baud, at 86.
//  model 52: always active, DHCP 0 with the three addresses, 84 to 92 zero.
WritePayload encodeWiredWrite(uint8_t model, const WiredParams& params);
// Compact wired write (85 bytes): the platform IP (active) or the device ID
// (wait) at 65, the port at 69 (0 in wait mode), the reserved byte at 84.
WritePayload encodeCompactWiredWrite(const CompactWiredParams& params);
// WIFI write (157 bytes): 0 to 83 as model 1, the antenna code at 85, the
// SSID at 89, the WIFI password at 121, the device ID at 153 (wait mode).
// secondAntenna (the oldest build's page) also sends antenna1Baud at 86 and
// the antenna-merge flag at 88, which stay 0 otherwise.
WritePayload encodeWifiWrite(const WifiParams& params, bool secondAntenna = false);
// Domain write (133 bytes): the domain name only when enabled, the platform
// IP only when not.
WritePayload encodeDomainWrite(const DomainParams& params);
// Dual-network write (164 bytes): only the chosen network's fields; the MAC
// addresses and the record's device-ID place are not sent (the device ID
// travels at 156 in wait mode, in the platform-address place).
WritePayload encodeDualNetworkWrite(const DualNetworkParams& params);

// True when the SSID text has a byte above 0x80: the field then carries the
// text converted to UTF-8 (with its zero) instead of its own bytes.
bool ssidNeedsUtf8(const uint8_t* text, size_t count);

// "%02X-%02X-%02X-%02X-%02X-%02X" into out (paramMacTextSize bytes).
void formatMac(const MacAddress& mac, char* out);
