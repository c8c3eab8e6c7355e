#include "serial/serialLink.h"

#include <chrono>

#include "serial/frameCutter.h"

SerialLink::SerialLink(SerialDevice& device, FrameSink& sink)
    : device_(device), sink_(sink), cutter_(new FrameCutter)
{
}

SerialLink::~SerialLink()
{
    stop();
    joinWorkers();
}

FrameCutter& SerialLink::cutter() { return *cutter_; }

void SerialLink::joinWorkers()
{
    const std::thread::id self = std::this_thread::get_id();
    if (receive_.joinable() && receive_.get_id() != self)
        receive_.join();
    if (reassembly_.joinable() && reassembly_.get_id() != self)
        reassembly_.join();
}

void SerialLink::start()
{
    if (running())
        return;
    // Threads asked to end from the sink may still be finishing.
    joinWorkers();
    if (receive_.joinable() || reassembly_.joinable())
        return;  // called from one of them: it cannot wait for itself
    running_.store(true, std::memory_order_release);
    try {
        receive_ = startWorker(starter_, [this] { receiveLoop(); });
        reassembly_ = startWorker(starter_, [this] { reassemblyLoop(); });
    } catch (...) {
        stop();  // undoes what started: the receive thread ends and is joined
        throw;
    }
}

void SerialLink::stop()
{
    running_.store(false, std::memory_order_release);
    cutter_->wake();  // the reassembly thread may wait on an empty buffer
    joinWorkers();
}

void SerialLink::receiveLoop()
{
    live_.fetch_add(1, std::memory_order_acq_rel);
    while (running()) {
        const long count =
            device_.readComBytes(receiveBuffer_, sizeof receiveBuffer_, serialReceiveWaitMs);
        if (count < 0) {
            // No port open, or the wait or read failed: poll again shortly.
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        pending_ += uint32_t(count);
        if (pending_ != 0) {
            cutter_->append(receiveBuffer_, pending_);  // what finds no room is dropped
            pending_ = 0;
        }
    }
    live_.fetch_sub(1, std::memory_order_acq_rel);
}

void SerialLink::reassemblyLoop()
{
    live_.fetch_add(1, std::memory_order_acq_rel);
    while (running())
        cutter_->service(sink_);  // waits for bytes (1 ms bound while bytes are held) or stop()
    live_.fetch_sub(1, std::memory_order_acq_rel);
}
