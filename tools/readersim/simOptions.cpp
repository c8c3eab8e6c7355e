#include "tools/readersim/simOptions.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstring>

namespace {

// Strict whole number: optional '-', then decimal digits or 0x and hex
// digits, nothing after them, within [min, max].
bool parseWhole(const char* text, long long min, long long max, long long* out)
{
    const char* p = text;
    const bool negative = *p == '-';
    if (negative)
        ++p;
    int base = 10;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        base = 16;
        p += 2;
    }
    if (*p == '\0')
        return false;
    long long value = 0;
    for (; *p; ++p) {
        int digit;
        if (*p >= '0' && *p <= '9')
            digit = *p - '0';
        else if (base == 16 && *p >= 'a' && *p <= 'f')
            digit = *p - 'a' + 10;
        else if (base == 16 && *p >= 'A' && *p <= 'F')
            digit = *p - 'A' + 10;
        else
            return false;
        value = value * base + digit;
        if (value > (1LL << 40))
            return false;  // far beyond any range below
    }
    if (negative)
        value = -value;
    if (value < min || value > max)
        return false;
    *out = value;
    return true;
}

template <class T>
bool parseNumber(const char* text, long long min, long long max, T* out)
{
    long long v = 0;
    if (!parseWhole(text, min, max, &v))
        return false;
    *out = T(v);
    return true;
}

