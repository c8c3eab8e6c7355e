#include "serial/serialLink.h"

#include <chrono>
#include <cstdio>

#include "serial/frameCutter.h"

size_t comPortNumbers(uint32_t mask, int* out)
{
    size_t count = 0;
    for (int bit = 0; bit < serialProbeCount; ++bit) {
        if (mask & (uint32_t(1) << bit))
            out[count++] = bit + 1;
    }
    return count;
}

std::string comPortItemText(int number)
{
    char text[16];
    std::snprintf(text, sizeof text, "COM%d", number);
    return text;
}

int comPortNumberOf(const std::string& itemText)
{
    if (itemText.size() < 4 || itemText.size() > 6 || itemText.compare(0, 3, "COM") != 0)
        return 0;
    int number = 0;
    for (size_t i = 3; i < itemText.size(); ++i) {
        const char c = itemText[i];
        if (c < '0' || c > '9')
            return 0;
        number = number * 10 + (c - '0');
    }
    return number >= 1 && number <= 255 ? number : 0;
}

bool openComPortItem(ComPort& port, const std::string& itemText)
{
    const int number = comPortNumberOf(itemText);
    if (number == 0) {
        // Nothing to open; like a failed open, no port stays open.
        port.closeComPort();
        return false;
    }
    return port.openComPort(number);
}

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
    receive_ = std::thread(&SerialLink::receiveLoop, this);
    reassembly_ = std::thread(&SerialLink::reassemblyLoop, this);
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
