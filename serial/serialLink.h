// The serial link shared by the configuration tool and the signal filter
// tool: SerialLink, which runs the receive and reassembly threads over a
// port (serial/comPort.h).
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <thread>
#include <utility>

#include "serial/comPort.h"

class FrameCutter;
class FrameSink;

// The receive and reassembly threads of a serial tool, and the assembly
// buffer between them. The receive thread reads the device and appends to
// the cutter; the reassembly thread cuts frames and hands each one to the
// sink, on the reassembly thread, with no further frame cut until the sink
// returns (the programs' sink passes it on to the window thread
// synchronously).
//
// start() and stop() are called from one controlling thread (the window
// thread). Running or not, the port is opened and closed by the dialogs; the
// receive thread polls it every 1 ms while it is closed.
class SerialLink {
public:
    SerialLink(SerialDevice& device, FrameSink& sink);
    ~SerialLink();  // stop()
    SerialLink(const SerialLink&) = delete;
    SerialLink& operator=(const SerialLink&) = delete;

    // Starts the receive thread, then the reassembly thread. While they run
    // a further start() does nothing, so exactly one of each runs. From the
    // sink (on the reassembly thread) it does nothing either. When a thread
    // cannot be created, the one already started is ended and waited for,
    // and the std::system_error is passed on: the link is stopped, as before.
    void start();
    // The threads of later starts come from starter (tests inject failures).
    void setThreadStarter(ThreadStarter starter) { starter_ = std::move(starter); }
    // Ends both threads and waits for them. Called from the sink (on the
    // reassembly thread) it only asks them to end; the next start() or the
    // destructor waits for them. Held bytes stay in the cutter.
    void stop();
    bool running() const { return running_.load(std::memory_order_acquire); }
    // Thread loops alive at this moment (0 to 2): what the tests check after
    // start and stop sequences.
    int liveLoops() const { return live_.load(std::memory_order_acquire); }

    FrameCutter& cutter();

private:
    void receiveLoop();
    void reassemblyLoop();
    void joinWorkers();

    SerialDevice& device_;
    FrameSink& sink_;
    // Made once with the link; held by pointer because the cutter's header
    // builds on this one.
    std::unique_ptr<FrameCutter> cutter_;
    std::atomic<bool> running_{false};
    std::atomic<int> live_{0};
    ThreadStarter starter_;
    std::thread receive_;
    std::thread reassembly_;
    // Receive thread only.
    uint8_t receiveBuffer_[serialReadSize] = {};
    uint32_t pending_ = 0;
};
