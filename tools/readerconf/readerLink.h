// The command-line tool's side of the serial link: one request at a time on
// an open port, and its reply awaited as the configuration tool awaits it,
// for three ticks of the reply timer. A tick is one second unless set
// otherwise (the tests shorten it). Frames are cut from the byte stream with
// the tools' cutter; a frame that fails its check is dropped, and so is a
// reply of another command: both count as no reply.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "serial/comPort.h"
#include "serial/frameCutter.h"
#include <initializer_list>

struct LinkReply {
    uint8_t level = 0;
    uint8_t command = 0;
    std::vector<uint8_t> payload;
};

class ReaderLink {
public:
    ReaderLink(SerialDevice& device, int tickMs) : device_(device), tickMs_(tickMs) {}

    // Writes frame (one writeComBytes) and waits until a checked frame with
    // one of the wanted commands comes, or the third tick passes. False on
    // no reply.
    bool request(const uint8_t* frame, size_t count, std::initializer_list<uint8_t> wanted,
                 LinkReply* reply);
    // The read request 0x01 and its parameter reply 0x02.
    bool readRecord(LinkReply* reply);
    // The write request 0x03 with payload and its acknowledgement 0x04.
    bool writeRecord(const uint8_t* payload, size_t length);

    SerialDevice& device() { return device_; }
    int tickMs() const { return tickMs_; }

private:
    SerialDevice& device_;
    int tickMs_;
};
