// The command line of readersim: "readersim MODE [options]". The options
// are one table (name, value, modes, help text, handler), from which both
// the parser (CLI11, one subcommand per mode) and the --help text of each
// mode come. Values are read strictly by the table's handlers: a number
// must be a whole number in its range (decimal, or hexadecimal with 0x),
// and anything else is an error that names the option.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "console/directCodes.h"
#include "tools/readersim/directReader.h"
#include "tools/readersim/legacyReader.h"
#include "tools/readersim/lineFaults.h"
#include "tools/readersim/listenReader.h"
#include "tools/readersim/tagSim.h"
#if defined(READERSIM_SERIAL)
#include "tools/readersim/serialRun.h"
#endif
#if defined(READERSIM_LEGACY_SERIAL)
#include "tools/readersim/legacySerialReader.h"
#endif

// READERSIM_SERIAL: the serial core is built (TAGDESK_SERIAL), and with it
// the mode serial.
enum class SimMode {
    none,
    listen,
    direct,
    legacy,
#if defined(READERSIM_SERIAL)
    serial,
#endif
#if defined(READERSIM_LEGACY_SERIAL)
    legacySerial,  // the legacy settings tool's R7A
#endif
};

struct SimOptions {
    SimMode mode = SimMode::none;
    bool help = false;
    int tickMs = 1000;
    int durationSeconds = 0;  // 0 = until interrupted
    uint16_t localPort = 0;   // listen: the port sent from; 0 = any free port
    NetAddr waitAt{0x7F000001, devReaderPort};  // direct, legacy: where the reader waits
    bool printSent = false;
    static constexpr size_t pcapPathMax = 260;  // bytes of the --pcap path, its zero included
    char pcapPath[pcapPathMax] = "";             // --pcap: the capture file; empty: none
    ListenReaderConfig listen;
    DirectReaderConfig direct;
    LegacyReaderConfig legacy;
    TagSimConfig tags;
    UdpLineConfig line;  // UDP modes: the faulty line in front of the socket
#if defined(READERSIM_SERIAL)
    SerialSimConfig serial;  // serial: everything but the clock; printSent is copied in
#endif
#if defined(READERSIM_LEGACY_SERIAL)
    LegacySerialSimConfig legacySerial;  // legacy-serial: likewise
#endif
};

// Exit codes of the program.
enum : int { simExitOk = 0, simExitFailure = 1, simExitUsage = 2 };

// Parses argv[1..argc-1]. On failure returns false with a one-line message
// in error (capacity errorCap).
bool parseSimOptions(int argc, const char* const* argv, SimOptions* options, char* error,
                     size_t errorCap);

// The --help text: of one mode, or of every mode with SimMode::none.
std::string simUsage(SimMode mode = SimMode::none);

// "a.b.c.d" to a host-order address; false for anything else.
bool parseDottedIpv4(const char* text, uint32_t* ip);
