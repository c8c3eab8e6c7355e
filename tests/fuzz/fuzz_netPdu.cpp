// Feeds arbitrary datagrams to the frame check and the listening dispatch.
// The first input byte picks a state: whether a reader is linked (so tag
// reports and heartbeats reach the store) and how many ticks pass after.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/md5.h"
#include "console/listen/listenServer.h"

namespace {

class NullSender : public FrameSender {
public:
    void sendFrame(const NetAddr&, const uint8_t* frame, size_t length) override
    {
        NetPdu pdu;
        // Whatever the server sends must itself be a valid frame.
        if (netPduCheck(frame, length, &pdu) != NetCheck::ok)
            __builtin_trap();
        lastLength = length;
        std::memcpy(last, frame, length < sizeof last ? length : sizeof last);
    }
    uint8_t last[300];
    size_t lastLength = 0;
};

class ZeroRandom : public RandomSource {
public:
    void fill(uint8_t* out, size_t count) override { std::memset(out, 0x5A, count); }
};

void frame(uint8_t code, const uint8_t* payload, size_t length, uint8_t* out, size_t* size)
{
    *size = netPduBuild(out, netMaxDatagram, code, payload, length);
}

void traceSink(void*, const char*) {}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static TagStore store;
    static SubstationTable substations;
    static NullSender sender;
    static ZeroRandom random;
    static ListenServer server(store, substations, sender, random);
    netTraceSetSink(traceSink, nullptr);  // traces are formatted, then dropped
    if (size == 0)
        return 0;
    const uint8_t mode = data[0];
    ++data;
    --size;

    store.clear();
    server.reset();
    server.configure("dev001", "314159");
    const NetAddr reader{0x7F000001, 9000};
    if (mode & 1) {
        uint8_t buf[netMaxDatagram];
        size_t n = 0;
        frame(netCodeLoginReq, reinterpret_cast<const uint8_t*>("dev001"), 7, buf, &n);
        server.onDatagram(buf, n, reader);
        uint8_t message[288] = {};
        std::memcpy(message, sender.last + 11, 256);
        std::memcpy(message + 256, "314159", 6);
        uint8_t digest[16];
        Md5::digest(message, sizeof message, digest);
        frame(netCodeAuthReq, digest, 16, buf, &n);
        server.onDatagram(buf, n, reader);
        if (!server.linkUp())
            __builtin_trap();
    }
    // Raw datagram, and the same bytes wrapped as a valid frame of the code
    // the second mode bits pick, so the handlers see arbitrary payloads.
    server.onDatagram(data, size, reader);
    if (size <= netMaxPayload) {
        static const uint8_t codes[] = {netCodeLoginReq, netCodeAuthReq, netCodeLabelReport,
                                        netCodeHeartBeatReq, netCodeSmsAck};
        uint8_t buf[netMaxDatagram];
        size_t n = 0;
        frame(codes[(mode >> 1) % 5], data, size, buf, &n);
        server.onDatagram(buf, n, reader);
    }
    for (int i = 0; i < (mode >> 4); ++i) {
        store.ageTick();
        server.tick();
    }
    RowSnapshot rows[storeRowsPerPage];
    store.snapshotPage(rows, nullptr, nullptr, nullptr);
    return 0;
}
