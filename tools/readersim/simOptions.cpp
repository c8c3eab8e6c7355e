#include "tools/readersim/simOptions.h"

#include <cstdarg>
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

enum : unsigned { modeListen = 1u << 0 };

// A handler applies one option; it returns false when the value is not
// acceptable, and the parser then quotes the option's expectation.
using Apply = bool (*)(SimOptions& o, const char* v);

struct OptionEntry {
    const char* name;    // nullptr: a heading of the help text
    const char* value;   // nullptr: a flag without a value
    unsigned modes;
    const char* expect;  // what the value must be, for error messages
    const char* help;    // help text; the default in brackets
    Apply apply;
};

const OptionEntry kOptions[] = {
    {nullptr, nullptr, 0, nullptr, "Connection", nullptr},
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
    {"--reader-id", "N", modeListen, "a number 0..4294967295",
     "32-bit value in the first four bytes of heartbeats and tag reports [1]",
     [](SimOptions& o, const char* v) {
         return parseNumber(v, 0, 0xFFFFFFFFLL, &o.listen.readerId);
     }},

    {nullptr, nullptr, 0, nullptr, "Timing (in ticks of --tick-ms)", nullptr},
    {"--tick-ms", "N", modeListen, "a whole number of milliseconds 10..60000",
     "length of one tick [1000]",
     [](SimOptions& o, const char* v) { return parseNumber(v, 10, 60000, &o.tickMs); }},
    {"--duration", "S", modeListen, "a whole number of seconds 0..31536000",
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

    {nullptr, nullptr, 0, nullptr, "Substations and tags", nullptr},
    {"--states", "LIST", modeListen, "up to 255 comma-separated states 0..255 (empty for none)",
     "substation states 0, 1, ... sent in every heartbeat [0]",
     [](SimOptions& o, const char* v) {
         return parseList(v, 0, 255, simStatesMax, o.listen.states, &o.listen.stateCount, true);
     }},
    {"--tags", "N", modeListen, "a whole number 0..1000000", "number of simulated tags [3]",
     [](SimOptions& o, const char* v) {
         return parseNumber(v, 0, simTagsMax, &o.tags.tagCount);
     }},
    {"--first-tag", "ID", modeListen, "a tag ID 0..4294967295", "ID of tag 0 [1]",
     [](SimOptions& o, const char* v) {
         return parseNumber(v, 0, 0xFFFFFFFFLL, &o.tags.firstTagId);
     }},
    {"--tag-step", "N", modeListen, "a number 0..4294967295",
     "ID distance between tags; 0 gives one ID at several substations [1]",
     [](SimOptions& o, const char* v) {
         return parseNumber(v, 0, 0xFFFFFFFFLL, &o.tags.tagIdStep);
     }},
    {"--substations", "LIST", modeListen, "up to 255 comma-separated numbers 0..255",
     "substation of tag i is entry i modulo the list length [0]",
     [](SimOptions& o, const char* v) {
         return parseList(v, 0, 255, simListMax, o.tags.substations, &o.tags.substationCount,
                          false);
     }},
    {"--rate", "N", modeListen, "a whole number 0..100000",
     "tag reports per tick, round robin over the tags [one per tag]",
     [](SimOptions& o, const char* v) {
         return parseNumber(v, 0, 100000, &o.tags.reportsPerTick);
     }},
    {"--rssi", "LIST", modeListen, "up to 255 comma-separated values -128..127",
     "RSSI in dB; report k of a tag carries entry k modulo the list length [-40]",
     [](SimOptions& o, const char* v) {
         return parseList(v, -128, 127, simListMax, o.tags.rssi, &o.tags.rssiCount, false);
     }},
    {"--low-voltage", "N", modeListen, "a whole number 0..1000000",
     "tags 0, N, 2N, ... report low voltage (status bit 0); 0 none [0]",
     [](SimOptions& o, const char* v) {
         return parseNumber(v, 0, simTagsMax, &o.tags.lowVoltageEvery);
     }},
    {"--extra", "HEX", modeListen, "0 to 7 bytes as hex digits, e.g. 0A0B0C",
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
    {"--status-bits", "N", modeListen, "an even number 0..0x1E (status bits 1..4)",
     "OR'ed into every status byte; 0x0E makes reports the console ignores [0]",
     [](SimOptions& o, const char* v) {
         long long b = 0;
         if (!parseWhole(v, 0, 0x1E, &b) || (b & 1))
             return false;
         o.tags.statusBits = uint8_t(b);
         return true;
     }},

    {nullptr, nullptr, 0, nullptr, "Answers to the console", nullptr},
    {"--reject-calls", nullptr, modeListen, nullptr,
     "answer calls (0x27) with 0x29 instead of 0x28",
     [](SimOptions& o, const char*) {
         o.listen.rejectCalls = true;
         return true;
     }},
    {"--reject-sms", nullptr, modeListen, nullptr,
     "answer short messages (0x2A) with 0x2C instead of 0x2B",
     [](SimOptions& o, const char*) {
         o.listen.rejectSms = true;
         return true;
     }},

    {nullptr, nullptr, 0, nullptr,
     "Misbehaviour (KINDS: a comma list of login, auth, heartbeat, report, answer\n   or all)", nullptr},
    {"--bad-crc", "KINDS", modeListen, "a list of frame kinds",
     "send these frames with a wrong CRC",
     [](SimOptions& o, const char* v) { return parseFrameKinds(v, &o.listen.faults.badCrc); }},
    {"--bad-length", "KINDS", modeListen, "a list of frame kinds",
     "send these frames with a length field one too large",
     [](SimOptions& o, const char* v) {
         return parseFrameKinds(v, &o.listen.faults.badLength);
     }},
    {"--oversize", "KINDS", modeListen, "a list of frame kinds",
     "pad these frames with zero bytes to 1100-byte datagrams",
     [](SimOptions& o, const char* v) { return parseFrameKinds(v, &o.listen.faults.oversize); }},
    {"--short-reports", nullptr, modeListen, nullptr,
     "leave the RSSI byte out of tag reports (shorter than their layout)",
     [](SimOptions& o, const char*) {
         o.listen.faults.shortReports = true;
         return true;
     }},

    {nullptr, nullptr, 0, nullptr, "Output", nullptr},
    {"--print-sent", nullptr, modeListen, nullptr,
     "also print every sent frame as a \"tx\" line",
     [](SimOptions& o, const char*) {
         o.printSent = true;
         return true;
     }},
    {"--help", nullptr, modeListen, nullptr, "show this text",
     [](SimOptions& o, const char*) {
         o.help = true;
         return true;
     }},
};

struct ModeEntry {
    const char* name;
    SimMode mode;  // SimMode::none: planned, not built yet
    unsigned bit;
};

const ModeEntry kModes[] = {
    {"listen", SimMode::listen, modeListen},
    {"direct", SimMode::none, 0},
    {"legacy", SimMode::none, 0},
    {"serial", SimMode::none, 0},
};

void fail(char* error, size_t cap, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;
void fail(char* error, size_t cap, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vsnprintf(error, cap, format, args);
    va_end(args);
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

bool parseSimOptions(int argc, const char* const* argv, SimOptions* options, char* error,
                     size_t errorCap)
{
    SimOptions o;
    if (argc < 2) {
        fail(error, errorCap, "no mode given; the first argument is the mode, e.g. listen");
        return false;
    }
    const char* first = argv[1];
    if (std::strcmp(first, "--help") == 0 || std::strcmp(first, "-h") == 0 ||
        std::strcmp(first, "help") == 0) {
        o.help = true;
        *options = o;
        return true;
    }
    const ModeEntry* mode = nullptr;
    for (const ModeEntry& m : kModes)
        if (std::strcmp(m.name, first) == 0)
            mode = &m;
    if (!mode) {
        fail(error, errorCap, "unknown mode '%s'; the first argument is the mode, e.g. listen",
             first);
        return false;
    }
    if (mode->mode == SimMode::none) {
        fail(error, errorCap, "mode '%s' is not available in this build yet", first);
        return false;
    }
    o.mode = mode->mode;

    for (int i = 2; i < argc; ++i) {
        const char* arg = argv[i];
        // "--name=value" or "--name value".
        const char* eq = std::strchr(arg, '=');
        const size_t nameLength = eq ? size_t(eq - arg) : std::strlen(arg);
        const OptionEntry* entry = nullptr;
        for (const OptionEntry& s : kOptions)
            if (s.name && std::strlen(s.name) == nameLength &&
                std::strncmp(s.name, arg, nameLength) == 0 && (s.modes & mode->bit))
                entry = &s;
        if (!entry && std::strcmp(arg, "-h") == 0) {
            o.help = true;
            continue;
        }
        if (!entry) {
            fail(error, errorCap, "unknown option '%s' for mode %s", arg, mode->name);
            return false;
        }
        const char* value = nullptr;
        if (entry->value) {
            if (eq)
                value = eq + 1;
            else if (i + 1 < argc)
                value = argv[++i];
            else {
                fail(error, errorCap, "%s needs a value (%s)", entry->name, entry->value);
                return false;
            }
        } else if (eq) {
            fail(error, errorCap, "%s takes no value", entry->name);
            return false;
        }
        if (!entry->apply(o, value)) {
            fail(error, errorCap, "%s: expected %s, got '%s'", entry->name, entry->expect,
                 value ? value : "");
            return false;
        }
    }
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

std::string simUsage()
{
    std::string text =
        "readersim - a software reader for the tag desk tools\n"
        "\n"
        "Usage:\n"
        "  readersim listen [options]   log in to a listening console and report tags\n"
        "  readersim --help             show this text\n"
        "  (the modes direct, legacy and serial are planned)\n"
        "\n"
        "In mode listen the reader logs in to the console at --server with --name,\n"
        "answers its challenge with an MD5 over the challenge and --password, then\n"
        "sends a heartbeat at once and every --heartbeat ticks, and reports its\n"
        "simulated tags every tick while linked. It answers calls (0x27) with 0x28\n"
        "and short messages (0x2A) with 0x2B. A login goes out again when no\n"
        "accepting answer comes within --login-retry ticks, and after\n"
        "--relogin-misses unanswered heartbeats in a row.\n"
        "\n"
        "Output (stdout, one line each, flushed): every received datagram as an\n"
        "\"rx ...\" line of key=value items, status lines starting with \"# \".\n"
        "Errors go to stderr. Exit codes: 0 done, 1 socket failure, 2 bad arguments.\n"
        "The line format is described in docs/readersim.md.\n"
        "\n"
        "Options of mode listen (default in brackets; --opt=value also works):\n";
    for (const OptionEntry& s : kOptions) {
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
        text += head + wrapHelp(s.help) + "\n";
    }
    text +=
        "\n"
        "Examples:\n"
        "  readersim listen --server 192.168.1.20:8800 --tags 20 --states 0,0,1,3\n"
        "  readersim listen --duration 60 --tick-ms 100 --rssi -50,-40,-60 --extra 0A0B\n"
        "  readersim listen --password 000000            (refused: wrong answer)\n"
        "  readersim listen --auth-delay 11              (refused: auth too late)\n"
        "  readersim listen --no-heartbeat               (link drops after 60 s)\n"
        "  readersim listen --bad-crc report --reject-calls\n";
    return text;
}