// A comma-separated list of whole numbers; an empty text is an empty list.
template <class T>
bool parseList(const char* text, long long min, long long max, int maxCount, T* out,
               int* count, bool allowEmpty)
{
    int n = 0;
    if (*text == '\0') {
        if (!allowEmpty)
            return false;
        *count = 0;
        return true;
    }
    char item[32];
    const char* p = text;
    for (;;) {
        const char* end = std::strchr(p, ',');
        const size_t len = end ? size_t(end - p) : std::strlen(p);
        if (len == 0 || len >= sizeof item || n >= maxCount)
            return false;
        std::memcpy(item, p, len);
        item[len] = '\0';
        long long v = 0;
        if (!parseWhole(item, min, max, &v))
            return false;
        out[n++] = T(v);
        if (!end)
            break;
        p = end + 1;
    }
    *count = n;
    return true;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool copyText(const char* text, char* field, size_t maxBytes)
{
    const size_t n = std::strlen(text);
    if (n > maxBytes)
        return false;
    std::memcpy(field, text, n + 1);
    return true;
}

bool parseEndpoint(const char* text, NetAddr* out)
{
    const char* colon = std::strrchr(text, ':');
    if (!colon || colon == text || size_t(colon - text) >= 16)
        return false;
    char host[16];
    std::memcpy(host, text, size_t(colon - text));
    host[colon - text] = '\0';
    uint32_t ip = 0;
    uint16_t port = 0;
    if (!parseDottedIpv4(host, &ip) || !parseNumber(colon + 1, 1, 65535, &port))
        return false;
    out->ip = ip;
    out->port = port;
    return true;
}

enum : unsigned {
    modeListen = 1u << 0,
    modeDirect = 1u << 1,
    modeLegacy = 1u << 2,
    modeWaiting = modeDirect | modeLegacy,  // the readers that wait for a console
    modeUdp = modeListen | modeWaiting,      // the readers on UDP
    modeSerial = 1u << 3,
    modeLegacySerial = 1u << 4,  // the legacy settings tool's R7A
#if defined(READERSIM_SERIAL)
    modeAll = modeUdp | modeSerial | modeLegacySerial,
#else
    modeAll = modeUdp,
#endif
};

// The parts of the configuration that several modes share; the parser
// sets the mode before any option is applied.
ReaderBasics& basics(SimOptions& o)
{
    switch (o.mode) {
    case SimMode::direct:
        return o.direct;
    case SimMode::legacy:
        return o.legacy;
    default:
        return o.listen;
    }
}

WaitingReaderConfig& waiting(SimOptions& o)
{
    if (o.mode == SimMode::legacy)
        return o.legacy;
    return o.direct;
}

#if defined(READERSIM_SERIAL)
// "XX-XX-XX-XX-XX-XX" (hex digits, '-' or ':' between them).
bool parseMac(const char* text, MacAddress* mac)
{
    if (std::strlen(text) != 17)
        return false;
    MacAddress out{};
    for (size_t i = 0; i < out.size(); ++i) {
        const char* p = text + 3 * i;
        const int hi = hexDigit(p[0]), lo = hexDigit(p[1]);
        if (hi < 0 || lo < 0 || (i < 5 && p[2] != '-' && p[2] != ':'))
            return false;
        out[i] = uint8_t(hi << 4 | lo);
    }
    *mac = out;
    return true;
}

// A baud-rate code 0..4, or 0xFF for none.
bool parseBaudCode(const char* text, uint8_t* code)
{
    long long v = 0;
    if (!parseWhole(text, 0, 255, &v) || (v >= static_cast<long long>(baudCodeCount) && v != baudCodeNone))
        return false;
    *code = uint8_t(v);
    return true;
}

template <size_t N>
bool assignText(const char* text, FixedText<N>* field)
{
    return std::strlen(text) <= N && field->assign(std::string_view(text));
}

bool parseChoice(const char* text, const char* zero, const char* one, uint8_t* out)
{
    if (std::strcmp(text, zero) == 0)
        *out = 0;
    else if (std::strcmp(text, one) == 0)
        *out = 1;
    else
        return false;
    return true;
}

SerialRecordValues& record(SimOptions& o) { return o.serial.values; }
SerialFaults& serialFaults(SimOptions& o) { return o.serial.faults; }

// The faulty wire of the chosen serial mode.
SerialLineConfig& serialLine(SimOptions& o)
{
#if defined(READERSIM_LEGACY_SERIAL)
    if (o.mode == SimMode::legacySerial)
        return o.legacySerial.line;
#endif
    return o.serial.line;
}
#endif

// A handler applies one option; it returns false when the value is not
// acceptable, and the parser then quotes the option's expectation.
using Apply = bool (*)(SimOptions& o, const char* v);

struct OptionEntry {
    const char* name;    // nullptr: a heading of the help text
    const char* value;   // nullptr: a flag without a value
    unsigned modes;      // a heading shows in the help of these modes
    const char* expect;  // what the value must be, for error messages
    const char* help;    // help text; the default in brackets
    Apply apply;
};

const OptionEntry kOptions[] = {
    {nullptr, nullptr, modeAll, nullptr, "Connection", nullptr},
#if defined(READERSIM_SERIAL)
    {"--device", "PATH", modeSerial, "a device path of at most 127 bytes, or COMn with n 1..32",
     "serial port to serve (required): a tty path such as one end of a socat pty pair, "
     "or COMn (n 1..32)",
     [](SimOptions& o, const char* v) {
         return serialDeviceTextValid(v) && copyText(v, o.serial.device, comDevicePathMax - 1);
     }},
#endif
    {"--server", "IP:PORT", modeListen, "a dotted IPv4 address, a colon and a port 1..65535",
     "console to log in to [127.0.0.1:8800]",
     [](SimOptions& o, const char* v) { return parseEndpoint(v, &o.listen.server); }},
    {"--local-port", "N", modeListen, "a port 0..65535",
     "UDP port the reader sends from; 0 picks a free one [0]",
     [](SimOptions& o, const char* v) { return parseNumber(v, 0, 65535, &o.localPort); }},
    {"--name", "TEXT", modeListen, "a device name of at most 64 bytes",
     "device name sent in the login [dev001]",
     [](SimOptions& o, const char* v) { return copyText(v, o.listen.deviceName, simNameMax); }},
    {"--password", "TEXT", modeListen, "a password of at most 31 bytes",
     "device password used in the answer; give a wrong one to be refused [314159]",
     [](SimOptions& o, const char* v) {
         return copyText(v, o.listen.password, simPasswordMax);
     }},
    {"--bind", "IP", modeWaiting, "a dotted IPv4 address",
     "address to wait on; 0.0.0.0 for every interface [127.0.0.1]",
     [](SimOptions& o, const char* v) { return parseDottedIpv4(v, &o.waitAt.ip); }},
    {"--port", "N", modeWaiting, "a port 0..65535",
     "UDP port to wait on; the consoles send to 4099; 0 picks a free one [4099]",
     [](SimOptions& o, const char* v) { return parseNumber(v, 0, 65535, &o.waitAt.port); }},
    {"--user", "TEXT", modeWaiting, "a user name of at most 16 bytes",
     "user name a login must carry; other logins are refused [admin]",
     [](SimOptions& o, const char* v) { return copyText(v, waiting(o).user, simIdentityMax); }},
    {"--password", "TEXT", modeWaiting, "a password of at most 16 bytes",
     "password a login must carry; other logins are refused [314159]",
     [](SimOptions& o, const char* v) {
         return copyText(v, waiting(o).password, simIdentityMax);
     }},
    {"--version", "N", modeDirect, "a version 0..255",
     "protocol version, the version byte of every frame; below 4 the reader answers "
     "heartbeats and reports without leading bytes, from 4 on it sends link requests and "
     "starts reports with --reader-id [4]",
     [](SimOptions& o, const char* v) { return parseNumber(v, 0, 255, &o.direct.version); }},
    {"--version", "N", modeLegacy, "a version 0..255",
     "version byte of every frame; the console does not read it [2]",
     [](SimOptions& o, const char* v) { return parseNumber(v, 0, 255, &o.legacy.version); }},
    {"--reader-id", "N", modeUdp, "a number 0..4294967295",
     "32-bit value in the four leading bytes of the frames that have them: heartbeats and "
     "reports (listen), link requests and version-4 reports (direct) [1]",
     [](SimOptions& o, const char* v) {
         return parseNumber(v, 0, 0xFFFFFFFFLL, &basics(o).readerId);
     }},

#if defined(READERSIM_SERIAL)
    {nullptr, nullptr, modeSerial, nullptr, "Reader and parameter record", nullptr},
    {"--model", "N", modeSerial, "a model code 0..255",
     "model code at record offset 16; 1, 2, 52 wired, 3 WIFI, 5 domain, 6 compact, "
     "7 dual-network; any other code answers in the wired layout [1]",
     [](SimOptions& o, const char* v) { return parseNumber(v, 0, 255, &o.serial.model); }},
    {"--level", "N", modeSerial, "a level 0..255",
     "byte 4 of every answer; 0 makes the tool refuse the reader [3]",
     [](SimOptions& o, const char* v) { return parseNumber(v, 0, 255, &o.serial.level); }},
    {"--version-text", "TEXT", modeSerial, "a text of at most 16 bytes",
     "version text of the record [V2.14-230612]",
     [](SimOptions& o, const char* v) { return assignText(v, &record(o).version); }},
    {"--connect", "MODE", modeSerial, "wait or active", "connect mode: wait or active [wait]",
     [](SimOptions& o, const char* v) {
         return parseChoice(v, "wait", "active", &record(o).connect.mode);
     }},
    {"--device-name", "TEXT", modeSerial, "a text of at most 32 bytes",
     "device name [admin]",
     [](SimOptions& o, const char* v) { return assignText(v, &record(o).connect.name); }},
    {"--device-password", "TEXT", modeSerial, "a text of at most 32 bytes",
     "device password [314159]",
     [](SimOptions& o, const char* v) { return assignText(v, &record(o).connect.password); }},
    {"--platform", "IP:PORT", modeSerial,
     "a dotted IPv4 address, a colon and a port 1..65535",
     "platform address [192.168.1.100:8800]",
     [](SimOptions& o, const char* v) {
         NetAddr a{};
         if (!parseEndpoint(v, &a))
             return false;
         record(o).connect.platformIp = a.ip;
         record(o).connect.platformPort = a.port;
         return true;
     }},
    {"--device-id", "N", modeSerial, "a number -2147483648..2147483647",
     "device ID, signed 32-bit [1]",
     [](SimOptions& o, const char* v) {
         return parseNumber(v, -2147483648LL, 2147483647LL, &record(o).connect.deviceId);
     }},
    {"--dhcp", nullptr, modeSerial, nullptr, "DHCP on (wired interface) [off]",
     [](SimOptions& o, const char*) {
         record(o).net.dhcp = 1;
         return true;
     }},
    {"--ip", "IP", modeSerial, "a dotted IPv4 address", "wired IP address [192.168.1.200]",
     [](SimOptions& o, const char* v) { return parseDottedIpv4(v, &record(o).net.ip); }},
    {"--mask", "IP", modeSerial, "a dotted IPv4 address", "wired net mask [255.255.255.0]",
     [](SimOptions& o, const char* v) { return parseDottedIpv4(v, &record(o).net.mask); }},
    {"--gateway", "IP", modeSerial, "a dotted IPv4 address", "wired gateway [192.168.1.1]",
     [](SimOptions& o, const char* v) { return parseDottedIpv4(v, &record(o).net.gateway); }},
    {"--rs485-baud", "CODE", modeSerial, "a baud-rate code 0..4 or 0xFF",
     "RS485 baud-rate code: 0..4 for 9600..115200, 0xFF none [4]",
     [](SimOptions& o, const char* v) { return parseBaudCode(v, &record(o).rs485Baud); }},
    {"--antenna-baud", "CODE", modeSerial, "a baud-rate code 0..4 or 0xFF",
     "antenna-0 baud-rate code; the one antenna of models 3, 5 and 7 [4]",
     [](SimOptions& o, const char* v) { return parseBaudCode(v, &record(o).antenna0Baud); }},
    {"--antenna1-baud", "CODE", modeSerial, "a baud-rate code 0..4 or 0xFF",
     "antenna-1 baud-rate code; the model-2 page's antenna [4]",
     [](SimOptions& o, const char* v) { return parseBaudCode(v, &record(o).antenna1Baud); }},
    {"--antenna-merge", "N", modeSerial, "a number 0..255", "merge flag (wired, WIFI) [0]",
     [](SimOptions& o, const char* v) { return parseNumber(v, 0, 255, &record(o).antennaMerge); }},
    {"--mac", "MAC", modeSerial, "six hex bytes as XX-XX-XX-XX-XX-XX",
     "MAC address (dual-network: wired) [02-51-56-00-00-01]",
     [](SimOptions& o, const char* v) { return parseMac(v, &record(o).mac); }},
    {"--ssid", "TEXT", modeSerial, "a text of at most 32 bytes", "WIFI SSID [reader-ap]",
     [](SimOptions& o, const char* v) { return assignText(v, &record(o).ssid); }},
    {"--wifi-password", "TEXT", modeSerial, "a text of at most 32 bytes",
     "WIFI password [12345678]",
     [](SimOptions& o, const char* v) { return assignText(v, &record(o).wifiPassword); }},
    {"--wifi-dhcp", nullptr, modeSerial, nullptr, "DHCP on (dual-network WIFI) [off]",
     [](SimOptions& o, const char*) {
         record(o).wifiNet.dhcp = 1;
         return true;
     }},
    {"--wifi-ip", "IP", modeSerial, "a dotted IPv4 address",
     "dual-network WIFI IP address [192.168.2.200]",
     [](SimOptions& o, const char* v) { return parseDottedIpv4(v, &record(o).wifiNet.ip); }},
    {"--wifi-mask", "IP", modeSerial, "a dotted IPv4 address",
     "dual-network WIFI net mask [255.255.255.0]",
     [](SimOptions& o, const char* v) { return parseDottedIpv4(v, &record(o).wifiNet.mask); }},
    {"--wifi-gateway", "IP", modeSerial, "a dotted IPv4 address",
     "dual-network WIFI gateway [192.168.2.1]",
     [](SimOptions& o, const char* v) {
         return parseDottedIpv4(v, &record(o).wifiNet.gateway);
     }},
    {"--wifi-mac", "MAC", modeSerial, "six hex bytes as XX-XX-XX-XX-XX-XX",
     "dual-network WIFI MAC address [02-51-56-00-00-02]",
     [](SimOptions& o, const char* v) { return parseMac(v, &record(o).wifiMac); }},
    {"--network", "NET", modeSerial, "wired or wifi", "dual-network choice: wired or wifi [wired]",
     [](SimOptions& o, const char* v) {
         return parseChoice(v, "wired", "wifi", &record(o).network);
     }},
    {"--domain", "TEXT", modeSerial, "a domain name of at most 60 bytes",
     "domain layout: enable the domain name and set it [off, platform.example.com]",
     [](SimOptions& o, const char* v) {
         if (!assignText(v, &record(o).domain))
             return false;
         record(o).domainEnabled = 1;
         return true;
     }},
    {"--reserved", "N", modeSerial, "a number 0..255",
     "the echoed byte (compact, domain, dual-network) [0]",
     [](SimOptions& o, const char* v) { return parseNumber(v, 0, 255, &record(o).reserved); }},
    {"--rssi-threshold", "N", modeSerial, "a number -128..127",
     "RSSI threshold of the signal filter, read with 0x07 and written with 0x09; the tool "
     "takes -127..0, 0 = filter off [0]",
     [](SimOptions& o, const char* v) {
         return parseNumber(v, -128, 127, &record(o).rssiThreshold);
     }},
    {"--rssi-ack", "CODE", modeSerial, "0x0A or 0x04",
     "command that acknowledges an RSSI threshold write [0x0A]",
     [](SimOptions& o, const char* v) {
         uint8_t code = 0;
         if (!parseNumber(v, 0, 255, &code) ||
             (code != configCmdRssiWriteAck && code != configCmdWriteAck))
             return false;
         o.serial.rssiAckCommand = code;
         return true;
     }},
#endif

    {nullptr, nullptr, modeWaiting, nullptr, "Login", nullptr},
    {"--refuse-login", nullptr, modeWaiting, nullptr, "refuse every login (result 1)",
     [](SimOptions& o, const char*) {
         waiting(o).refuseLogin = true;
         return true;
     }},
    {"--login-result", "N", modeLegacy, "a number 0..65535",
     "16-bit result in the ack of a login that passes; anything but 0 refuses it [0]",
     [](SimOptions& o, const char* v) { return parseNumber(v, 0, 65535, &o.legacy.loginResult); }},
    {"--short-login-ack", nullptr, modeLegacy, nullptr,
     "send the login ack's result as one byte (its low byte) instead of two",
     [](SimOptions& o, const char*) {
         o.legacy.shortLoginAck = true;
         return true;
     }},

    {nullptr, nullptr, modeAll, nullptr, "Timing (in ticks of --tick-ms)", nullptr},
    {"--tick-ms", "N", modeAll, "a whole number of milliseconds 10..60000",
     "length of one tick [1000]",
     [](SimOptions& o, const char* v) { return parseNumber(v, 10, 60000, &o.tickMs); }},
    {"--duration", "S", modeAll, "a whole number of seconds 0..31536000",
     "stop after S seconds; 0 runs until interrupted [0]",
     [](SimOptions& o, const char* v) {
         return parseNumber(v, 0, 31536000, &o.durationSeconds);
     }},
    {"--heartbeat", "N", modeListen, "a whole number of ticks 1..3600",
     "heartbeat period once linked [10]",
     [](SimOptions& o, const char* v) {
         return parseNumber(v, 1, 3600, &o.listen.heartbeatTicks);
     }},
    {"--no-heartbeat", nullptr, modeListen, nullptr,
     "send no heartbeats (the console drops the link after 60 s)",
     [](SimOptions& o, const char*) {
         o.listen.heartbeatTicks = 0;
         return true;
     }},
    {"--login-retry", "N", modeListen, "a whole number of ticks 0..3600",
     "log in again when no accepting answer came for N ticks; 0 never [5]",
     [](SimOptions& o, const char* v) {
         return parseNumber(v, 0, 3600, &o.listen.loginRetryTicks);
     }},
    {"--relogin-misses", "N", modeListen, "a whole number 0..1000",
     "log in again after N heartbeats in a row went unanswered; 0 never [3]",
     [](SimOptions& o, const char* v) {
         return parseNumber(v, 0, 1000, &o.listen.reloginMisses);
     }},
    {"--auth-delay", "N", modeListen, "a whole number of ticks 0..3600",
     "hold the auth request back N ticks after the login ack; 11 is too late [0]",
     [](SimOptions& o, const char* v) {
         return parseNumber(v, 0, 3600, &o.listen.authDelayTicks);
     }},
    {"--link-period", "N", modeDirect, "a whole number of ticks 1..59",
     "ticks between link requests from version 4 on; the console drops a link after 60 s "
     "without one [20]",
     [](SimOptions& o, const char* v) {
         return parseNumber(v, 1, 59, &o.direct.linkPeriodTicks);
     }},

    {nullptr, nullptr, modeUdp, nullptr, "Substations and tags", nullptr},
    {"--states", "LIST", modeUdp, "up to 255 comma-separated states 0..255 (empty for none)",
     "substation states 0, 1, ... sent in every heartbeat (listen), heartbeat ack and link "
     "request [0]",
     [](SimOptions& o, const char* v) {
         ReaderBasics& b = basics(o);
         return parseList(v, 0, 255, simStatesMax, b.states, &b.stateCount, true);
     }},
    {"--tags", "N", modeUdp, "a whole number 0..1000000", "number of simulated tags [3]",
     [](SimOptions& o, const char* v) {
         return parseNumber(v, 0, simTagsMax, &o.tags.tagCount);
     }},
    {"--first-tag", "ID", modeUdp, "a tag ID 0..4294967295", "ID of tag 0 [1]",
     [](SimOptions& o, const char* v) {
         return parseNumber(v, 0, 0xFFFFFFFFLL, &o.tags.firstTagId);
     }},
    {"--tag-step", "N", modeUdp, "a number 0..4294967295",
     "ID distance between tags; 0 gives one ID at several substations [1]",
     [](SimOptions& o, const char* v) {
         return parseNumber(v, 0, 0xFFFFFFFFLL, &o.tags.tagIdStep);
     }},
    {"--substations", "LIST", modeUdp, "up to 255 comma-separated numbers 0..255",
     "substation of tag i is entry i modulo the list length [0]",
     [](SimOptions& o, const char* v) {
         return parseList(v, 0, 255, simListMax, o.tags.substations, &o.tags.substationCount,
                          false);
     }},
    {"--rate", "N", modeUdp, "a whole number 0..100000",
     "tag reports per tick, round robin over the tags [one per tag]",
     [](SimOptions& o, const char* v) {
         return parseNumber(v, 0, 100000, &o.tags.reportsPerTick);
     }},
    {"--rssi", "LIST", modeUdp, "up to 255 comma-separated values -128..127",
     "RSSI in dB; report k of a tag carries entry k modulo the list length [-40]",
     [](SimOptions& o, const char* v) {
         return parseList(v, -128, 127, simListMax, o.tags.rssi, &o.tags.rssiCount, false);
     }},
    {"--low-voltage", "N", modeUdp, "a whole number 0..1000000",
     "tags 0, N, 2N, ... report low voltage (status bit 0); 0 none [0]",
     [](SimOptions& o, const char* v) {
         return parseNumber(v, 0, simTagsMax, &o.tags.lowVoltageEvery);
     }},
    {"--extra", "HEX", modeUdp, "0 to 7 bytes as hex digits, e.g. 0A0B0C",
     "extra-data bytes in every report; their count goes in status bits 5..7 [none]",
     [](SimOptions& o, const char* v) {
         const size_t n = std::strlen(v);
         if (n % 2 != 0 || n / 2 > size_t(simExtraMax))
             return false;
         for (size_t i = 0; i < n; i += 2) {
             const int hi = hexDigit(v[i]), lo = hexDigit(v[i + 1]);
             if (hi < 0 || lo < 0)
                 return false;
             o.tags.extra[i / 2] = uint8_t(hi << 4 | lo);
         }
         o.tags.extraCount = int(n / 2);
         return true;
     }},
    {"--status-bits", "N", modeUdp, "an even number 0..0x1E (status bits 1..4)",
     "OR'ed into every status byte; 0x0E makes reports the console ignores [0]",
     [](SimOptions& o, const char* v) {
         long long b = 0;
         if (!parseWhole(v, 0, 0x1E, &b) || (b & 1))
             return false;
         o.tags.statusBits = uint8_t(b);
         return true;
     }},
    {"--report-refused", nullptr, modeWaiting, nullptr,
     "report tags also after a refused login, to the address of the last login",
     [](SimOptions& o, const char*) {
         waiting(o).reportWhenRefused = true;
         return true;
     }},

    {nullptr, nullptr, modeUdp, nullptr, "Answers to the console", nullptr},
    {"--reject-calls", nullptr, modeUdp, nullptr,
     "answer calls with a rejection: 0x27 with 0x29 instead of 0x28 (listen), 0x06 with "
     "0x08 instead of 0x07 (direct, legacy)",
     [](SimOptions& o, const char*) {
         basics(o).rejectCalls = true;
         return true;
     }},
    {"--reject-sms", nullptr, modeUdp, nullptr,
     "answer short messages with a rejection: 0x2A with 0x2C instead of 0x2B (listen), 0x09 "
     "with 0x0B instead of 0x0A (direct, legacy)",
     [](SimOptions& o, const char*) {
         basics(o).rejectSms = true;
         return true;
     }},

    {nullptr, nullptr, modeUdp, nullptr,
     "Misbehaviour (KINDS: a comma list of login, auth, heartbeat, link, report,\n"
     "   answer or all)",
     nullptr},
    {"--silent", nullptr, modeWaiting, nullptr,
     "never answer and never send anything; received frames are still printed",
     [](SimOptions& o, const char*) {
         waiting(o).silent = true;
         return true;
     }},
    {"--stop-keepalive", "N", modeWaiting, "a whole number of ticks 0..31536000",
     "N ticks after the first accepted login stop answering heartbeats and sending link "
     "requests; reports go on [never]",
     [](SimOptions& o, const char* v) {
         return parseNumber(v, 0, 31536000, &waiting(o).keepAliveTicks);
     }},
    {"--bad-crc", "KINDS", modeUdp, "a list of frame kinds",
     "send these frames with a wrong CRC",
     [](SimOptions& o, const char* v) { return parseFrameKinds(v, &basics(o).faults.badCrc); }},
    {"--bad-length", "KINDS", modeUdp, "a list of frame kinds",
     "send these frames with a length field one too large",
     [](SimOptions& o, const char* v) {
         return parseFrameKinds(v, &basics(o).faults.badLength);
     }},
    {"--oversize", "KINDS", modeUdp, "a list of frame kinds",
     "pad these frames with zero bytes to 1100-byte datagrams",
     [](SimOptions& o, const char* v) {
         return parseFrameKinds(v, &basics(o).faults.oversize);
     }},
    {"--short-reports", nullptr, modeUdp, nullptr,
     "leave the RSSI byte out of tag reports (shorter than their layout)",
     [](SimOptions& o, const char*) {
         basics(o).faults.shortReports = true;
         return true;
     }},

    {nullptr, nullptr, modeUdp | modeSerial | modeLegacySerial, nullptr,
     "The faulty line (random, repeatable with --seed; a \"# line ...\" summary\n"
     "   at exit counts what the line did)",
     nullptr},
    {"--seed", "N", modeUdp | modeSerial | modeLegacySerial, "a number 0..4294967295",
     "seed of the line's random choices; the same seed spoils the same frames [1]",
     [](SimOptions& o, const char* v) {
         uint32_t seed = 0;
         if (!parseNumber(v, 0, 0xFFFFFFFFLL, &seed))
             return false;
         o.line.seed = seed;
#if defined(READERSIM_SERIAL)
         o.serial.line.seed = seed;
         o.serial.faults.seed = seed;
#endif
#if defined(READERSIM_LEGACY_SERIAL)
         o.legacySerial.line.seed = seed;
#endif
         return true;
     }},
    {"--loss", "PCT", modeUdp, "a whole percentage 0..100",
     "lose each sent frame with this chance [0]",
     [](SimOptions& o, const char* v) { return parseNumber(v, 0, 100, &o.line.lossPct); }},
    {"--dup", "PCT", modeUdp, "a whole percentage 0..100",
     "send each frame twice with this chance [0]",
     [](SimOptions& o, const char* v) { return parseNumber(v, 0, 100, &o.line.dupPct); }},
    {"--corrupt", "PCT", modeUdp, "a whole percentage 0..100",
     "flip one bit of the CRC, length or payload of each frame with this chance; the frame "
     "check refuses every such frame [0]",
     [](SimOptions& o, const char* v) { return parseNumber(v, 0, 100, &o.line.corruptPct); }},
    {"--reorder", "N", modeUdp, "a window of 0..64 reports",
     "shuffle tag reports within groups of N; a group leaves when full and at every tick "
     "[0, in order]",
     [](SimOptions& o, const char* v) {
         return parseNumber(v, 0, lineGroupMax, &o.line.reorderWindow);
     }},
    {"--burst", "N", modeUdp, "a group of 0..64 reports",
     "hold tag reports and send them N back to back; a group leaves when full and at every "
     "tick [0, as made]",
     [](SimOptions& o, const char* v) { return parseNumber(v, 0, lineGroupMax, &o.line.burst); }},
    {"--silence", "S", modeUdp, "a whole number of seconds 0..86400",
     "the line carries nothing, either way, for the last S seconds of every --silence-every "
     "period [0]",
     [](SimOptions& o, const char* v) {
         return parseNumber(v, 0, 86400, &o.line.silenceSeconds);
     }},
    {"--silence-every", "T", modeUdp, "a whole number of seconds 0..86400",
     "period of the --silence; 0 never [0]",
     [](SimOptions& o, const char* v) {
         return parseNumber(v, 0, 86400, &o.line.silenceEverySeconds);
     }},
#if defined(READERSIM_SERIAL)
    {"--drop-bytes", "PCT", modeSerial | modeLegacySerial, "a percentage 0..100 with at most one decimal, e.g. 0.2",
     "lose each written byte with this chance [0]",
     [](SimOptions& o, const char* v) {
         // "N" or "N.D": kept in tenths of a percent.
         char whole[8];
         const char* dot = std::strchr(v, '.');
         const size_t n = dot ? size_t(dot - v) : std::strlen(v);
         if (n == 0 || n >= sizeof whole || (dot && (dot[1] < '0' || dot[1] > '9' || dot[2])))
             return false;
         std::memcpy(whole, v, n);
         whole[n] = '\0';
         int percent = 0;
         if (!parseNumber(whole, 0, 100, &percent))
             return false;
         const int permille = percent * 10 + (dot ? dot[1] - '0' : 0);
         if (permille > 1000)
             return false;
         serialLine(o).dropBytesPermille = permille;
         return true;
     }},
    {"--noise-max", "N", modeSerial | modeLegacySerial, "a whole number 0..64",
     "write 0..N random noise bytes before each answer or piece of one [0]",
     [](SimOptions& o, const char* v) {
         return parseNumber(v, 0, lineNoiseMax, &serialLine(o).noiseMax);
     }},
    {"--cut", "PCT", modeSerial | modeLegacySerial, "a whole percentage 0..100",
     "cut each write (answer or piece of one) at random points into 2..4 pieces with this "
     "chance; later writes wait behind the pieces, bytes never reorder [0]",
     [](SimOptions& o, const char* v) { return parseNumber(v, 0, 100, &serialLine(o).cutPct); }},
    {"--cut-gap-max", "MS", modeSerial | modeLegacySerial,
     "a whole number of milliseconds 0..10000",
     "each gap between two pieces of a --cut write is 0..MS ms at random [0]",
     [](SimOptions& o, const char* v) {
         return parseNumber(v, 0, lineCutGapMaxMs, &serialLine(o).cutGapMaxMs);
     }},
#endif

#if defined(READERSIM_SERIAL)
    {nullptr, nullptr, modeSerial, nullptr,
     "Misbehaviour (KINDS: a comma list of reply, ack, rssi-reply, rssi-ack or all)", nullptr},
    {"--silent", "KINDS", modeSerial, "a list of reply, ack, rssi-reply, rssi-ack or all",
     "never send these answers; a write is still stored",
     [](SimOptions& o, const char* v) { return parseSerialKinds(v, &serialFaults(o).silent); }},
    {"--bad-crc", "KINDS", modeSerial, "a list of reply, ack, rssi-reply, rssi-ack or all",
     "send these answers with the low byte of the CRC inverted",
     [](SimOptions& o, const char* v) { return parseSerialKinds(v, &serialFaults(o).badCrc); }},
    {"--late", "KINDS", modeSerial, "a list of reply, ack, rssi-reply, rssi-ack or all",
     "send these answers at the --late-ticks-th tick after the request",
     [](SimOptions& o, const char* v) { return parseSerialKinds(v, &serialFaults(o).late); }},
    {"--late-ticks", "N", modeSerial, "a whole number of ticks 0..3600",
     "delay of --late answers; with 1000-ms ticks 2 is in time for the tool, 4 too late [3]",
     [](SimOptions& o, const char* v) {
         return parseNumber(v, 0, serialLateTicksMax, &serialFaults(o).lateTicks);
     }},
    {"--late-pct", "PCT", modeSerial, "a whole percentage 0..100",
     "hold each answer of a kind not given to --late --late-ticks ticks with this chance, "
     "chosen by --seed, so punctual and late answers mix; counted as late= on the "
     "\"# line\" summary [0]",
     [](SimOptions& o, const char* v) { return parseNumber(v, 0, 100, &serialFaults(o).latePct); }},
    {"--stray", "KINDS", modeSerial, "a list of reply, ack, rssi-reply, rssi-ack or all",
     "write --stray-bytes noise bytes before these answers, in the same write",
     [](SimOptions& o, const char* v) { return parseSerialKinds(v, &serialFaults(o).stray); }},
    {"--stray-bytes", "N", modeSerial, "a whole number 0..64",
     "noise bytes before a --stray answer [3]",
     [](SimOptions& o, const char* v) {
         return parseNumber(v, 0, serialStrayMax, &serialFaults(o).strayBytes);
     }},
    {"--split", "KINDS", modeSerial, "a list of reply, ack, rssi-reply, rssi-ack or all",
     "write these answers in --split-parts pieces",
     [](SimOptions& o, const char* v) { return parseSerialKinds(v, &serialFaults(o).split); }},
    {"--split-parts", "N", modeSerial, "a whole number 1..16",
     "pieces of a --split answer, at most one per byte [2]",
     [](SimOptions& o, const char* v) {
         return parseNumber(v, 1, serialSplitPartsMax, &serialFaults(o).splitParts);
     }},
    {"--split-gap", "N", modeSerial, "a whole number of ticks 0..3600",
     "ticks between two pieces; 0 writes them right after each other [0]",
     [](SimOptions& o, const char* v) {
         return parseNumber(v, 0, serialGapTicksMax, &serialFaults(o).splitGapTicks);
     }},
#endif

#if defined(READERSIM_LEGACY_SERIAL)
    {nullptr, nullptr, modeLegacySerial, nullptr, "The R7A of the legacy settings tool", nullptr},
    {"--device", "PATH", modeLegacySerial, "a device path of at most 127 bytes, or COMn with n 1..32",
     "serial port to serve (required): a tty path or COMn (n 1..32)",
     [](SimOptions& o, const char* v) {
         return serialDeviceTextValid(v) && copyText(v, o.legacySerial.device, comDevicePathMax - 1);
     }},
    {"--reply-size", "N", modeLegacySerial, "57, 58 or 59",
     "parameter reply: 57 without threshold and flag, 58 with the threshold, 59 with both [59]",
     [](SimOptions& o, const char* v) {
         return parseNumber(v, long(r7aReplyBase), long(r7aReplyWithFlag), &o.legacySerial.replySize);
     }},
    {"--version-text", "TEXT", modeLegacySerial, "a text of at most 32 bytes",
     "version text [R7A-V1.7]",
     [](SimOptions& o, const char* v) {
         return copyText(v, o.legacySerial.record.version, r7aVersionSize);
     }},
    {"--ip", "IP", modeLegacySerial, "a dotted IPv4 address", "IP address [192.168.1.200]",
     [](SimOptions& o, const char* v) { return parseDottedIpv4(v, &o.legacySerial.record.ip); }},
    {"--mask", "IP", modeLegacySerial, "a dotted IPv4 address", "subnet mask [255.255.255.0]",
     [](SimOptions& o, const char* v) { return parseDottedIpv4(v, &o.legacySerial.record.mask); }},
    {"--gateway", "IP", modeLegacySerial, "a dotted IPv4 address", "default gateway [192.168.1.1]",
     [](SimOptions& o, const char* v) { return parseDottedIpv4(v, &o.legacySerial.record.gateway); }},
    {"--rs485-baud", "CODE", modeLegacySerial, "a code 0..255", "RS485 baud-rate code [4]",
     [](SimOptions& o, const char* v) { return parseNumber(v, 0, 255, &o.legacySerial.record.rs485Baud); }},
    {"--antenna-baud", "CODE", modeLegacySerial, "a code 0..255", "antenna 0 baud-rate code [4]",
     [](SimOptions& o, const char* v) { return parseNumber(v, 0, 255, &o.legacySerial.record.antenna0Baud); }},
    {"--antenna1-baud", "CODE", modeLegacySerial, "a code 0..255", "antenna 1 baud-rate code [4]",
     [](SimOptions& o, const char* v) { return parseNumber(v, 0, 255, &o.legacySerial.record.antenna1Baud); }},
    {"--threshold", "N", modeLegacySerial, "a number -128..127", "RSSI threshold [-80]",
     [](SimOptions& o, const char* v) { return parseNumber(v, -128, 127, &o.legacySerial.record.threshold); }},
    {"--flag", "N", modeLegacySerial, "a number 0..255", "ANT1-as-ANT0 flag byte [0]",
     [](SimOptions& o, const char* v) { return parseNumber(v, 0, 255, &o.legacySerial.record.flag); }},
    {"--silent", "KINDS", modeLegacySerial, "a list of reply, ack or all", "never send these answers",
     [](SimOptions& o, const char* v) { return parseSerialKinds(v, &o.legacySerial.faults.silent); }},
    {"--bad-crc", "KINDS", modeLegacySerial, "a list of reply, ack or all",
     "send these answers with the low CRC byte inverted",
     [](SimOptions& o, const char* v) { return parseSerialKinds(v, &o.legacySerial.faults.badCrc); }},
    {"--stray", "KINDS", modeLegacySerial, "a list of reply, ack or all",
     "write --stray-bytes noise bytes before these answers",
     [](SimOptions& o, const char* v) { return parseSerialKinds(v, &o.legacySerial.faults.stray); }},
    {"--stray-bytes", "N", modeLegacySerial, "a whole number 0..64", "noise bytes before a --stray answer [3]",
     [](SimOptions& o, const char* v) { return parseNumber(v, 0, serialStrayMax, &o.legacySerial.faults.strayBytes); }},
    {"--split", "KINDS", modeLegacySerial, "a list of reply, ack or all",
     "write these answers in --split-parts writes, one right after the other",
     [](SimOptions& o, const char* v) { return parseSerialKinds(v, &o.legacySerial.faults.split); }},
    {"--split-parts", "N", modeLegacySerial, "a whole number 1..16", "pieces of a --split answer [2]",
     [](SimOptions& o, const char* v) { return parseNumber(v, 1, serialSplitPartsMax, &o.legacySerial.faults.splitParts); }},
#endif

    {nullptr, nullptr, modeAll, nullptr, "Output", nullptr},
    {"--print-sent", nullptr, modeAll, nullptr,
     "also print every sent frame as a \"tx\" line",
     [](SimOptions& o, const char*) {
         o.printSent = true;
         return true;
     }},
    {"--pcap", "FILE", modeAll, "a file name of 1 to 259 bytes",
     "write every frame or serial read and write to FILE as a pcap capture, flushed as "
     "written (UDP as IPv4 packets, serial with link type 147; see docs/wireshark.md)",
     [](SimOptions& o, const char* v) {
         return *v != '\0' && copyText(v, o.pcapPath, SimOptions::pcapPathMax - 1);
     }},
    {"--help", nullptr, modeAll, nullptr, "show the help of this mode",
     [](SimOptions& o, const char*) {
         o.help = true;
         return true;
     }},
};

struct ModeEntry {
    const char* name;
    SimMode mode;  // SimMode::none: not in this build
    unsigned bit;
    const char* summary;   // its line of the usage list
    const char* about;     // what the reader does in this mode
    const char* examples;  // lines of the examples
};

const ModeEntry kModes[] = {
    {"listen", SimMode::listen, modeListen,
     "log in to a listening console and report tags",
     "In mode listen the reader logs in to the console at --server with --name,\n"
     "answers its challenge with an MD5 over the challenge and --password, then\n"
     "sends a heartbeat at once and every --heartbeat ticks, and reports its\n"
     "simulated tags every tick while linked. It answers calls (0x27) with 0x28\n"
     "and short messages (0x2A) with 0x2B. A login goes out again when no\n"
     "accepting answer comes within --login-retry ticks, and after\n"
     "--relogin-misses unanswered heartbeats in a row.\n",
     "  readersim listen --server 192.168.1.20:8800 --tags 20 --states 0,0,1,3\n"
     "  readersim listen --duration 60 --tick-ms 100 --rssi -50,-40,-60 --extra 0A0B\n"
     "  readersim listen --password 000000            (refused: wrong answer)\n"
     "  readersim listen --auth-delay 11              (refused: auth too late)\n"
     "  readersim listen --no-heartbeat               (link drops after 60 s)\n"
     "  readersim listen --bad-crc report --reject-calls\n"},
    {"direct", SimMode::direct, modeDirect,
     "wait on UDP 4099 for the connecting console",
     "In mode direct the reader waits on --bind:--port for the connecting\n"
     "console's login (0x01: --user and --password, 16 bytes each, then 0x0A)\n"
     "and answers it with a login ack (0x02, result 0 or 1) whose version byte\n"
     "is --version. Once a login is accepted it reports its tags every tick to\n"
     "the address the login came from. Below version 4 it answers heartbeats\n"
     "(0x04) with 0x05 and the --states; from version 4 on it sends a link\n"
     "request (0x0F) every --link-period ticks and expects a link ack (0x10).\n"
     "Calls (0x06) get 0x07, short messages (0x09) get 0x0A.\n",
     "  readersim direct --bind 0.0.0.0 --tags 20 --states 0,0,1,3\n"
     "  readersim direct --version 2                  (answers heartbeats)\n"
     "  readersim direct --refuse-login               (the console keeps retrying)\n"
     "  readersim direct --stop-keepalive 0           (link drops 60 s after login)\n"
     "  readersim direct --silent --print-sent\n"},
    {"legacy", SimMode::legacy, modeLegacy,
     "wait on UDP 4099 for the legacy console",
     "In mode legacy the reader is the older model: it waits on --bind:--port\n"
     "for the legacy console's 32-byte login (--user and --password, 16 bytes\n"
     "each) and answers with a 16-bit result (--login-result). Once a login is\n"
     "accepted it reports its tags every tick, always without leading bytes, to\n"
     "the address the login came from; it answers heartbeats (0x04) with 0x05\n"
     "and the --states, calls (0x06) with 0x07 and short messages (0x09, 124\n"
     "bytes) with 0x0A. It sends no link requests.\n",
     "  readersim legacy --tags 20 --substations 0,1,2 --states 0,1,0\n"
     "  readersim legacy --login-result 1             (refused: result 00 01)\n"
     "  readersim legacy --short-login-ack            (result in one byte)\n"
     "  readersim legacy --stop-keepalive 0           (reports alone keep the link)\n"},
#if defined(READERSIM_SERIAL)
    {"serial", SimMode::serial, modeSerial,
     "serve the configuration tools on a serial port",
     "In mode serial the reader answers the configuration tool on --device\n"
     "(115200 8N1): a read request (0x01) gets a parameter reply (0x02) with\n"
     "--level in byte 4 and the record in the layout of --model; a write\n"
     "request (0x03) is stored and acknowledged (0x04), so a re-read shows it.\n"
     "For the signal filter tool an RSSI read (0x07) gets the threshold (0x08)\n"
     "and an RSSI write (0x09) is stored and acknowledged (0x0A, or --rssi-ack).\n"
     "Received bytes go through the tools' own frame cutter. Every received\n"
     "frame is printed; the misbehaviour options spoil the answers by kind.\n",
     "  readersim serial --device build/sp/B --model 3 --level 3\n"
     "  readersim serial --device COM3 --model 7 --network wifi\n"
     "  readersim serial --device build/sp/B --level 0       (refused by the tool)\n"
     "  readersim serial --device build/sp/B --late reply --late-ticks 4\n"
     "  readersim serial --device build/sp/B --rssi-threshold -60 --silent rssi-reply\n"
     "  readersim serial --device build/sp/B --tick-ms 10 --split all --split-gap 2\n"
     "  readersim serial --device build/sp/B --cut 20 --cut-gap-max 30 --late-pct 10\n"},
#else
    {"serial", SimMode::none, 0, nullptr, nullptr, nullptr},
#endif
#if defined(READERSIM_LEGACY_SERIAL)
    {"legacy-serial", SimMode::legacySerial, modeLegacySerial,
     "serve the legacy settings tool (R7A)",
     "In mode legacy-serial the reader is an R7A on --device (115200 8N1) in the\n"
     "older dialect (CRC low byte first): a read request (0x01) gets one\n"
     "parameter reply (0x02) of --reply-size bytes; a write request (0x03) is\n"
     "stored and acknowledged (0x04), so a re-read shows it. Every received\n"
     "frame is printed; the misbehaviour options spoil the answers by kind.\n",
     "  readersim legacy-serial --device build/sp/B --reply-size 57\n"
     "  readersim legacy-serial --device COM3 --ip 10.0.0.7 --flag 1\n"
     "  readersim legacy-serial --device build/sp/B --split reply --stray ack\n"
     "  readersim legacy-serial --device build/sp/B --cut 30 --cut-gap-max 20\n"},
#endif
};

const ModeEntry* findMode(SimMode mode)
{
    for (const ModeEntry& m : kModes)
        if (m.mode == mode && mode != SimMode::none)
            return &m;
    return nullptr;
}

}  // namespace


