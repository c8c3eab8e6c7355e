// Feeds arbitrary datagrams to the connecting console's and the legacy
// console's link cores, linked or not, then ticks them. Every frame a core
// sends must itself pass the frame check.
#include <cstddef>
#include <cstdint>

#include "console/connect/directLink.h"
#include "console/legacy/legacyLink.h"

namespace {

class CheckingSender : public FrameSender {
public:
    void sendFrame(const NetAddr&, const uint8_t* frame, size_t length) override
    {
        NetPdu pdu;
        if (netPduValidate(frame, length, &pdu) != NetCheck::ok)
            __builtin_trap();
    }
};

void quiet(void*, const char*) {}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static TagStore store;
    static TagStore legacyStore(legacyStoreCapacity);
    static SubstationTable substations;
    static CheckingSender sender;
    static DirectLink direct(store, substations, sender);
    static LegacyLink legacy(legacyStore, substations, sender);
    netTraceSetSink(quiet, nullptr);
    if (size == 0)
        return 0;
    const uint8_t mode = data[0];
    ++data;
    --size;
    store.clear();
    legacyStore.clear();
    direct.close();
    direct.open(0x7F000001);
    legacy.close();
    legacy.open(0x7F000001);
    const NetAddr reader{0x7F000001, devReaderPort};
    if (mode & 1) {
        // Linked first, with the version the next bits pick.
        const uint8_t ok[1] = {0};
        uint8_t frame[16];
        size_t n = netPduBuildVersion(frame, sizeof frame, uint8_t(mode >> 1 & 7), devCmdLoginAck, ok, 1);
        direct.onDatagram(frame, n, reader);
        const uint8_t ok16[2] = {0, 0};
        n = netPduBuildVersion(frame, sizeof frame, 0, devCmdLoginAck, ok16, 2);
        legacy.onDatagram(frame, n, reader);
    }
    direct.onDatagram(data, size, reader);
    legacy.onDatagram(data, size, reader);
    if (size <= netMaxPayload) {
        // The same bytes as a valid frame of the code the input's last byte picks.
        uint8_t frame[netMaxDatagram];
        const uint8_t code = size ? uint8_t(data[size - 1] % 0x11) : devCmdLabelReport;
        const size_t n = netPduBuildVersion(frame, sizeof frame, 4, code, data, size);
        direct.onDatagram(frame, n, reader);
        legacy.onDatagram(frame, n, reader);
    }
    for (int i = 0; i < (mode >> 4); ++i) {
        direct.netClientTick();
        legacy.netClientTick();
    }
    direct.sendLabelAlarm(CallFrame{1, 100, 5, 1});
    legacy.sendSms(SmsFrame{1, 100, 7, {2026, 1, 1, 0, 0, 0}, "abc"});
    return 0;
}
