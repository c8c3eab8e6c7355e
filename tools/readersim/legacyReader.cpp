#include "tools/readersim/legacyReader.h"

WaitDialect LegacyReader::dialectFor(const LegacyReaderConfig& config)
{
    WaitDialect d{};
    d.printAs = FrameDialect::legacy;
    d.loginLength = 2 * simIdentityMax;
    d.loginEnd = -1;
    d.resultBytes = config.shortLoginAck ? 1 : 2;
    d.acceptResult = config.loginResult;
    d.reportId = false;
    d.answersHeartbeats = true;
    d.linkRequestTicks = 0;
    return d;
}

LegacyReader::LegacyReader(const LegacyReaderConfig& config, TagSim& tags, FrameSender& sender,
                           SimLog& log)
    : WaitingReader(config, dialectFor(config), tags, sender, log)
{
}
