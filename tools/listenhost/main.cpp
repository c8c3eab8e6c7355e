// listenhost: the listening server without a window. Listens on a UDP port
// for a reader, ticks once a second like the console's timer and prints the
// connection state and the tag table, so the server core can be watched and
// scripted on a machine without a display.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "common/decimal.h"
#include "console/listen/netServer.h"

namespace {

void usage()
{
    std::printf(
        "usage: listenhost [--port N] [--name NAME] [--password PW] [--seconds N] [--trace]\n"
        "  Listens for a reader on UDP port N (default 8800), as the listening console\n"
        "  does, and prints the link state and the tag table once a second.\n"
        "  --seconds N  stop after N seconds (default: run until interrupted)\n"
        "  --trace      print every protocol trace\n");
}

void printTrace(void*, const char* text) { std::fputs(text, stdout); }

void printTable(const TagStore& store, const ListenServer& core, const SubstationTable& subs,
                int second)
{
    std::printf("[%4d s] %s  tags %d  dropped %d  substations:", second,
                core.linkUp() ? "linked" : "not linked", store.count(), store.dropped());
    for (int i = 0; i < substationCount; ++i)
        if (subs.state(i) != substationAbsent)
            std::printf(" %d=%d(%ds)", i, subs.state(i), subs.online(i));
    std::printf("\n");
    for (int i = 0; i < store.count(); ++i) {
        RowSnapshot r{};
        if (!store.snapshot(i, &r))
            break;
        char extra[32] = "";
        const int n = r.status >> 5;
        for (int k = 0; k < n; ++k)
            std::snprintf(extra + 3 * k, sizeof extra - 3 * size_t(k), k ? " %02x" : "%02x",
                          r.extra[k]);
        if (r.dropped)
            std::printf("  %4d  sub %2d  tag %10u  %s  extra [%s]  dropped  active %d\n", i + 1,
                        r.substation, r.tagId, (r.status & 1) ? "low " : "ok  ", extra,
                        r.activeCount);
        else
            std::printf("  %4d  sub %2d  tag %10u  %s  extra [%s]  %d dB / %d cm  active %d\n",
                        i + 1, r.substation, r.tagId, (r.status & 1) ? "low " : "ok  ", extra,
                        r.rssi, r.distance, r.activeCount);
    }
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv)
{
    int port = 8800;
    const char* name = "dev001";
    const char* password = "314159";
    int seconds = -1;
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (!std::strcmp(argv[i], "--port") && hasValue)
            port = parseSigned(argv[++i]);
        else if (!std::strcmp(argv[i], "--name") && hasValue)
            name = argv[++i];
        else if (!std::strcmp(argv[i], "--password") && hasValue)
            password = argv[++i];
        else if (!std::strcmp(argv[i], "--seconds") && hasValue)
            seconds = parseSigned(argv[++i]);
        else if (!std::strcmp(argv[i], "--trace"))
            netTraceSetSink(printTrace, nullptr);
        else {
            usage();
            return std::strcmp(argv[i], "--help") ? 2 : 0;
        }
    }
    if (port < 0 || port > 65535) {
        std::fprintf(stderr, "listenhost: port must be 0..65535\n");
        return 2;
    }
    if (!netStackStartup()) {
        std::fprintf(stderr, "listenhost: network stack unavailable\n");
        return 1;
    }
    TagStore store;
    SubstationTable substations;
    SystemRandom random;
    NetServer server(store, substations, random);
    store.clear();
    const int opened = server.netServerOpen(uint16_t(port), name, password);
    if (opened != netOpenOk) {
        std::fprintf(stderr, "listenhost: %s\n",
                     opened == netOpenInUse ? "port already in use" : "cannot open the port");
        return 1;
    }
    std::printf("listening on UDP port %u for device \"%s\"\n", server.boundPort(), name);
    std::fflush(stdout);
    auto next = std::chrono::steady_clock::now();
    for (int second = 1; seconds < 0 || second <= seconds; ++second) {
        next += std::chrono::seconds(1);
        std::this_thread::sleep_until(next);
        store.ageTick();
        server.tick();
        printTable(store, server.core(), substations, second);
    }
    server.netServerClose();
    netStackCleanup();
    return 0;
}