bool parseDottedIpv4(const char* text, uint32_t* ip)
{
    uint32_t value = 0;
    const char* p = text;
    for (int part = 0; part < 4; ++part) {
        if (*p < '0' || *p > '9')
            return false;
        unsigned octet = 0;
        int digits = 0;
        while (*p >= '0' && *p <= '9') {
            octet = octet * 10 + unsigned(*p - '0');
            if (++digits > 3 || octet > 255)
                return false;
            ++p;
        }
        value = value << 8 | octet;
        if (part < 3) {
            if (*p != '.')
                return false;
            ++p;
        }
    }
    if (*p != '\0')
        return false;
    *ip = value;
    return true;
}

namespace {

// A refused command line, with the one-line message for stderr.
struct ArgumentError {
    std::string message;
};

// The message for the first argument that the mode's subcommand could not
// place, or "" when it placed them all. (CLI11's remaining_size() leaves out
// a "--"; remaining() has it.)
std::string unknownArgument(const CLI::App& sub, const ModeEntry& mode)
{
    const std::vector<std::string> unknown = sub.remaining();
    return unknown.empty() ? std::string()
                           : "unknown option '" + unknown.front() + "' for mode " + mode.name;
}

// The options of one mode, from the table, on that mode's subcommand. Every
// callback runs as its option is read (trigger_on_parse), so values are
// applied and refused in command-line order, and an unknown argument before
// an option is reported first, as it came first.
void addModeOptions(CLI::App& sub, const ModeEntry& mode, SimOptions& o)
{
    CLI::App* app = &sub;
    for (const OptionEntry& entry : kOptions) {
        if (!entry.name || (entry.modes & mode.bit) == 0)
            continue;
        const OptionEntry* e = &entry;
        const bool isHelp = std::strcmp(e->name, "--help") == 0;
        CLI::Option* option = sub.add_option(
            isHelp ? "-h,--help" : e->name, [app, e, &mode, &o](const CLI::results_t& values) {
                if (std::string unknown = unknownArgument(*app, mode); !unknown.empty())
                    throw ArgumentError{unknown};
                const std::string& value = values.front();
                // A flag reads "true" when given alone and the text after '=' otherwise.
                if (!e->value && value != "true")
                    throw ArgumentError{std::string(e->name) + " takes no value"};
                if (!e->apply(o, e->value ? value.c_str() : nullptr))
                    throw ArgumentError{std::string(e->name) + ": expected " + e->expect +
                                        ", got '" + value + "'"};
                return true;
            });
        option->trigger_on_parse();
        if (e->value)
            option->type_name(e->value);
        else
            option->expected(0);
    }
    // No mode takes words: a positional whose check refuses every word puts
    // each one among the unknown arguments in its place, and makes "--" one
    // of them too (with no positional left, "--" would silently end the mode).
    sub.validate_positionals();
    sub.add_option("word")->check(
        CLI::Validator([](std::string&) { return std::string("not an option"); }, ""));
}

// The message for an error that CLI11 found. An argument it could not
// place is an unknown option (or, before any mode, an unknown mode); a value
// missing at the end of the line belongs to the last argument, "--opt" or
// "--opt=".
std::string describe(const CLI::ParseError& error, const CLI::App* sub, const ModeEntry* mode,
                     int argc, const char* const* argv)
{
    if (!sub || !mode) {
        for (const ModeEntry& m : kModes)
            if (std::strcmp(m.name, argv[1]) == 0)
                return std::string("mode '") + argv[1] + "' is not available in this build";
        return std::string("unknown mode '") + argv[1] +
               "'; the first argument is the mode, e.g. listen";
    }
    if (std::string unknown = unknownArgument(*sub, *mode); !unknown.empty())
        return unknown;
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&error)) {
        const std::string last = argv[argc - 1];
        const size_t eq = last.find('=');
        const std::string name = last.substr(0, eq);
        for (const OptionEntry& e : kOptions)
            if (e.name && e.value && (e.modes & mode->bit) && name == e.name)
                return eq == std::string::npos
                           ? name + " needs a value (" + e.value + ")"
                           : name + ": expected " + e.expect + ", got ''";
    }
    return error.what();
}

}  // namespace

