// The software reader in the direct dialect, for the connecting console:
// it waits on UDP 4099 for the console's 33-byte login (user name and
// password, 16 bytes each, and the fixed byte 0x0A) and answers with a
// login ack whose version byte is the reader's protocol version. Below
// version 4 it answers heartbeats 0x04 with 0x05 and reports tags without
// leading bytes; from version 4 on it sends link requests 0x0F every
// linkPeriodTicks (the console relies on one within every 60 s) and starts
// every tag report with its four-byte reader ID.
#pragma once
#include "tools/readersim/waitingReader.h"

struct DirectReaderConfig : WaitingReaderConfig {
    int linkPeriodTicks = 20;  // version 4 on; kept below the console's 60 s
};

class DirectReader : public WaitingReader {
public:
    DirectReader(const DirectReaderConfig& config, TagSim& tags, FrameSender& sender,
                 SimLog& log);

    // What the direct dialect makes of a configuration.
    static WaitDialect dialectFor(const DirectReaderConfig& config);
};
