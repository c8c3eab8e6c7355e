// A listening-dialect reader wired to recorders: every frame it sends is
// kept with its destination, every output line is kept, and the platform's
// side is played by hand-built frames.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "tests/unit/listenFixture.h"
#include "tools/readersim/listenReader.h"

class RecordingLog : public SimLog {
public:
    std::vector<std::string> lines;
    void line(const char* text) override { lines.emplace_back(text); }
    bool contains(const std::string& text) const
    {
        for (const auto& l : lines)
            if (l == text)
                return true;
        return false;
    }
};

inline Bytes hexBytes(const char* hex)
{
    Bytes out;
    int hi = -1;
    for (const char* p = hex; *p; ++p) {
        int v;
        if (*p >= '0' && *p <= '9')
            v = *p - '0';
        else if (*p >= 'A' && *p <= 'F')
            v = *p - 'A' + 10;
        else if (*p >= 'a' && *p <= 'f')
            v = *p - 'a' + 10;
        else
            continue;  // blanks between bytes
        if (hi < 0) {
            hi = v;
        } else {
            out.push_back(uint8_t(hi << 4 | v));
            hi = -1;
        }
    }
    return out;
}

// The platform's accepting login ack with the challenge 0, 1, ..., 255.
inline Bytes loginAccept()
{
    Bytes p(257);
    p[0] = 0;
    for (int i = 0; i < 256; ++i)
        p[size_t(1 + i)] = uint8_t(i);
    return frameOf(netCodeLoginAck, p);
}

inline Bytes authAccept() { return frameOf(netCodeAuthAck, {0x00, 0x0F, 0x00, 0x00, 0x00, 0x01}); }

class ReaderFixture {
public:
    const NetAddr platform{0x7F000001, 8800};
    ListenReaderConfig config;
    TagSimConfig tagConfig;
    RecordingSender sender;
    RecordingLog log;

    ReaderFixture() { config.server = platform; }

    // Builds the reader from the configuration as it stands.
    ListenReader& reader()
    {
        if (!reader_) {
            tags_.reset(new TagSim(tagConfig));
            reader_.reset(new ListenReader(config, *tags_, sender, log));
        }
        return *reader_;
    }

    void deliver(const Bytes& datagram) { reader().onDatagram(datagram.data(), datagram.size(), platform); }

    // Start, accept the login and the auth: the reader is linked and has
    // sent its first heartbeat. The recorders are cleared afterwards.
    void link()
    {
        reader().start();
        deliver(loginAccept());
        deliver(authAccept());
        sender.frames.clear();
        log.lines.clear();
    }

    void ticks(int n)
    {
        for (int i = 0; i < n; ++i)
            reader().tick();
    }

    std::vector<SentFrame> sentWithCode(uint8_t code) const
    {
        std::vector<SentFrame> out;
        for (const SentFrame& f : sender.frames)
            if (f.code() == code)
                out.push_back(f);
        return out;
    }

private:
    std::unique_ptr<TagSim> tags_;
    std::unique_ptr<ListenReader> reader_;
};
