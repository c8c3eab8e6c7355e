// The software reader in the older variant of the direct dialect, for the
// legacy console: a 32-byte login (user name and password, 16 bytes each),
// a 16-bit result in the login ack, heartbeats answered with the states,
// tag reports always without leading bytes and no link requests. The
// short message it receives is padded to 124 bytes.
#pragma once
#include "tools/readersim/waitingReader.h"

struct LegacyReaderConfig : WaitingReaderConfig {
    uint16_t loginResult = 0;    // result for a login that passes; not 0 refuses it
    bool shortLoginAck = false;  // the result in one byte (its low byte)
    LegacyReaderConfig() { version = 2; }
};

class LegacyReader : public WaitingReader {
public:
    LegacyReader(const LegacyReaderConfig& config, TagSim& tags, FrameSender& sender,
                 SimLog& log);

    static WaitDialect dialectFor(const LegacyReaderConfig& config);
};
