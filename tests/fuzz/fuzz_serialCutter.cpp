// Drives the serial cutter with a script of appends, passes and idle polls
// taken from the input, beside a plain model of its rules; every verdict,
// every cut frame and the fill count must agree, and every cut frame goes
// through dispatchFrame and the record codecs.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "serial/frameCutter.h"
#include "serial/paramRecords.h"

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

// The rules of the cutter, written out plainly over a vector.
struct Model {
    std::vector<uint8_t> held;
    int idle = 0;
    size_t lastFill = 0;

    size_t append(const uint8_t* p, size_t n)
    {
        const size_t room = serialAssemblySize - held.size();
        const size_t k = n < room ? n : room;
        held.insert(held.end(), p, p + k);
        return k;
    }
    CutResult verdict(size_t* total) const
    {
        if (held.size() < configHeaderSize)
            return CutResult::waitHeader;
        if (std::memcmp(held.data(), "QVNR", 4) != 0)
            return CutResult::badMagic;
        *total = size_t(held[8]) * 256 + held[9] + configHeaderSize;
        if (*total > serialAssemblySize)
            return CutResult::oversize;
        return held.size() < *total ? CutResult::waitBody : CutResult::frame;
    }
    void clear()
    {
        held.clear();
        idle = 0;
        lastFill = 0;
    }
    void restartIfGrown()
    {
        if (held.size() >= configHeaderSize && held.size() != lastFill) {
            idle = 0;
            lastFill = held.size();
        }
    }
    CutResult cut(std::vector<uint8_t>* frame)
    {
        size_t total = 0;
        const CutResult r = verdict(&total);
        if (r == CutResult::waitBody)
            restartIfGrown();
        if (r == CutResult::badMagic || r == CutResult::oversize)
            clear();
        if (r == CutResult::frame) {
            frame->assign(held.begin(), held.begin() + long(total));
            held.erase(held.begin(), held.begin() + long(total));
            idle = 0;
            lastFill = 0;
        }
        return r;
    }
    bool idlePoll()
    {
        size_t total = 0;
        const CutResult r = verdict(&total);
        if (held.empty() || (r != CutResult::waitHeader && r != CutResult::waitBody))
            return false;
        restartIfGrown();
        if (++idle < serialIdlePolls)
            return false;
        clear();
        return true;
    }
};

// Decodes every reply with the layout of its model and encodes it back.
struct Replies : ConfigReplyHandler {
    ParamRecordStore store;
    void onParameterReply(uint8_t, const uint8_t* payload, size_t length) override
    {
        store.assign(payload, length);
        check(store.length <= paramStoreSize);
        const ParamModelInfo* model = paramModelInfo(store.modelCode());
        if (!model)
            return;
        size_t written = 0;
        switch (model->layout) {
        case ParamLayout::wired:
            written = encodeWiredWrite(model->code, decodeWired(store)).length;
            break;
        case ParamLayout::compactWired:
            written = encodeCompactWiredWrite(decodeCompactWired(store)).length;
            break;
        case ParamLayout::wifi:
            written = encodeWifiWrite(decodeWifi(store)).length;
            break;
        case ParamLayout::domain:
            written = encodeDomainWrite(decodeDomain(store)).length;
            break;
        case ParamLayout::dualNetwork:
            written = encodeDualNetworkWrite(decodeDualNetwork(store)).length;
            break;
        }
        check(written == model->writeSize);
    }
    void onWriteAcknowledged() override {}
};

struct Sink : FrameSink {
    Replies replies;
    std::vector<uint8_t> last;
    void onFrame(const uint8_t* frame, size_t total) override
    {
        check(total >= configHeaderSize && total <= serialAssemblySize);
        check(std::memcmp(frame, configMagic, 4) == 0);
        check(total == size_t(frame[8]) * 256 + frame[9] + configHeaderSize);
        last.assign(frame, frame + total);
        dispatchFrame(frame, total, replies);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FrameCutter cutter;
    Model model;
    Sink sink;
    size_t at = 0;
    uint8_t frame[serialAssemblySize];
    while (at < size) {
        const uint8_t op = data[at++];
        size_t len = op >> 2;
        switch (op & 3) {
        case 0: {  // raw bytes, up to 63 (0 means a long burst of up to 1100)
            if (len == 0)
                len = at < size ? size_t(data[at++]) * 5 : 0;
            const size_t n = len < size - at ? len : size - at;
            check(cutter.append(data + at, n) == model.append(data + at, n));
            at += n;
            break;
        }
        case 1: {  // one pass
            std::vector<uint8_t> expected;
            sink.last.clear();
            check(cutter.cut(sink) == model.cut(&expected));
            check(sink.last == expected);
            break;
        }
        case 2:  // quiet polls
            for (size_t i = 0; i <= len; ++i)
                check(cutter.idlePoll() == model.idlePoll());
            break;
        case 3: {  // a well-formed frame: command and level from the input, payload of len bytes
            if (size - at < 2)
                return 0;
            const uint8_t command = data[at] & 0x0F;
            const uint8_t level = data[at + 1];
            at += 2;
            const size_t n = len * 4 < size - at ? len * 4 : size - at;
            const size_t total =
                buildConfigFrame(frame, sizeof frame, level, command, data + at, n);
            at += n;
            check(cutter.append(frame, total) == model.append(frame, total));
            break;
        }
        }
        check(cutter.fillCount() == model.held.size());
        check(cutter.idleCount() == model.idle);
    }
    return 0;
}