bool parseSimOptions(int argc, const char* const* argv, SimOptions* options, char* error,
                     size_t errorCap)
{
    SimOptions o;
    auto fail = [&](const std::string& message) {
        std::snprintf(error, errorCap, "%s", message.c_str());
        return false;
    };
    if (argc < 2)
        return fail("no mode given; the first argument is the mode, e.g. listen");
    const std::string first = argv[1];
    if (first == "--help" || first == "-h" || first == "help") {
        o.help = true;
        *options = o;
        return true;
    }

    // One subcommand per mode of this build; exactly one is taken.
    CLI::App app("readersim");
    app.set_help_flag();  // the help is --help of each mode, written by simUsage
    app.require_subcommand(1);
    const ModeEntry* chosen = nullptr;
    CLI::App* chosenApp = nullptr;
    for (const ModeEntry& m : kModes) {
        if (m.mode == SimMode::none)
            continue;
        CLI::App* sub = app.add_subcommand(m.name, m.summary);
        sub->preparse_callback([&, sub, mode = &m](size_t) {
            chosen = mode;
            chosenApp = sub;
            o.mode = mode->mode;
        });
        addModeOptions(*sub, m, o);
    }
    try {
        app.parse(argc, argv);
    } catch (const ArgumentError& e) {
        return fail(e.message);
    } catch (const CLI::ParseError& e) {
        return fail(describe(e, chosenApp, chosen, argc, argv));
    }
    if (std::string unknown = unknownArgument(*chosenApp, *chosen); !unknown.empty())
        return fail(unknown);
#if defined(READERSIM_SERIAL)
    if (o.mode == SimMode::serial && !o.help && o.serial.device[0] == '\0')
        return fail("mode serial needs --device PATH (or COMn)");
#endif
#if defined(READERSIM_LEGACY_SERIAL)
    if (o.mode == SimMode::legacySerial && !o.help && o.legacySerial.device[0] == '\0')
        return fail("mode legacy-serial needs --device PATH (or COMn)");
#endif
    *options = o;
    return true;
}

