// A direct or legacy reader wired to recorders: every frame it sends is
// kept with its destination, every output line is kept, and the console's
// side is played by hand-built frames.
#pragma once
#include <cstring>
#include <memory>
#include <vector>

#include "console/directCodes.h"
#include "tests/unit/readersim/readerFixture.h"
#include "tools/readersim/directReader.h"
#include "tools/readersim/legacyReader.h"

// The two 16-byte identity fields of a login, each text zero-padded.
inline Bytes identity(const char* user, const char* password)
{
    Bytes p(32, 0);
    std::memcpy(p.data(), user, std::strlen(user));
    std::memcpy(p.data() + 16, password, std::strlen(password));
    return p;
}

// The logins as the two consoles send them.
inline Bytes directLogin(const char* user = "admin", const char* password = "314159")
{
    Bytes p = identity(user, password);
    p.push_back(0x0A);
    return frameV(4, devCmdLogin, p);
}

inline Bytes legacyLogin(const char* user = "admin", const char* password = "314159")
{
    return frameV(0, devCmdLogin, identity(user, password));
}

inline Bytes loginFor(const DirectReaderConfig&) { return directLogin(); }
inline Bytes loginFor(const LegacyReaderConfig&) { return legacyLogin(); }

template <class Reader, class Config>
class WaitingFixture {
public:
    const NetAddr console{0x7F000001, 50123};
    Config config;
    TagSimConfig tagConfig;
    RecordingSender sender;
    RecordingLog log;

    // No tags unless a test asks for them, so reports do not mix with the
    // frames under test.
    WaitingFixture() { tagConfig.tagCount = 0; }

    Reader& reader()
    {
        if (!reader_) {
            tags_.reset(new TagSim(tagConfig));
            reader_.reset(new Reader(config, *tags_, sender, log));
        }
        return *reader_;
    }

    void deliver(const Bytes& datagram, const NetAddr& from)
    {
        reader().onDatagram(datagram.data(), datagram.size(), from);
    }
    void deliver(const Bytes& datagram) { deliver(datagram, console); }

    // The console's login, accepted; the recorders are cleared afterwards.
    void login()
    {
        reader().start();
        deliver(loginFor(config));
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

    // The ticks (1, 2, ...) at which frames with code went out during n ticks.
    std::vector<int> ticksSending(uint8_t code, int n)
    {
        std::vector<int> at;
        for (int t = 1; t <= n; ++t) {
            const size_t before = sentWithCode(code).size();
            reader().tick();
            if (sentWithCode(code).size() > before)
                at.push_back(t);
        }
        return at;
    }

private:
    std::unique_ptr<TagSim> tags_;
    std::unique_ptr<Reader> reader_;
};

using DirectFixture = WaitingFixture<DirectReader, DirectReaderConfig>;
using LegacyFixture = WaitingFixture<LegacyReader, LegacyReaderConfig>;
