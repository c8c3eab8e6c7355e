#include "tools/readerconf/readerLink.h"

#include <algorithm>
#include <chrono>

#include "serial/configFrame.h"
#include "setup/setupShell.h"

namespace {

// Keeps the first frame of a wanted command that passes its check.
class WantedSink : public FrameSink {
public:
    WantedSink(std::initializer_list<uint8_t> wanted, LinkReply* reply)
        : wanted_(wanted), reply_(reply)
    {
    }
    void onFrame(const uint8_t* frame, size_t total) override
    {
        ConfigFrame f;
        if (done || configFrameCheck(frame, total, &f) != ConfigCheck::ok)
            return;
        if (std::find(wanted_.begin(), wanted_.end(), f.command) == wanted_.end())
            return;
        done = true;
        if (reply_) {
            reply_->level = f.level;
            reply_->command = f.command;
            reply_->payload.assign(f.payload, f.payload + f.length);
        }
    }
    bool done = false;

private:
    std::initializer_list<uint8_t> wanted_;
    LinkReply* reply_;
};

}  // namespace

bool ReaderLink::request(const uint8_t* frame, size_t count, std::initializer_list<uint8_t> wanted,
                         LinkReply* reply)
{
    using Clock = std::chrono::steady_clock;
    // Bytes of an earlier exchange are not this reply.
    for (uint8_t scrap[serialReadSize]; device_.readComBytes(scrap, sizeof scrap, 0) > 0;) {
    }
    FrameCutter cutter;
    WantedSink sink(wanted, reply);
    device_.writeComBytes(frame, count);
    // The countdown of the configuration tool: three ticks of the reply timer.
    for (int left = setupReplyTicks; left > 0 && !sink.done; --left) {
        const Clock::time_point tick = Clock::now() + std::chrono::milliseconds(tickMs_);
        while (!sink.done) {
            const auto now = Clock::now();
            if (now >= tick)
                break;
            const int waitMs = int(std::min<long long>(
                serialReceiveWaitMs,
                std::chrono::duration_cast<std::chrono::milliseconds>(tick - now).count() + 1));
            uint8_t bytes[serialReadSize];
            const long got = device_.readComBytes(bytes, sizeof bytes, waitMs);
            if (got > 0)
                cutter.append(bytes, size_t(got));
            for (CutResult r = cutter.cut(sink); !sink.done && r != CutResult::waitHeader &&
                                                  r != CutResult::waitBody;
                 r = cutter.cut(sink)) {
            }
            if (got == 0)
                cutter.idlePoll();  // a frame whose rest never comes is dropped in time
        }
    }
    return sink.done;
}

bool ReaderLink::readRecord(LinkReply* reply)
{
    return request(configReadRequest, configHeaderSize, {configCmdParamReply}, reply);
}

bool ReaderLink::writeRecord(const uint8_t* payload, size_t length)
{
    uint8_t frame[configHeaderSize + configMaxRequestPayload];
    const size_t n = buildConfigFrame(frame, sizeof frame, 0, configCmdWriteRequest, payload, length);
    return n != 0 && request(frame, n, {configCmdWriteAck}, nullptr);
}
