// One machine-readable line per datagram, for the reader's output and for
// the end-to-end tests that assert the consoles' bytes with grep or awk.
//
//   rx from=IP:PORT ver=V code=0xCC name=NAME len=L payload=HEX [fields...]
//   rx from=IP:PORT bad=short|magic|length|crc size=N bytes=HEX
//
// "tx ... to=IP:PORT ..." lines have the same shape for sent frames. Every
// item is key=value without blanks; HEX is upper-case, two digits a byte,
// empty for no bytes. The decoded fields per code are listed in
// docs/readersim.md; a payload that does not fit its layout adds
// malformed=short (fields cut where the bytes end) or malformed=trailing.
#pragma once
#include <cstddef>
#include <cstdint>

#include "console/netAddr.h"
#include "tools/readersim/simLog.h"

// Which command set names and decodes the codes: the listening dialect
// (0x20..0x2C), the direct dialect (0x01..0x10) and its older variant.
enum class FrameDialect { listen, direct, legacy };

// "a.b.c.d:port" into out (at least 22 bytes).
void formatNetAddr(char* out, size_t cap, const NetAddr& addr);

// Name of a code in a dialect ("netCodeLabelAlarm"), or nullptr.
const char* frameCodeName(FrameDialect dialect, uint8_t code);

// Formats one datagram into out (capacity cap, at least 1) and returns the
// line length. A line longer than cap is cut; simLineMax holds any
// datagram of up to 2048 bytes.
size_t formatFrame(char* out, size_t cap, FrameDialect dialect, bool received,
                   const NetAddr& peer, const uint8_t* datagram, size_t size);

void printFrame(SimLog& log, FrameDialect dialect, bool received, const NetAddr& peer,
                const uint8_t* datagram, size_t size);

// A sender that writes a "tx" line for every frame before passing it on.
class PrintingSender : public FrameSender {
public:
    PrintingSender(FrameSender& inner, SimLog& log, FrameDialect dialect)
        : inner_(inner), log_(log), dialect_(dialect)
    {
    }
    void sendFrame(const NetAddr& to, const uint8_t* frame, size_t length) override
    {
        printFrame(log_, dialect_, false, to, frame, length);
        inner_.sendFrame(to, frame, length);
    }

private:
    FrameSender& inner_;
    SimLog& log_;
    FrameDialect dialect_;
};
