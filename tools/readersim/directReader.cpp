#include "tools/readersim/directReader.h"

WaitDialect DirectReader::dialectFor(const DirectReaderConfig& config)
{
    const bool linkRequests = config.version >= 4;
    WaitDialect d{};
    d.printAs = FrameDialect::direct;
    d.loginLength = 2 * simIdentityMax + 1;
    d.loginEnd = 0x0A;
    d.resultBytes = 1;
    d.acceptResult = 0;
    d.reportId = linkRequests;
    d.answersHeartbeats = !linkRequests;
    const int period = config.linkPeriodTicks > 0 ? config.linkPeriodTicks : 1;
    d.linkRequestTicks = linkRequests ? period : 0;
    return d;
}

DirectReader::DirectReader(const DirectReaderConfig& config, TagSim& tags, FrameSender& sender,
                           SimLog& log)
    : WaitingReader(config, dialectFor(config), tags, sender, log)
{
}