namespace {

constexpr size_t kHelpIndent = 24;
constexpr size_t kHelpWidth = 79;

// Breaks a help text at blanks so that no line runs past kHelpWidth.
std::string wrapHelp(const char* help)
{
    std::string out;
    size_t column = kHelpIndent;
    const char* p = help;
    while (*p) {
        const char* end = std::strchr(p, ' ');
        const size_t n = end ? size_t(end - p) : std::strlen(p);
        if (column > kHelpIndent && column + 1 + n > kHelpWidth) {
            out += "\n" + std::string(kHelpIndent, ' ');
            column = kHelpIndent;
        } else if (column > kHelpIndent) {
            out += ' ';
            ++column;
        }
        out.append(p, n);
        column += n;
        p += n;
        while (*p == ' ')
            ++p;
    }
    return out;
}

}  // namespace

std::string simUsage(SimMode mode)
{
    const ModeEntry* only = findMode(mode);
    const unsigned shown = only ? only->bit : unsigned(modeAll);
    std::string text =
        "readersim - a software reader for the tag desk tools\n"
        "\n"
        "Usage:\n";
    for (const ModeEntry& m : kModes) {
        if (m.mode == SimMode::none || (m.bit & shown) == 0)
            continue;
        std::string head = std::string("  readersim ") + m.name + " [options]";
        head.resize(head.size() < 31 ? 31 : head.size() + 1, ' ');  // long names: one blank
        text += head + m.summary + "\n";
    }
    if (only) {
        text += std::string("  readersim ") + only->name + " --help" +
                std::string(std::strlen(only->name) < 12 ? 31 - 19 - std::strlen(only->name) : 1, ' ') +
                "show this text\n";
        text += "  readersim --help             every mode and option\n";
    } else {
        text += "  readersim MODE --help        the options of one mode\n"
                "  readersim --help             show this text\n"
#if !defined(READERSIM_SERIAL)
                "  (the mode serial is not in this build)\n"
#endif
                ;
    }
    for (const ModeEntry& m : kModes)
        if (m.mode != SimMode::none && (m.bit & shown) != 0)
            text += std::string("\n") + m.about;
    text +=
        "\n"
        "Output (stdout, one line each, flushed): every received datagram or serial\n"
        "frame as an \"rx ...\" line of key=value items, status lines starting with\n"
        "\"# \". Errors go to stderr. Exit codes: 0 done, 1 socket failure, a serial\n"
        "device that cannot be opened or a --pcap file that cannot be written, 2 bad\n"
        "arguments.\n"
        "The line format is described in docs/readersim.md.\n"
        "\n";
    if (only)
        text += std::string("Options of mode ") + only->name +
                " (default in brackets; --opt=value also works):\n";
    else
        text += "Options (default in brackets; --opt=value also works; the modes in\n"
                "parentheses when an option is not for every mode):\n";
    for (const OptionEntry& s : kOptions) {
        if ((s.modes & shown) == 0)
            continue;
        if (!s.name) {
            text += " ";
            text += s.help;
            text += "\n";
            continue;
        }
        std::string head = "  ";
        head += s.name;
        if (s.value) {
            head += " ";
            head += s.value;
        }
        if (head.size() < kHelpIndent)
            head.resize(kHelpIndent, ' ');
        else
            head += "\n" + std::string(kHelpIndent, ' ');
        std::string help = s.help;
        if (!only && s.modes != modeAll) {
            help += " (";
            const char* separator = "";
            for (const ModeEntry& m : kModes) {
                if (m.mode != SimMode::none && (m.bit & s.modes) != 0) {
                    help += separator;
                    help += m.name;
                    separator = ", ";
                }
            }
            help += ")";
        }
        text += head + wrapHelp(help.c_str()) + "\n";
    }
    text += "\nExamples:\n";
    for (const ModeEntry& m : kModes)
        if (m.mode != SimMode::none && (m.bit & shown) != 0)
            text += m.examples;
    return text;
}
