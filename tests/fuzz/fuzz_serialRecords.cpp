// Takes the input as a parameter reply payload (and as a frame): the store
// bounds it, every layout decodes it, and every write payload keeps its
// length and the rules of its model whatever the record held.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "serial/configFrame.h"
#include "serial/paramRecords.h"

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

bool zeros(const WritePayload& w, size_t from, size_t to)  // inclusive
{
    for (size_t i = from; i <= to; ++i) {
        if (w.bytes[i] != 0)
            return false;
    }
    return true;
}

bool text(const WritePayload& w, size_t at, size_t field, const char* expected)
{
    const size_t n = std::strlen(expected);
    return std::memcmp(&w.bytes[at], expected, n) == 0 && zeros(w, at + n, at + field - 1);
}

void checkWaitIdentity(const WritePayload& w, size_t nameAt)
{
    check(text(w, nameAt, paramTextSize, waitModeName));
    check(text(w, nameAt + paramTextSize, paramTextSize, waitModePassword));
}

struct NullHandler : ConfigReplyHandler {
    void onParameterReply(uint8_t, const uint8_t* payload, size_t length) override
    {
        ParamRecordStore s;
        s.assign(payload, length);
    }
    void onWriteAcknowledged() override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // As a frame.
    ConfigFrame f;
    if (configFrameCheck(data, size, &f) == ConfigCheck::ok)
        check(f.length + configHeaderSize == size);
    NullHandler handler;
    dispatchFrame(data, size, handler);

    // As a reply payload.
    ParamRecordStore store;
    store.assign(data, size);
    check(store.length == (size < paramStoreSize ? size : paramStoreSize));
    check(store.replyLength == size);
    for (size_t i = store.length; i < paramStoreSize; ++i)
        check(store.bytes[i] == 0);
    check(store.version().length() <= paramVersionSize);
    const std::string_view version = paramVersionText(data, size);
    check(version.size() <= paramVersionSize && version.size() <= size);

    // Every layout, whatever the model byte says.
    const WiredParams wired = decodeWired(store);
    for (uint8_t model : {modelWired, modelWiredOneAntenna, modelWiredActive}) {
        const WritePayload w = encodeWiredWrite(model, wired);
        check(w.length == wiredWriteSize && zeros(w, wiredWriteSize, paramMaxWriteSize - 1));
        if (model == modelWiredActive) {
            check(w.bytes[0] == 1 && w.bytes[71] == 0 && zeros(w, 84, 92));
            continue;
        }
        check(w.bytes[0] == (wired.connect.mode != 0 ? 1 : 0));
        if (wired.connect.mode == 0) {
            checkWaitIdentity(w, 1);
            check(zeros(w, 65, 70));
        } else {
            check(zeros(w, 89, 92));
        }
        if (wired.net.dhcp != 0)
            check(w.bytes[71] == 1 && zeros(w, 72, 83));
        check(w.bytes[87] == 0);
        if (model == modelWiredOneAntenna)
            check(w.bytes[84] == 0 && w.bytes[85] == 0 && w.bytes[88] == 0);
    }

    const CompactWiredParams compact = decodeCompactWired(store);
    const WritePayload wc = encodeCompactWiredWrite(compact);
    check(wc.length == compactWiredWriteSize && wc.bytes[84] == compact.reserved);
    if (compact.connect.mode == 0)
        checkWaitIdentity(wc, 1);

    const WifiParams wifi = decodeWifi(store);
    for (bool second : {false, true}) {
        const WritePayload w = encodeWifiWrite(wifi, second);
        check(w.length == wifiWriteSize && w.bytes[84] == 0 && w.bytes[87] == 0);
        check(std::memcmp(&w.bytes[89], wifi.ssid.bytes.data(), wifi.ssid.length()) == 0);
        if (!second)
            check(w.bytes[86] == 0 && w.bytes[88] == 0);
        if (wifi.connect.mode != 0)
            check(zeros(w, 153, 156));
    }

    const DomainParams domain = decodeDomain(store);
    const WritePayload wd = encodeDomainWrite(domain);
    check(wd.length == domainWriteSize && wd.bytes[132] == domain.reserved);
    check(domain.domainEnabled != 0 ? zeros(wd, 125, 128) : zeros(wd, 65, 124));

    const DualNetworkParams dual = decodeDualNetwork(store);
    const WritePayload w7 = encodeDualNetworkWrite(dual);
    check(w7.length == dualNetworkWriteSize && w7.bytes[163] == dual.reserved);
    check(dual.network == networkWifi ? zeros(w7, 65, 77) : zeros(w7, 1, 64) && zeros(w7, 78, 90));
    if (dual.connect.mode == 0)
        checkWaitIdentity(w7, 92);

    (void)ssidNeedsUtf8(data, size);
    return 0;
}
